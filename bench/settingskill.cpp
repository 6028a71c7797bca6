// The settings killed while being written. A writer (this program with --writer) stores
// one value over and over, announcing each write before it starts and after it
// returns; it is SIGKILLed at a random moment 0-80 ms after it starts writing, ROUNDS
// times (200 by default), and the file is read back each time. Every read must give
// the value from before the write or from after it, with every other value intact.
// Prints how many kills came mid-write and how many unfinished copies were left beside
// the file; exit status 0 when every file read back whole.
//
//   settingskill [ROUNDS]

#include "settingsstore.h"

#include <QCoreApplication>
#include <QDir>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QThread>

#include <csignal>
#include <cstdio>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
int writer(const QString &path)
{
    SettingsStore store(path, nullptr);
    for (long round = store.text(u"Kill"_s, u"Round"_s).toLong() + 1;; ++round) {
        std::printf("writing %ld\n", round);
        std::fflush(stdout);
        if (!store.setText(u"Kill"_s, u"Round"_s, QString::number(round)))
            return 1;
        std::printf("wrote %ld\n", round);
        std::fflush(stdout);
    }
}

// The last "writing N" and "wrote N" the writer printed, 0 for none.
std::pair<long, long> lastAnnounced(const QByteArray &output)
{
    long writing = 0, wrote = 0;
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("writing "))
            writing = line.mid(8).toLong();
        else if (line.startsWith("wrote "))
            wrote = line.mid(6).toLong();
    }
    return {writing, wrote};
}
} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && QByteArray(argv[1]) == "--writer")
        return writer(QFile::decodeName(argv[2]));
    const int rounds = argc > 1 ? QByteArray(argv[1]).toInt() : 200;
    QTemporaryDir dir;
    const QString path = dir.filePath(u"TarvikDesk.conf"_s);
    // A large value makes each write long enough for kills to land inside it.
    const QString padding(256 * 1024, u'p');
    {
        SettingsStore store(path, nullptr);
        store.setValue(Key::Poll, u"300"_s);
        store.setText(u"Kill"_s, u"Padding"_s, padding);
    }
    int midWrite = 0, keptOld = 0, broken = 0;
    for (int i = 0; i < rounds; ++i) {
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), {u"--writer"_s, path});
        if (!child.waitForStarted(10000) || !child.waitForReadyRead(10000)) {
            std::fprintf(stderr, "settingskill: the writer never began (a stale lock?)\n");
            return 2;
        }
        QThread::msleep(QRandomGenerator::global()->bounded(80));
        ::kill(pid_t(child.processId()), SIGKILL);
        child.waitForFinished(10000);
        const auto [writing, wrote] = lastAnnounced(child.readAllStandardOutput());
        midWrite += writing != wrote;
        SettingsStore reread(path, nullptr);
        const long round = reread.text(u"Kill"_s, u"Round"_s).toLong();
        keptOld += round != writing;
        broken += (round != writing && round != writing - 1) || reread.value(Key::Poll) != u"300" ||
                  reread.text(u"Kill"_s, u"Padding"_s) != padding;
    }
    const qsizetype leftovers =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u"TarvikDesk.conf."_s).size();
    std::printf("%d kills, %d while a write was under way: %d files read back whole (%d with "
                "the old value, %d with the new), %d broken; %lld unfinished copies left beside "
                "the file\n",
                rounds, midWrite, rounds - broken, keptOld, rounds - keptOld, broken,
                qlonglong(leftovers));
    return broken == 0 && midWrite > 0 ? 0 : 1;
}

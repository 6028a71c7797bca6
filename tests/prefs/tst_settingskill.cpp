// The process killed at random moments while it stores a setting, 200 times: the file
// must always read back whole, with the value from before the write or from after it,
// and every other value untouched.

#include "settingsstore.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
constexpr int kRounds = 200;

// The last "writing N" and "wrote N" the writer printed, 0 for none.
std::pair<long, long> lastAnnounced(const QByteArray &output)
{
    long writing = 0;
    long wrote = 0;
    for (const QByteArray &line : output.split('\n')) {
        if (line.startsWith("writing "))
            writing = line.mid(8).toLong();
        else if (line.startsWith("wrote "))
            wrote = line.mid(6).toLong();
    }
    return {writing, wrote};
}
} // namespace

class tst_SettingsKill : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void killedWhileWriting();
};

void tst_SettingsKill::killedWhileWriting()
{
    const QString writer = QCoreApplication::applicationDirPath() + u"/settingswriter"_s;
    QVERIFY(QFile::exists(writer));
    QTemporaryDir dir;
    const QString path = dir.filePath(u"TarvikDesk.conf"_s);
    // A large value makes each write long enough for kills to land inside it.
    const QString padding = QString(256 * 1024, u'p');
    {
        SettingsStore store(path, nullptr);
        QVERIFY(store.setValue(Key::ComPort, u"/dev/ttyUSB0"_s));
        QVERIFY(store.setValue(Key::Poll, u"300"_s));
        QVERIFY(store.SaveSetting(u"Kill"_s, u"Padding"_s, padding));
        QVERIFY(store.SaveSetting(u"Kill"_s, u"Round"_s, u"0"_s));
    }

    QRandomGenerator random(QRandomGenerator::global()->generate());
    long lastSeen = 0;
    int midWrite = 0;
    int keptOld = 0;
    for (int i = 0; i < kRounds; ++i) {
        QProcess child;
        child.start(writer, {path});
        QVERIFY2(child.waitForStarted(10000), qPrintable(child.errorString()));
        // Killed only once it is at work, at a moment of our choosing after that.
        QVERIFY2(child.waitForReadyRead(10000), "the writer never began (a stale lock?)");
        QTest::qSleep(int(random.bounded(80)));
        ::kill(pid_t(child.processId()), SIGKILL);
        QVERIFY(child.waitForFinished(10000));
        QCOMPARE(child.exitStatus(), QProcess::CrashExit);

        const auto [writing, wrote] = lastAnnounced(child.readAllStandardOutput());
        QVERIFY(writing > lastSeen);
        if (writing != wrote)
            ++midWrite;

        SettingsStore reread(path, nullptr);
        const long round = reread.GetSetting(u"Kill"_s, u"Round"_s).toLong();
        // Old or new: the round being written, or the one before it.
        QVERIFY2(round == writing || round == writing - 1,
                 qPrintable(u"round %1 after writing %2"_s.arg(round).arg(writing)));
        QCOMPARE(reread.value(Key::ComPort), u"/dev/ttyUSB0"_s);
        QCOMPARE(reread.value(Key::Poll), u"300"_s);
        QCOMPARE(reread.GetSetting(u"Kill"_s, u"Padding"_s), padding);
        if (round != writing)
            ++keptOld;
        lastSeen = round;
    }
    // Kills that landed between announcing a write and announcing it done.
    qInfo("%d of %d kills came while a write was under way; %d left the old value, %d the "
          "new; the last round stored was %ld",
          midWrite, kRounds, keptOld, kRounds - keptOld, lastSeen);
    QVERIFY(midWrite > 0);

    // What a kill leaves beside the file: QSaveFile's unfinished copies.
    const QStringList leftovers =
        QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).filter(u"TarvikDesk.conf."_s);
    qInfo("%lld unfinished copies left beside the file", qlonglong(leftovers.size()));
}

QTEST_GUILESS_MAIN(tst_SettingsKill)
#include "tst_settingskill.moc"

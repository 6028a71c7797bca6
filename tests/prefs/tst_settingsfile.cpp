// The settings file, bytes in and bytes out, each file it leaves compared whole.

#include "settings.h"
#include "settingsstore.h"

#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <sys/inotify.h>
#include <unistd.h>

using namespace tarvik;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tarvik::Key)
Q_DECLARE_METATYPE(tarvik::FollowSettings)

namespace {
QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// One save: 0 when written, 3 when refused (judged so beforehand) with the value kept.
int saveOnce(const QString &path)
{
    SettingsStore store(path, nullptr);
    const bool saved = store.setValue(Key::Poll, u"300"_s);
    const bool kept = store.value(Key::Poll) == u"300"_s;
    return !kept || saved != store.whyNotWritable().isEmpty() ? 1 : saved ? 0 : 3;
}

// Each key's text as the settings values give it back, "" for one they leave out.
QString textInUse(const SettingsStore &store, Key key)
{
    const SettingValues all =
        settingValues(readStationSettings(store)) + settingValues(readWindowSettings(store)) +
        settingValues(readRemoteSettings(store)) + settingValues(readMqttSettings(store));
    for (const auto &[k, text] : all)
        if (k == key)
            return text;
    return u"(not given)"_s;
}
} // namespace

class tst_SettingsFile : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The save: the follow settings as read, and Poll=300, the one value changed. Every
    // other line stands as it is on disk at that moment, byte for byte.
    void save_data()
    {
        QTest::addColumn<QByteArray>("stored");
        QTest::addColumn<QByteArray>("meanwhile"); // another writer's file, after opening
        QTest::addColumn<FollowSettings>("follow");
        QTest::addColumn<QByteArray>("saved");
        QTest::newRow("last release: Follow keys under StartUp")
            << QByteArray("[StartUp]\nComPort=2\nPoll=500\nEnabled=1\nHost=shack-pc\nPort=4533\n"
                          "Threshold=5\nSettle=100\nStyle=1\n")
            << QByteArray() << FollowSettings{true, u"shack-pc"_s, 4533, 5, 100}
            << QByteArray("[StartUp]\nComPort=2\nPoll=300\nStyle=1\n\n[Follow]\nEnabled=1\n"
                          "Host=shack-pc\nPort=4533\nThreshold=5\nSettle=100\n");
        const QByteArray unknown = "Loose=1\n[Extra]\nb=2\na=\n[StartUp]\nZeta=z\nComPort=2\n"
                                   "Alpha=a b\n; a comment\n[Follow]\nMine=x\nPort=4000\n[Empty]\n";
        QTest::newRow("unknown sections and keys keep values and order")
            << unknown << QByteArray() << FollowSettings{false, u"127.0.0.1"_s, 4000, 20, 500}
            << QByteArray(unknown).replace("a b\n", "a b\nPoll=300\n");
        const QByteArray cases = "[startup]\ncomport=3\nPOLL=9\n[FOLLOW]\nhost=rig\n[Startup]\n"
                                 "style=2\n[Extra]\nKey=1\n[extra]\nkey=2\n";
        QTest::newRow("names in another case")
            << cases << QByteArray() << FollowSettings{false, u"rig"_s, 4532, 20, 500}
            << QByteArray(cases).replace("POLL=9", "POLL=300");
        const QByteArray hand = "# mine\n[StartUp] ; main\nComPort=/dev/ttyUSB0\n\xff\xfe=\x80\n"
                                "Poll=500\r\n[Follow]\t# radio\nHost=rig\nno equals sign\n";
        QTest::newRow("comments, bytes that are not UTF-8, a header with a comment")
            << hand << QByteArray() << FollowSettings{false, u"rig"_s, 4532, 20, 500}
            << QByteArray(hand).replace("Poll=500", "Poll=300");
        QTest::newRow("changed by another writer meanwhile")
            << QByteArray("[StartUp]\nPoll=500\n") << QByteArray("[StartUp]\nComPort=7\n")
            << FollowSettings{} << QByteArray("[StartUp]\nComPort=7\nPoll=300\n");
    }
    void save()
    {
        QFETCH(QByteArray, stored);
        QFETCH(QByteArray, meanwhile);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        QVERIFY(writeFile(path, stored));
        SettingsStore store(path, nullptr);
        QSignalSpy written(&store, &SettingsStore::written);
        const FollowSettings follow = readFollowSettings(store);
        QTEST(follow, "follow");
        store.remember(settingValues(follow) + SettingValues{{Key::Poll, u"500"_s}});
        if (!meanwhile.isEmpty())
            QVERIFY(writeFile(path, meanwhile));
        QVERIFY(store.saveChanges(settingValues(follow) + SettingValues{{Key::Poll, u"300"_s}}));
        QVERIFY(store.saveChanges(settingValues(follow) + SettingValues{{Key::Poll, u"300"_s}}));
        QCOMPARE(written.size(), 1);
        QTEST(fileBytes(path), "saved");
    }

    // A crash at any moment leaves the old file or the new one: through 100 saves its
    // name is only ever replaced by a rename, never deleted, moved away or made anew.
    void neverMissing()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        QVERIFY(writeFile(path, "[StartUp]\nPoll=500\n"));
        SettingsStore store(path, nullptr);
        const int fd = ::inotify_init1(IN_NONBLOCK);
        QVERIFY(::inotify_add_watch(fd, QFile::encodeName(dir.path()).constData(),
                                    IN_CREATE | IN_DELETE | IN_MOVED_FROM | IN_MOVED_TO) >= 0);
        for (int i = 0; i < 100; ++i)
            QVERIFY(store.setValue(Key::Poll, QString::number(300 + i)));
        QByteArray onTheName; // r: renamed into place, x: anything else
        alignas(inotify_event) char buf[65536];
        for (ssize_t n; (n = ::read(fd, buf, sizeof buf)) > 0;)
            for (ssize_t at = 0; at < n;) {
                const auto *e = reinterpret_cast<const inotify_event *>(buf + at);
                if (e->len && QByteArray(e->name) == "TarvikDesk.conf")
                    onTheName += e->mask & IN_MOVED_TO ? 'r' : 'x';
                at += ssize_t(sizeof(inotify_event)) + e->len;
            }
        ::close(fd);
        QCOMPARE(onTheName, QByteArray(100, 'r'));
    }

    // Stored text -> the text the settings values write back ("" stored: missing).
    void readers_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("inUse");
        const auto row = [](const char *tag, Key key, const char *stored, const char *inUse) {
            QTest::newRow(tag) << key << QString::fromUtf8(stored) << QString::fromUtf8(inUse);
        };
        for (const SettingKey &k : kSettingKeys)
            if (k.defaultKind == DefaultKind::Text)
                QTest::addRow("missing %s/%s", k.section.data(), k.name.data())
                    << k.id << QString() << latin1(k.defaultValue);
        row("Position-Left missing: not stored", Key::PositionLeft, "", "(not given)");
        row("Position-Left half a twip", Key::PositionLeft, "2475.5", "2475.5");
        row("Position-Top not a number", Key::PositionTop, "top", "(not given)");
        row("ComPort leading zero", Key::ComPort, "02", "2");
        row("ComPort name", Key::ComPort, "COM3", "1");
        row("Settings without stop bits", Key::Settings, "9600,n,8", "4800,n,8,1");
        row("Poll below range", Key::Poll, "199", "500");
        row("Vastor lower case", Key::Vastor, "true", "False");
        row("retracted kept as read", Key::Retracted, "yes", "yes");
        row("OnTop with a leading zero", Key::OnTop, "01", "0");
        row("Height kept as read", Key::Height, "2175", "2175");
        row("Follow Port beyond 16 bits", Key::FollowPort, "65536", "4532");
        row("Follow Host in brackets", Key::FollowHost, "[::1]", "127.0.0.1");
        row("Follow Settle longest", Key::FollowSettle, "10000", "10000");
        row("Remote Enabled True", Key::RemoteEnabled, "True", "0");
        row("Remote Listen with a blank", Key::RemoteListen, "0.0.0.0 :80", "127.0.0.1:8732");
        row("Remote TokenFile", Key::RemoteTokenFile, "/etc/tarvik/token", "/etc/tarvik/token");
        row("Remote Hosts blanks and empties", Key::RemoteHosts, " a.lan, b ,,c", "a.lan,b,c");
        row("Mqtt Url with a blank", Key::MqttUrl, "mqtt://a b", "mqtt://127.0.0.1:1883");
        row("Mqtt PasswordFile kept as read", Key::MqttPasswordFile, "/a b/pw", "/a b/pw");
    }
    void readers()
    {
        QFETCH(Key, key);
        QFETCH(QString, stored);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        const SettingKey &k = settingKey(key);
        QVERIFY(writeFile(path, '[' + latin1(k.section).toUtf8() + "]\n" + latin1(k.name).toUtf8() +
                                    '=' + stored.toUtf8() + '\n'));
        QTEST(textInUse(SettingsStore(path, nullptr), key), "inUse");
    }

    // Every missing Text key and both window edges, in one write; nothing when all is there.
    void fillMissing()
    {
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"TarvikDesk.conf"_s), nullptr);
        QSignalSpy written(&store, &SettingsStore::written);
        QVERIFY(store.setValue(Key::Poll, u"300"_s));
        QVERIFY(fillMissingSettings(store, 165, 450.5));
        QVERIFY(fillMissingSettings(store, 0, 0));
        QCOMPARE(written.size(), 2);
        QCOMPARE(
            fileBytes(store.filePath()),
            "[StartUp]\nPoll=300\nComPort=1\nSettings=4800,n,8,1\nPosition-Left=165\n"
            "Position-Top=450.5\nretracted=0\nsndDir=0000\nVastor=False\nOnTop=0\nStyle=0\n"
            "\n[Follow]\nEnabled=0\nHost=127.0.0.1\nPort=4532\nThreshold=20\nSettle=500\n"
            "\n[Remote]\nEnabled=0\nListen=127.0.0.1:8732\n\n[Mqtt]\nEnabled=0\n"
            "Url=mqtt://127.0.0.1:1883\nDiscovery=1\nCommands=1\n\n[Interlock]\nHoldAfterTxMs=0\n"
            "WhenUnknown=allow\n");
    }

    // A refused save is reported once and kept; the next one that works writes it too.
    void failedSave()
    {
        QTemporaryDir dir;
        const QString folder = dir.filePath(u"conf"_s);
        QVERIFY(QDir().mkpath(folder));
        const QString path = folder + u"/TarvikDesk.conf"_s;
        QVERIFY(writeFile(path, "[Extra]\nkept=1\n"));
        SettingsStore store(path, nullptr);
        QSignalSpy written(&store, &SettingsStore::written);
        QSignalSpy failed(&store, &SettingsStore::writeFailed);
        QVERIFY(QDir().rename(folder, folder + u".away"_s) && writeFile(folder, "x"));
        QVERIFY(!store.setValues({{Key::Poll, u"300"_s}, {Key::OnTop, u"1"_s}}));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.first().first().toString(), path);
        QCOMPARE(store.value(Key::Poll), u"300"_s);
        QVERIFY(QFile::remove(folder) && QDir().rename(folder + u".away"_s, folder));
        QVERIFY(store.setValue(Key::ComPort, u"5"_s));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(written.size(), 1);
        QCOMPARE(fileBytes(path), "[Extra]\nkept=1\n\n[StartUp]\nPoll=300\nOnTop=1\nComPort=5\n");
    }

    // A chain of links as a dotfiles manager makes it, each relative to its own folder:
    // the save lands in the file at the end, and every link stays the link it was.
    void linkChain()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkpath(u"repo"_s) && QDir(dir.path()).mkpath(u"conf"_s));
        const QString real = dir.filePath(u"repo/real.conf"_s);
        const QString middle = dir.filePath(u"middle.conf"_s);
        const QString path = dir.filePath(u"conf/TarvikDesk.conf"_s);
        QVERIFY(writeFile(real, "[Extra]\nkept=1\n"));
        QVERIFY(::symlink("repo/real.conf", QFile::encodeName(middle).constData()) == 0);
        QVERIFY(::symlink("../middle.conf", QFile::encodeName(path).constData()) == 0);
        SettingsStore store(path, nullptr);
        QVERIFY(store.setValue(Key::Poll, u"300"_s));
        QCOMPARE(fileBytes(real), "[Extra]\nkept=1\n\n[StartUp]\nPoll=300\n");
        QCOMPARE(QFile::symLinkTarget(path), middle);
        QCOMPARE(QFile::symLinkTarget(middle), real);
    }

    // A read-only mount keeps the file byte for byte (a mode 0444 file is the station's
    // and the panel's test). Exit 77: no bind mount here.
    void readOnlyMount()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        const QByteArray kept = "; the administrator's\n[StartUp]\nPoll=500\n";
        QVERIFY(writeFile(path, kept));
        QProcess child;
        child.start(
            u"sh"_s,
            {u"-c"_s,
             u"M='mount --bind $1 $1 && mount -o remount,bind,ro $1 && shift && exec \"$@\"'; "
             u"unshare -rm sh -c \"$M\" - \"${1%/*}\" true || { echo no read-only bind mount "
             u"here; exit 77; }; exec unshare -rm sh -c \"$M\" - \"${1%/*}\" \"$0\" --save-once \"$1\""_s,
             QCoreApplication::applicationFilePath(), path});
        QVERIFY(child.waitForFinished(30000) && child.exitStatus() == QProcess::NormalExit);
        if (child.exitCode() == 77)
            QSKIP(child.readAllStandardOutput().trimmed().constData());
        QCOMPARE(child.exitCode(), 3);
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList{u"TarvikDesk.conf"_s});
        QCOMPARE(fileBytes(path), kept);
    }

    // What a kill in mid-write leaves beside the file goes when a store opens; nothing
    // else does, however old or however named.
    void leftoverCopies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("writerHoldsLock");
        QTest::addColumn<bool>("removed");
        const QString copy = u".tarvik-save.TarvikDesk.conf.tmp"_s;
        QTest::newRow("our copy") << copy << false << true;
        QTest::newRow("our copy, a write under way") << copy << true << false;
        for (const char *name : {"TarvikDesk.conf.backup", "TarvikDesk.conf.before",
                                 "TarvikDesk.conf.AbCdEf", ".tarvik-save.Other.conf.tmp"})
            QTest::newRow(name) << QString::fromLatin1(name) << false << false;
    }
    void leftoverCopies()
    {
        QFETCH(QString, name);
        QFETCH(bool, writerHoldsLock);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        QFile copy(dir.filePath(name));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("[StartUp]\n") && copy.flush());
        QVERIFY(copy.setFileTime(QDateTime::currentDateTime().addSecs(-3600),
                                 QFileDevice::FileModificationTime));
        copy.close();
        QLockFile lock(path + u".lock"_s);
        QVERIFY(!writerHoldsLock || lock.tryLock(0));
        for (int start = 0; start < 2; ++start)
            SettingsStore store(path, nullptr);
        QTEST(!copy.exists(), "removed");
    }
};

// With --save-once FILE the test is the program run in a mount namespace of its own.
int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    if (argc == 3 && qstrcmp(argv[1], "--save-once") == 0)
        return saveOnce(QFile::decodeName(argv[2]));
    tst_SettingsFile test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_settingsfile.moc"

#include "commport.h"
#include "preferences.h"
#include "settingsstore.h"

#include <QDir>
#include <QLockFile>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#ifdef Q_OS_UNIX
#include <sys/resource.h>
#endif

using namespace tarvik;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tarvik::Key)

namespace {

QString text(std::string_view view)
{
    return QString::fromUtf8(view.data(), static_cast<qsizetype>(view.size()));
}

// The main window as the settings routines see it, starting away from every default so
// that a default taken shows.
struct FakeHost : SettingsHost {
    double left = 165, top = 450;
    CommPort port{nullptr};
    QString dir = u"ABCD"_s;
    std::int16_t poll = 1234;
    bool vastor = true;
    int onTop = 1;
    FollowSettings follow{true, u"rig.example"_s, 1, 1, 1};

    double windowLeft() const override { return left; }
    double windowTop() const override { return top; }
    void setWindowLeft(double v) override { left = v; }
    void setWindowTop(double v) override { top = v; }
    CommPort &MSComm1() override { return port; }
    QString sndDir() const override { return dir; }
    void setSndDir(const QString &v) override { dir = v; }
    std::int16_t pollrate() const override { return poll; }
    void setPollrate(std::int16_t v) override { poll = v; }
    bool Vastor() const override { return vastor; }
    void setVastor(bool v) override { vastor = v; }
    int onTopValue() const override { return onTop; }
    void setOnTopValue(int v) override { onTop = v; }
    FollowSettings followSettings() const override { return follow; }
    void setFollowSettings(const FollowSettings &v) override { follow = v; }

    // What the panel holds for a key, as text; in the order of enum Key.
    QString state(Key key)
    {
        const QString values[] = {port.commPort(),
                                  port.settings(),
                                  QString::number(left),
                                  QString::number(top),
                                  {},
                                  dir,
                                  QString::number(poll),
                                  boolText(vastor),
                                  QString::number(onTop),
                                  {},
                                  {},
                                  QString::number(follow.enabled ? 1 : 0),
                                  follow.host,
                                  QString::number(follow.port),
                                  QString::number(follow.thresholdKHz),
                                  QString::number(follow.settleMs)};
        return values[static_cast<int>(key)];
    }
    void expectDefaults()
    {
        for (Key k : {Key::ComPort, Key::Settings, Key::SndDir, Key::Poll, Key::Vastor, Key::OnTop,
                      Key::FollowEnabled, Key::FollowHost, Key::FollowPort, Key::FollowThreshold,
                      Key::FollowSettle})
            QCOMPARE(state(k), text(settingKey(k).defaultValue));
    }
};

QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QString storeFile(const QTemporaryDir &dir, const QByteArray &bytes, const char *name)
{
    QFile file(dir.filePath(QString::fromLatin1(name)));
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size())
        qFatal("cannot prepare %s", name);
    return file.fileName();
}

} // namespace

class TestSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void emptyStoreGetsDefaults_data()
    {
        QTest::addColumn<double>("left");
        QTest::addColumn<QString>("leftText");
        QTest::newRow("designed position") << 165.0 << u"165"_s;
        QTest::newRow("whole twips, no decimals") << 1e6 << u"1000000"_s;
        QTest::newRow("fractional twips") << -12345.125 << u"-12345.125"_s;
    }
    void emptyStoreGetsDefaults()
    {
        QFETCH(double, left);
        QFETCH(QString, leftText);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"new/TarvikDesk.conf"_s), nullptr);
        FakeHost host;
        host.left = left;
        RegInit(store, host);
        for (const SettingKey &k : kSettingKeys) // "Height" has no default: it stays ""
            QCOMPARE(store.value(k.id), k.id == Key::PositionLeft  ? leftText
                                        : k.id == Key::PositionTop ? u"450"_s
                                                                   : text(k.defaultValue));
        QVERIFY(!fileBytes(store.filePath()).toLower().contains("height"));

        FakeHost next;
        next.left = next.top = 0;
        GetPreferences(store, next);
        QCOMPARE(next.left, left);
        QCOMPARE(next.top, 450.0);
        next.expectDefaults();
    }

    // RegInit over a file the operator wrote: what is read, what is kept, what is written.
    void handWrittenFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("line"); // as written back; its value is what is read
        const char *rows[][5] = {
            {"empty text is missing", "[StartUp]\nPoll=\n", "StartUp", "Poll", "Poll=500"},
            {"invalid text is kept", "[StartUp]\nPoll=x\n", "StartUp", "Poll", "Poll=x"},
            {"Style 2 under Startup", "[Startup]\nStyle=2\n", "StartUp", "Style", "Style=2"},
            {"lower-case names", "[startup]\nstyle=2\n", "Startup", "Style", "Style=2"},
            {"two spellings", "[StartUp]\nPoll=3\n[STARTUP]\nstyle=1", "startup", "STYLE",
             "Style=1"},
            {"unknown key", "[Extra]\nFoo=1\n[EXTRA]\nfoo=2\n", "extra", "FOO", "Foo=2"},
            {"unquoted commas", "[StartUp]\nSettings=9,n,8,1\n", "StartUp", "Settings",
             "Settings=9,n,8,1"},
            {"blanks around", "[StartUp]\n Settings = 9, n \r\n", "StartUp", "Settings",
             "Settings=9, n"},
            {"control character", "[StartUp]\nSettings=96\t00\n", "StartUp", "Settings",
             "Settings=9600"},
            {"last one wins", "[StartUp]\nSettings=1\nsettings=2\n", "StartUp", "Settings",
             "Settings=2"},
            {"line not UTF-8", "[StartUp]\nPoll=3\377\n", "StartUp", "Poll", "Poll=500"},
        };
        for (const auto &r : rows)
            QTest::newRow(r[0]) << QByteArray(r[1]) << text(r[2]) << text(r[3]) << text(r[4]);
    }
    void handWrittenFile()
    {
        QFETCH(QString, key);
        QFETCH(QString, line);
        QTemporaryDir dir;
        QFETCH(QByteArray, file);
        SettingsStore store(storeFile(dir, file, "TarvikDesk.conf"), nullptr);
        FakeHost host;
        RegInit(store, host);
        QFETCH(QString, section);
        QCOMPARE(store.GetSetting(section, key), line.section(u'=', 1));

        const QStringList lines = QString::fromUtf8(fileBytes(store.filePath())).split(u'\n');
        QVERIFY2(lines.contains(line), qPrintable(lines.join(u'|')));
        QVERIFY(lines.contains(u"[StartUp]"_s));
        QStringList headers;
        int keyLines = 0;
        for (const QString &l : lines) {
            if (l.startsWith(u'['))
                headers << l.toCaseFolded();
            keyLines += l.startsWith(key + u'=', Qt::CaseInsensitive);
        }
        QCOMPARE(keyLines, 1);
        QCOMPARE(headers.removeDuplicates(), 0); // one section per name, whatever its case
    }

    // A value that cannot be used gives way to the default and is mended at the next save.
    void storedValueApplied_data()
    {
        QTest::addColumn<Key>("key");
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("applied");
        const auto row = [](const char *tag, Key k, const char *stored, const char *applied) {
            QTest::newRow(tag) << k << text(stored) << text(applied);
        };
        row("Poll highest", Key::Poll, "10000", "10000");
        row("Poll below range", Key::Poll, "199", "500");
        row("Poll not a number", Key::Poll, "fast", "500");
        row("ComPort device path", Key::ComPort, "/dev/ttyUSB0", "/dev/ttyUSB0");
        row("ComPort zero", Key::ComPort, "0", "1");
        row("ComPort beyond 16 bits", Key::ComPort, "40000", "1");
        row("ComPort device name", Key::ComPort, "COM3", "1");
        row("Settings valid", Key::Settings, "9600,n,8,1", "9600,n,8,1");
        row("Settings baud only", Key::Settings, "9600", "4800,n,8,1");
        row("sndDir not hex", Key::SndDir, "12G4", "0000");
        row("sndDir five digits", Key::SndDir, "12345", "0000");
        row("Vastor True", Key::Vastor, "True", "True");
        row("Vastor False", Key::Vastor, "False", "False");
        row("Vastor lower case is not True", Key::Vastor, "true", "False");
        row("Vastor yes", Key::Vastor, "yes", "False");
        row("OnTop 2", Key::OnTop, "2", "0");
        row("Position-Left text", Key::PositionLeft, "left", "165");
        row("Position-Top overflow", Key::PositionTop, "1e400", "450");
        row("Follow Enabled True", Key::FollowEnabled, "True", "0");
        row("Follow Host name", Key::FollowHost, "shack-pc", "shack-pc");
        row("Follow Host with a blank", Key::FollowHost, "shack pc", "127.0.0.1");
        row("Follow Port zero", Key::FollowPort, "0", "4532");
        row("Follow Port beyond 16 bits", Key::FollowPort, "65536", "4532");
        row("Follow Threshold zero", Key::FollowThreshold, "0", "0");
        row("Follow Threshold negative", Key::FollowThreshold, "-5", "20");
        row("Follow Settle not a number", Key::FollowSettle, "half", "500");
    }
    void storedValueApplied()
    {
        QFETCH(Key, key);
        QFETCH(QString, stored);
        QFETCH(QString, applied);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"TarvikDesk.conf"_s), nullptr);
        FakeHost host;
        RegInit(store, host);
        QVERIFY(store.setValue(key, stored));
        GetPreferences(store, host);
        QCOMPARE(host.state(key), applied);
        SaveSettings(store, host);
        const QByteArray line =
            "\n" + QByteArray(settingKey(key).name.data()) + '=' + applied.toUtf8();
        QVERIFY(fileBytes(store.filePath()).contains(line + '\n'));
    }

    void survivesUnreadableFile_data()
    {
        QTest::addColumn<QByteArray>("file");
        QByteArray noise(64 * 1024, '\0');
        QRandomGenerator random(20240601);
        for (char &c : noise)
            c = static_cast<char>(random.bounded(256));
        QTest::newRow("random bytes") << noise;
        const char nul[] = "[StartUp]\0\nPoll\0=300\n[StartUp]\nComPort=\0\n";
        QTest::newRow("NUL bytes") << QByteArray(nul, sizeof nul - 1);
        QTest::newRow("one long line") << "[StartUp]\nPoll=" + QByteArray(1 << 20, '9');
        QTest::newRow("no sections") << "Poll=300\nComPort=4\n[StartUp\nPoll=300\n"_ba;
    }
    void survivesUnreadableFile()
    {
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        SettingsStore store(storeFile(dir, file, "TarvikDesk.conf"), nullptr);
        FakeHost host;
        RegInit(store, host);
        GetPreferences(store, host);
        host.expectDefaults();
        QCOMPARE(host.left, 165.0);
        const QByteArray written = fileBytes(store.filePath());
        QVERIFY(written.contains("[StartUp]\nComPort=1\n"));
        for (const char c : written)
            QVERIFY(c == '\n' || static_cast<unsigned char>(c) >= 0x20);
    }

    // The file holds the value as soon as SaveSetting returns, with the store still open.
    void writesThrough_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("bytes");
        QTest::newRow("view key") << u"Height"_s << u"3195"_s << "[StartUp]\nHeight=3195\n"_ba;
        QTest::newRow("control characters")
            << u"sndDir"_s << u"00\n"_s + QChar(1) + u"FF"_s << "[StartUp]\nsndDir=00FF\n"_ba;
    }
    void writesThrough()
    {
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, bytes);
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"TarvikDesk.conf"_s), nullptr);
        QSignalSpy stored(&store, &SettingsStore::stored);
        QVERIFY(store.SaveSetting(u"Startup"_s, key, value));
        QCOMPARE(fileBytes(store.filePath()), bytes);
        const QString expected = QString::fromUtf8(bytes.mid(bytes.indexOf('=') + 1)).trimmed();
        QCOMPARE(store.GetSetting(u"startup"_s, key), expected);
        QCOMPARE(stored.size(), 1);
        QCOMPARE(stored.at(0), (QVariantList{u"StartUp"_s, key, expected}));
    }

    void writeFailureIsReported()
    {
        QTemporaryDir dir;
        const QString notAFolder = storeFile(dir, {}, "plain");
        SettingsStore store(notAFolder + u"/sub/TarvikDesk.conf"_s, nullptr);
        QSignalSpy failed(&store, &SettingsStore::writeFailed);
        QVERIFY(!store.setValue(Key::Poll, u"300"_s));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(failed.at(0).at(0).toString(), store.filePath());

        // Once the folder can be made, the next write works and takes the first one along.
        QVERIFY(QFile::remove(notAFolder));
        QVERIFY(store.setValue(Key::Vastor, u"True"_s));
        QCOMPARE(failed.size(), 1);
        QCOMPARE(fileBytes(store.filePath()), "[StartUp]\nPoll=300\nVastor=True\n");
    }

    // A write cut short by a file size limit leaves the good file as it was.
    void failedWriteKeepsGoodFile()
    {
#ifdef Q_OS_UNIX
        QTemporaryDir dir;
        SettingsStore store(dir.filePath(u"TarvikDesk.conf"_s), nullptr);
        QVERIFY(store.setValue(Key::Poll, u"300"_s));
        const QByteArray good = fileBytes(store.filePath());
        QSignalSpy failed(&store, &SettingsStore::writeFailed);

        const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
        rlimit saved{};
        getrlimit(RLIMIT_FSIZE, &saved);
        rlimit small = saved;
        small.rlim_cur = 1024; // less than QSaveFile buffers, so the cut comes at flush time
        QCOMPARE(setrlimit(RLIMIT_FSIZE, &small), 0);
        const bool written = store.setValue(Key::Settings, QString(8 * 1024, u'x'));
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, oldHandler);

        QVERIFY(!written);
        QCOMPARE(failed.size(), 1);
        QCOMPARE(fileBytes(store.filePath()), good);
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
                 QStringList{u"TarvikDesk.conf"_s});
#else
        QSKIP("needs a file size limit");
#endif
    }

    // What a kill in mid-write leaves beside the file is removed when a store opens.
    void leftoverCopies_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("ageSeconds");
        QTest::addColumn<bool>("writerHoldsLock");
        QTest::addColumn<bool>("removed");
        QTest::newRow("old copy") << u"TarvikDesk.conf.AbCdEf"_s << 120 << false << true;
        QTest::newRow("fresh copy") << u"TarvikDesk.conf.AbCdEf"_s << 0 << false << false;
        QTest::newRow("old copy, a write under way")
            << u"TarvikDesk.conf.AbCdEf"_s << 120 << true << false;
        QTest::newRow("not the copy pattern")
            << u"TarvikDesk.conf.Ab1dEf"_s << 120 << false << false;
        QTest::newRow("another file's copy") << u"Other.conf.AbCdEf"_s << 120 << false << false;
    }
    void leftoverCopies()
    {
        QFETCH(QString, name);
        QFETCH(int, ageSeconds);
        QFETCH(bool, writerHoldsLock);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"TarvikDesk.conf"_s);
        QFile copy(dir.filePath(name));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write("[StartUp]\n") && copy.flush());
        QVERIFY(copy.setFileTime(QDateTime::currentDateTime().addSecs(-ageSeconds),
                                 QFileDevice::FileModificationTime));
        copy.close();
        QLockFile lock(path + u".lock"_s);
        QVERIFY(!writerHoldsLock || lock.tryLock(0));
        SettingsStore store(path, nullptr);
        QTEST(!copy.exists(), "removed");
    }
};

QTEST_GUILESS_MAIN(TestSettings)
#include "tst_settings.moc"

// Stored value -> value in use, and view -> height. A settings file as an earlier run or
// a hand editor left it; the panel starts on it and closes again, and what it writes
// back is the value it used: one it cannot use gives way to the default without a word.
// Polling runs at the interval written back, the line at the speed written back.

#include "panelfixture.h"

#include <QCheckBox>
#include <QLockFile>
#include <QRandomGenerator>
#include <QWindow>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tarvik::Key)

class tst_Settings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedValue_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<Key>("key");
        QTest::addColumn<QString>("inUse");
        const auto row = [](const char *tag, const QByteArray &file, Key key, const char *inUse) {
            QTest::newRow(tag) << file << key << QString::fromLatin1(inUse);
        };
        const std::pair<Key, const char *> defaults[] = {{Key::ComPort, "1"},
                                                         {Key::Settings, "4800,n,8,1"},
                                                         {Key::PositionLeft, "165"},
                                                         {Key::PositionTop, "450"},
                                                         {Key::Retracted, "0"},
                                                         {Key::SndDir, "0000"},
                                                         {Key::Poll, "500"},
                                                         {Key::Vastor, "False"},
                                                         {Key::OnTop, "0"},
                                                         {Key::Style, "0"},
                                                         {Key::Height, ""},
                                                         {Key::FollowEnabled, "0"},
                                                         {Key::FollowHost, "127.0.0.1"},
                                                         {Key::FollowPort, "4532"},
                                                         {Key::FollowThreshold, "20"},
                                                         {Key::FollowSettle, "500"}};
        for (const auto &[key, value] : defaults)
            QTest::addRow("nothing stored: %s", settingKey(key).name.data())
                << QByteArray() << key << QString::fromLatin1(value);
        const auto startUp = [](const char *line) {
            return "[StartUp]\n" + QByteArray(line) + '\n';
        };
        const auto follow = [](const char *line) {
            return "[Follow]\n" + QByteArray(line) + '\n';
        };
        row("Follow Enabled True", follow("Enabled=True"), Key::FollowEnabled, "0");
        row("Follow Host name", follow("Host=shack-pc"), Key::FollowHost, "shack-pc");
        row("Follow Host with a blank", follow("Host=shack pc"), Key::FollowHost, "127.0.0.1");
        row("Follow Port zero", follow("Port=0"), Key::FollowPort, "4532");
        row("Follow Port beyond 16 bits", follow("Port=65536"), Key::FollowPort, "4532");
        row("Follow Threshold zero", follow("Threshold=0"), Key::FollowThreshold, "0");
        row("Follow Threshold negative", follow("Threshold=-5"), Key::FollowThreshold, "20");
        row("Follow Settle not a number", follow("Settle=half"), Key::FollowSettle, "500");
        row("Poll highest", startUp("Poll=10000"), Key::Poll, "10000");
        row("Poll lowest", startUp("Poll=200"), Key::Poll, "200");
        row("Poll below range", startUp("Poll=199"), Key::Poll, "500");
        row("Poll above range", startUp("Poll=10001"), Key::Poll, "500");
        row("Poll not a number", startUp("Poll=fast"), Key::Poll, "500");
        row("ComPort device path", startUp("ComPort=/dev/ttyUSB0"), Key::ComPort, "/dev/ttyUSB0");
        row("ComPort zero", startUp("ComPort=0"), Key::ComPort, "1");
        row("ComPort beyond 16 bits", startUp("ComPort=40000"), Key::ComPort, "1");
        row("ComPort device name", startUp("ComPort=COM3"), Key::ComPort, "1");
        row("Settings 9600", startUp("Settings=9600,n,8,1"), Key::Settings, "9600,n,8,1");
        row("Settings baud only", startUp("Settings=9600"), Key::Settings, "4800,n,8,1");
        row("Settings garbage", startUp("Settings=fast please"), Key::Settings, "4800,n,8,1");
        row("sndDir reversed", startUp("sndDir=0040"), Key::SndDir, "0040");
        row("sndDir not hex", startUp("sndDir=12G4"), Key::SndDir, "0000");
        row("sndDir three digits", startUp("sndDir=040"), Key::SndDir, "0000");
        row("Vastor True", startUp("Vastor=True"), Key::Vastor, "True");
        row("Vastor lower case is not True", startUp("Vastor=true"), Key::Vastor, "False");
        row("Vastor yes", startUp("Vastor=yes"), Key::Vastor, "False");
        row("OnTop 1", startUp("OnTop=1"), Key::OnTop, "1");
        row("OnTop 2", startUp("OnTop=2"), Key::OnTop, "0");
        row("Position-Left text", startUp("Position-Left=left"), Key::PositionLeft, "165");
        row("Position-Top overflow", startUp("Position-Top=1e400"), Key::PositionTop, "450");
        row("Style unknown is kept", "[Startup]\nStyle=7\n", Key::Style, "7");
        row("section and key in any case", "[startup]\npoll=300\n", Key::Poll, "300");
        row("two spellings of one section", "[StartUp]\nPoll=300\n[STARTUP]\nVastor=True\n",
            Key::Vastor, "True");
        row("blanks and CR", "[StartUp]\n Poll = 300 \r\n", Key::Poll, "300");
        row("control character dropped", startUp("Poll=3\t00"), Key::Poll, "300");
        row("last one wins", startUp("Poll=300\npoll=400"), Key::Poll, "400");
        row("line not UTF-8", startUp("Poll=3\377"), Key::Poll, "500");
        row("no section", "Poll=300\n", Key::Poll, "500");
        row("NUL bytes", QByteArray("[StartUp]\0\nPoll\0=300\n", 21), Key::Poll, "500");
        row("one long line", "[StartUp]\nPoll=" + QByteArray(1 << 20, '9'), Key::Poll, "500");
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char &c : noise)
            c = char(random.bounded(256));
        row("64 kB of binary garbage", noise, Key::Poll, "500");
    }

    void storedValue()
    {
        QFETCH(QByteArray, file);
        QFETCH(Key, key);
        PanelFixture f;
        if (!file.isEmpty())
            f.presetFile(file);
        frm_main &w = f.start();
        QVERIFY(w.MSComm1().isOpen());
        w.close();
        QTEST(f.store->value(key), "inUse");
        QVERIFY(f.messages.isEmpty());
        QCOMPARE(QString::number(w.Timer1()->interval()), f.store->value(Key::Poll));
        const speed_t speeds[] = {B4800, B9600};
        const termios line = f.peer.attributes();
        QCOMPARE(::cfgetospeed(&line), speeds[f.store->value(Key::Settings).startsWith(u"9600")]);
        QCOMPARE(w.chkOnTop()->isChecked(), f.store->value(Key::OnTop) == u"1");
        QFile written(f.path());
        QVERIFY(written.open(QIODevice::ReadOnly));
        const QByteArray bytes = written.readAll();
        QVERIFY(bytes.contains("[StartUp]\nComPort="));
        for (const char c : bytes)
            QVERIFY(c == '\n' || uchar(c) >= 0x20);
    }

    // A settings "folder" that is really a file cannot be written, even by root.
    void unwritableFolderIsReportedOnce()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(u"blocked"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        PanelFixture f(blocker.fileName());
        frm_main &w = f.start();
        w.action(u"mnuFull"_s)->trigger();
        w.chkOnTop()->click();
        QTRY_COMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().contains(blocker.fileName()));
        f.peer.readAvailable();
        w.Timer1()->start(10);
        QCOMPARE(f.peer.readExactly(3), kRequest); // polling on
        w.close();
        QCOMPARE(f.messages.size(), 1);
    }

    // View -> height: the View menu's keys, and the view stored by the last run. A view
    // changes only the height of the area under the menu bar; the width stays as it was.
    void view_data()
    {
        QTest::addColumn<QString>("stored"); // Style left by the last run
        QTest::addColumn<QString>("press");
        QTest::addColumn<int>("view"); // ticked in the View menu and stored as Style; -1: none
        QTest::addColumn<int>("clientTwips");
        QTest::addColumn<QString>("height"); // "Height" as stored afterwards
        const auto row = [](const char *tag, const char *stored, const char *press, int view,
                            int twips, const char *height) {
            QTest::newRow(tag) << QString::fromLatin1(stored) << QString::fromLatin1(press) << view
                               << twips << QString::fromLatin1(height);
        };
        row("F3 compact", "1", "F3", 0, 2175 - 690, "2175");
        row("F4 full", "0", "F4", 1, 3195 - 690, "3195");
        row("F5 diagnostics", "0", "F5", 2, 3930 - 690, "3930");
        row("compact again", "0", "mnuCompact", 0, 2175 - 690, "2175");
        row("last chosen wins", "0", "mnuDiag mnuCompact", 0, 2175 - 690, "2175");
        row("stored compact", "0", "", 0, 2200 - 690, "");
        row("stored full", "1", "", 1, 3400 - 690, "");
        row("stored diagnostics", "2", "", 2, 4300 - 690, "");
        row("stored unknown: no view", "7", "", -1, 1485, "");
    }

    void view()
    {
        QFETCH(QString, stored);
        QFETCH(QString, press);
        QFETCH(int, view);
        QFETCH(int, clientTwips);
        PanelFixture f;
        f.preset(Key::Style, stored);
        frm_main &w = f.startActive();
        w.resize(500, w.height());
        for (const QString &p : press.split(u' ', Qt::SkipEmptyParts))
            f.press(p);
        const QString items[] = {u"mnuCompact"_s, u"mnuFull"_s, u"mnuDiag"_s};
        for (int i = 0; i < 3; ++i)
            QCOMPARE(w.action(items[i])->isChecked(), i == view);
        QVERIFY2(qAbs(w.clientHeightTwips() - clientTwips) < 15,
                 qPrintable(QString::number(w.clientHeightTwips())));
        QCOMPARE(w.width(), 500);
        QTEST(f.store->value(Key::Height), "height");
        w.close();
        QCOMPARE(f.store->value(Key::Style), view < 0 ? stored : QString::number(view));
    }

    void onTopKeepsPlaceAndSize()
    {
        PanelFixture f;
        frm_main &w = f.start();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect before = w.geometry();
        for (bool on : {true, false}) {
            QTest::mouseClick(w.chkOnTop(), Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), on);
            QVERIFY(w.isVisible());
            QCOMPARE(w.geometry(), before);
            QCOMPARE(f.store->value(Key::OnTop), on ? u"1"_s : u"0"_s);
        }
    }

    // What a kill in mid-write leaves beside the file goes when a store opens.
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

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"

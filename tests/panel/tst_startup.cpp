// Start-up and shut-down of the main window: settings, the port, the timers.

#include "panelfixture.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QMenuBar>

#include <termios.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Startup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void firstStartWritesAndReadsDefaults();
    void portOpensAt4800n81();
    void storedLineSettingsReachTheLine();
    void nothingSentAtStartOrShutdown();
    void exitStoresTwiceCloseBoxOnce();
    void storedOnTopMakesWindowTopmost();
    void badStoredValuesFallBack_data();
    void badStoredValuesFallBack();
    void unknownStyleAppliesNoView();
    void storedStyleAppliesStartupHeight_data();
    void storedStyleAppliesStartupHeight();
    void missingPortIsReportedAndPanelRunsOn();
    void portOverrideLeavesStoredPortAlone();
    void unwritableStoreIsReportedOnce();
    void accessibleIndicatorsAtStart();
};

void tst_Startup::firstStartWritesAndReadsDefaults()
{
    PanelFixture f;
    frm_main &w = f.start();

    QCOMPARE(f.store->value(Key::ComPort), u"1"_s);
    QCOMPARE(f.store->value(Key::Settings), u"4800,n,8,1"_s);
    QCOMPARE(f.store->value(Key::PositionLeft), u"165"_s);
    QCOMPARE(f.store->value(Key::PositionTop), u"450"_s);
    QCOMPARE(f.store->value(Key::Retracted), u"0"_s);
    QCOMPARE(f.store->value(Key::SndDir), u"0000"_s);
    QCOMPARE(f.store->value(Key::Poll), u"500"_s);
    QCOMPARE(f.store->value(Key::Vastor), u"False"_s);
    QCOMPARE(f.store->value(Key::OnTop), u"0"_s);
    QCOMPARE(f.store->value(Key::Style), u"0"_s);
    QCOMPARE(f.store->value(Key::Height), QString());

    QCOMPARE(w.pollrate(), 500);
    QCOMPARE(w.sndDir(), u"0000"_s);
    QCOMPARE(w.Vastor(), false);
    QCOMPARE(w.retracted(), u"0"_s);
    QCOMPARE(w.sndCmd(), u"31"_s);
    QVERIFY(!w.sndFreq().has_value());
    QVERIFY(!w.chkOnTop()->isChecked());
    QVERIFY(!w.windowFlags().testFlag(Qt::WindowStaysOnTopHint));

    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(w.Timer1()->interval(), 500);
    QVERIFY(!w.Timer2()->isActive());
    QVERIFY(!w.Timer3()->isActive());
    QVERIFY(!w.Timer4()->isActive());

    // The compact view at its start-up height.
    QVERIFY(w.action(u"mnuCompact"_s)->isChecked());
    QVERIFY(!w.action(u"mnuFull"_s)->isChecked());
    QVERIFY(!w.action(u"mnuDiag"_s)->isChecked());
    QVERIFY(qAbs(w.clientHeightTwips() - (2200 - 690)) < 15);
}

void tst_Startup::portOpensAt4800n81()
{
    PanelFixture f;
    frm_main &w = f.start();
    QVERIFY(w.MSComm1().isOpen());
    const termios t = f.peer.attributes();
    QCOMPARE(::cfgetospeed(&t), speed_t(B4800));
    QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
    QCOMPARE(t.c_cflag & PARENB, tcflag_t(0));
    QCOMPARE(t.c_cflag & CSTOPB, tcflag_t(0));
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
    QVERIFY(f.messages->texts.isEmpty()); // no RTS/DTR on a pty is no failure
}

void tst_Startup::storedLineSettingsReachTheLine()
{
    PanelFixture f;
    f.preset(Key::Settings, u"9600,e,7,2"_s);
    frm_main &w = f.start(true);
    QVERIFY(w.MSComm1().isOpen());
    // A pseudo-terminal forces 8 bits without parity whatever it is told; the speed
    // and the stop bits are what it keeps.
    const termios t = f.peer.attributes();
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    QVERIFY(t.c_cflag & CSTOPB);
}

void tst_Startup::nothingSentAtStartOrShutdown()
{
    PanelFixture f;
    frm_main &w = f.start();
    QCOMPARE(f.peer.collect(100), QByteArray());
    w.Timer1()->stop(); // keep the first poll out of the window
    w.close();
    QCOMPARE(f.peer.collect(50), QByteArray());
}

void tst_Startup::exitStoresTwiceCloseBoxOnce()
{
    {
        PanelFixture f;
        frm_main &w = f.start();
        w.action(u"mnuExit"_s)->trigger();
        QVERIFY(!w.isVisible());
        QCOMPARE(f.storesOf(Key::ComPort), 2);
        QCOMPARE(f.storesOf(Key::Style), 2);
        QCOMPARE(f.storesOf(Key::PositionTop), 2);
    }
    {
        PanelFixture f;
        frm_main &w = f.start();
        w.close();
        QCOMPARE(f.storesOf(Key::ComPort), 1);
        QCOMPARE(f.storesOf(Key::Style), 1);
    }
}

void tst_Startup::storedOnTopMakesWindowTopmost()
{
    PanelFixture f;
    f.preset(Key::OnTop, u"1"_s);
    auto *spy = f.storeSpy.get();
    f.window = std::make_unique<frm_main>(f.store);
    f.window->setPortOverride(f.peer.slavePath());
    spy->clear();
    f.window->Form_Load();
    QVERIFY(f.window->chkOnTop()->isChecked());
    QVERIFY(f.window->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    // The box's handler stored the settings once during start-up.
    QCOMPARE(f.storesOf(Key::OnTop), 1);
    QCOMPARE(f.store->value(Key::OnTop), u"1"_s);
}

void tst_Startup::badStoredValuesFallBack_data()
{
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("writtenBack");
    QTest::newRow("Poll not a number") << Key::Poll << u"fast"_s << u"500"_s;
    QTest::newRow("Poll below range") << Key::Poll << u"50"_s << u"500"_s;
    QTest::newRow("Poll beyond 16 bits") << Key::Poll << u"70000"_s << u"500"_s;
    QTest::newRow("Vastor yes") << Key::Vastor << u"yes"_s << u"False"_s;
    QTest::newRow("OnTop 2") << Key::OnTop << u"2"_s << u"0"_s;
    QTest::newRow("sndDir three digits") << Key::SndDir << u"040"_s << u"0000"_s;
    QTest::newRow("Settings garbage") << Key::Settings << u"fast please"_s << u"4800,n,8,1"_s;
    QTest::newRow("Position-Left text") << Key::PositionLeft << u"left"_s << u"165"_s;
}

void tst_Startup::badStoredValuesFallBack()
{
    QFETCH(Key, key);
    QFETCH(QString, stored);
    QFETCH(QString, writtenBack);
    PanelFixture f;
    f.preset(key, stored);
    frm_main &w = f.start();
    QVERIFY(f.messages->texts.isEmpty());
    QCOMPARE(w.Timer1()->interval(), 500);
    QVERIFY(w.MSComm1().isOpen());
    w.close();
    QCOMPARE(f.store->value(key), writtenBack);
}

void tst_Startup::unknownStyleAppliesNoView()
{
    PanelFixture f;
    f.preset(Key::Style, u"7"_s);
    frm_main &w = f.start();
    for (const char *name : {"mnuCompact", "mnuFull", "mnuDiag"})
        QVERIFY(!w.action(QString::fromLatin1(name))->isChecked());
    QVERIFY(qAbs(w.clientHeightTwips() - 1485) < 15);
    w.close();
    QCOMPARE(f.store->value(Key::Style), u"7"_s);
}

void tst_Startup::storedStyleAppliesStartupHeight_data()
{
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("checked");
    QTest::addColumn<int>("clientTwips");
    QTest::newRow("compact") << u"0"_s << u"mnuCompact"_s << 1510;
    QTest::newRow("full") << u"1"_s << u"mnuFull"_s << 2710;
    QTest::newRow("diagnostics") << u"2"_s << u"mnuDiag"_s << 3610;
}

void tst_Startup::storedStyleAppliesStartupHeight()
{
    QFETCH(QString, style);
    QFETCH(QString, checked);
    QFETCH(int, clientTwips);
    PanelFixture f;
    f.preset(Key::Style, style);
    frm_main &w = f.start();
    QVERIFY(w.action(checked)->isChecked());
    QVERIFY2(qAbs(w.clientHeightTwips() - clientTwips) < 15,
             qPrintable(QString::number(w.clientHeightTwips())));
    QCOMPARE(f.store->value(Key::Height), QString()); // start-up stores no key
}

void tst_Startup::missingPortIsReportedAndPanelRunsOn()
{
    PanelFixture f;
    f.preset(Key::ComPort, u"/dev/tarvik-no-such-port"_s);
    f.window = std::make_unique<frm_main>(f.store);
    f.window->Form_Load();
    frm_main &w = *f.window;
    QCOMPARE(f.messages->texts,
             QStringList{u"/dev/tarvik-no-such-port: not available. Check Com Port setting."_s});
    QCOMPARE(f.messages->titles, QStringList{u"Tarvik_Desk"_s});
    QVERIFY(!f.messages->informativeTexts.first().isEmpty());
    QVERIFY(!w.MSComm1().isOpen());
    QVERIFY(w.Timer1()->isActive());
    Indicator *lamp = w.indicator(u"Connected"_s);
    QCOMPARE(lamp->colourName(), u"red"_s);
    QVERIFY(lamp->toolTip().contains(u"closed"_s));

    // A command on the closed port finishes, and polling goes on.
    w.button(u"cmd20"_s)->click();
    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(lamp->colourName(), u"red"_s);
    QCOMPARE(f.store->value(Key::ComPort), u"/dev/tarvik-no-such-port"_s);
}

void tst_Startup::portOverrideLeavesStoredPortAlone()
{
    PanelFixture f;
    f.preset(Key::ComPort, u"3"_s);
    frm_main &w = f.start();
    QVERIFY(w.MSComm1().isOpen());
    w.close();
    QCOMPARE(f.store->value(Key::ComPort), u"3"_s);
}

void tst_Startup::unwritableStoreIsReportedOnce()
{
    // A settings "folder" that is really a file cannot be written, even by root.
    QTemporaryDir dir;
    QFile blocker(dir.filePath(u"blocked"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PanelFixture f(blocker.fileName());
    frm_main &w = f.start();
    QCOMPARE(f.messages->texts.size(), 1);
    QVERIFY(f.messages->texts.first().contains(blocker.fileName()));
    w.action(u"mnuFull"_s)->trigger();
    w.chkOnTop()->click();
    w.close();
    QCOMPARE(f.messages->texts.size(), 1);
}

void tst_Startup::accessibleIndicatorsAtStart()
{
    PanelFixture f;
    frm_main &w = f.start();
    QCOMPARE(w.Text3()->accessibleName(), u"Frequency"_s);
    QCOMPARE(w.Text1()->accessibleName(), u"Received String"_s);
    const QStringList red = {u"Connected"_s, u"180 lamp"_s,  u"BiDir lamp"_s, u"3/4 lamp"_s,
                             u"80 m lamp"_s, u"40 m lamp"_s, u"30 m lamp"_s,  u"20 m lamp"_s,
                             u"17 m lamp"_s, u"15 m lamp"_s, u"12 m lamp"_s,  u"10 m lamp"_s,
                             u"6 m lamp"_s};
    for (const QString &name : red) {
        Indicator *i = w.indicator(name);
        QVERIFY2(i, qPrintable(name));
        QCOMPARE(i->accessibleDescription(), u"red"_s);
    }
    QCOMPARE(w.indicator(u"TUNING"_s)->accessibleDescription(), u"grey"_s);
    QCOMPARE(w.indicator(u"RETRACTING"_s)->accessibleDescription(), u"grey"_s);
}

QTEST_MAIN(tst_Startup)
#include "tst_startup.moc"

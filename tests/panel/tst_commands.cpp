// The operator's commands, driven by mouse and keyboard, checked on the wire.

#include "panelfixture.h"

#include <QLineEdit>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
QByteArray frame(const char *frequency, const char *direction, const char *command)
{
    return QByteArray::fromHex(QByteArray("404100") + frequency + "00" + direction + command +
                               "300d");
}
} // namespace

class tst_Commands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bandButton_data();
    void bandButton();
    void bandKey_data();
    void bandKey();
    void f10SendsNothing();
    void accessKeys_data();
    void accessKeys();
    void sameBandAgain();
    void directionBeforeAnyStatus_data();
    void directionBeforeAnyStatus();
    void directionAfterStatus_data();
    void directionAfterStatus();
    void secondPressBeforePollRepeats();
    void fixedCodeFrames_data();
    void fixedCodeFrames();
    void steps_data();
    void steps();
    void stepFromDecodedStatus();
    void threeQuarterSendsNothing();
    void directionSurvivesRestart();
    void commandRestartsPollAFullIntervalLater();
};

void tst_Commands::bandButton_data()
{
    QTest::addColumn<QString>("band");
    QTest::addColumn<bool>("vastor");
    QTest::addColumn<QByteArray>("expected");
    const struct {
        const char *band, *small, *large;
    } rows[] = {{"80", "14e790", "0a9ad8"}, {"40", "14e790", "0ac1e8"}, {"30", "14e790", "0f6950"},
                {"20", "157048", "157048"}, {"17", "1b9e50", "1b9e50"}, {"15", "201ea8", "201ea8"},
                {"12", "261218", "261218"}, {"10", "2b07a0", "2b07a0"}, {"6", "4c4b40", "4c4b40"}};
    for (const auto &r : rows) {
        QTest::addRow("%s m, small antenna", r.band)
            << QString::fromLatin1(r.band) << false << frame(r.small, "00", "31");
        QTest::addRow("%s m, large antenna", r.band)
            << QString::fromLatin1(r.band) << true << frame(r.large, "00", "31");
    }
}

void tst_Commands::bandButton()
{
    QFETCH(QString, band);
    QFETCH(bool, vastor);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    f.preset(Key::Vastor, vastor ? u"True"_s : u"False"_s);
    frm_main &w = f.startActive();

    QTest::mouseClick(w.button(u"cmd"_s + band), Qt::LeftButton);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    for (const Band &b : kBands) {
        const bool chosen = latin1(b.caption) == band;
        QCOMPARE(w.indicator(latin1(b.caption) + u" m lamp"_s)->colourName(),
                 chosen ? u"green"_s : u"red"_s);
    }
    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(w.sndCmd(), u"31"_s);
}

void tst_Commands::bandKey_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("band");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("F6 is 20 m") << int(Qt::Key_F6) << u"20"_s << frame("157048", "00", "31");
    QTest::newRow("F7 is 17 m") << int(Qt::Key_F7) << u"17"_s << frame("1b9e50", "00", "31");
    QTest::newRow("F8 is 15 m") << int(Qt::Key_F8) << u"15"_s << frame("201ea8", "00", "31");
    QTest::newRow("F9 is 12 m") << int(Qt::Key_F9) << u"12"_s << frame("261218", "00", "31");
    QTest::newRow("F11 is 10 m") << int(Qt::Key_F11) << u"10"_s << frame("2b07a0", "00", "31");
    QTest::newRow("F12 is 6 m") << int(Qt::Key_F12) << u"6"_s << frame("4c4b40", "00", "31");
}

void tst_Commands::bandKey()
{
    QFETCH(int, key);
    QFETCH(QString, band);
    QFETCH(QByteArray, expected);
    PanelFixture f; // compact view: the band buttons are cut off, the keys still work
    frm_main &w = f.startActive();
    QSignalSpy pressed(w.button(u"cmd"_s + band), &QPushButton::clicked);
    QTest::keyClick(&w, Qt::Key(key));
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(pressed.size(), 1); // the menu item pressed the button
    QCOMPARE(w.indicator(band + u" m lamp"_s)->colourName(), u"green"_s);
}

void tst_Commands::f10SendsNothing()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    QTest::keyClick(&w, Qt::Key_F10);
    QCOMPARE(f.peer.collect(50), QByteArray());
}

void tst_Commands::accessKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("expected");
    // Alt+H and Alt+B are also the Help and Band menus' keys; the buttons win.
    QTest::newRow("Alt+H Home") << int(Qt::Key_H) << frame("000000", "00", "53");
    QTest::newRow("Alt+C Calibrate") << int(Qt::Key_C) << frame("000000", "00", "56");
    QTest::newRow("Alt+E En Xcvr") << int(Qt::Key_E) << frame("000000", "00", "52");
    QTest::newRow("Alt+D Dis Xcvr") << int(Qt::Key_D) << frame("000000", "00", "55");
    QTest::newRow("Alt+1 180") << int(Qt::Key_1) << frame("14e790", "40", "31");
    QTest::newRow("Alt+B BiDir") << int(Qt::Key_B) << frame("14e790", "80", "31");
}

void tst_Commands::accessKeys()
{
    QFETCH(int, key);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    frm_main &w = f.startActive();
    QTest::keyClick(&w, Qt::Key(key), Qt::AltModifier);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(f.peer.collect(30), QByteArray()); // once, not twice
}

void tst_Commands::sameBandAgain()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    w.button(u"cmd17"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("1b9e50", "00", "31"));
    w.button(u"cmd17"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("1b9e50", "00", "31"));
    int lit = 0;
    for (const Band &b : kBands)
        lit += w.indicator(latin1(b.caption) + u" m lamp"_s)->colourName() == u"green"_s;
    QCOMPARE(lit, 1);
    QCOMPARE(w.indicator(u"17 m lamp"_s)->colourName(), u"green"_s);
}

void tst_Commands::directionBeforeAnyStatus_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<bool>("vastor");
    QTest::addColumn<QByteArray>("expected");
    // Nothing chosen or decoded yet: the frame carries the antenna's lower limit.
    QTest::newRow("180, small antenna") << u"cmd180"_s << false << frame("14e790", "40", "31");
    QTest::newRow("BiDir, small antenna") << u"cmdBid"_s << false << frame("14e790", "80", "31");
    QTest::newRow("180, large antenna") << u"cmd180"_s << true << frame("0a9ad8", "40", "31");
}

void tst_Commands::directionBeforeAnyStatus()
{
    QFETCH(QString, button);
    QFETCH(bool, vastor);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    f.preset(Key::Vastor, vastor ? u"True"_s : u"False"_s);
    frm_main &w = f.startActive();
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QVERIFY(w.Timer1()->isActive());
}

void tst_Commands::directionAfterStatus_data()
{
    QTest::addColumn<QByteArray>("status");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray reversed = QByteArray::fromHex("40410015704800403130 0d");
    const QByteArray bidir = QByteArray::fromHex("40410015704800903130 0d");
    QTest::newRow("180 while reversed turns it off")
        << reversed << u"cmd180"_s << frame("157048", "00", "31");
    QTest::newRow("BiDir while reversed") << reversed << u"cmdBid"_s << frame("157048", "80", "31");
    QTest::newRow("BiDir while bidirectional")
        << bidir << u"cmdBid"_s << frame("157048", "00", "31");
    QTest::newRow("180 while bidirectional") << bidir << u"cmd180"_s << frame("157048", "40", "31");
}

void tst_Commands::directionAfterStatus()
{
    QFETCH(QByteArray, status);
    QFETCH(QString, button);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    frm_main &w = f.startActive();
    f.reply(status);
    w.Timer1_Timer();
    QCOMPARE(f.peer.readExactly(3), QByteArray("?A\r"));
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(w.sndDir(), QString::fromLatin1(expected.mid(6, 2).toHex()));
}

void tst_Commands::secondPressBeforePollRepeats()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    w.button(u"cmd20"_s)->click();
    f.peer.readExactly(11);
    w.button(u"cmd180"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("157048", "40", "31"));
    w.button(u"cmd180"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("157048", "40", "31"));
}

void tst_Commands::fixedCodeFrames_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("sndDir");
    QTest::addColumn<QByteArray>("expected");
    const struct {
        const char *button, *code;
    } buttons[] = {{"cmdHome", "53"}, {"cmdCal", "56"}, {"cmdEnable", "52"}, {"cmdDisable", "55"}};
    for (const auto &b : buttons) {
        for (const char *dir : {"00", "40", "80"}) {
            QTest::addRow("%s, direction %s", b.button, dir)
                << QString::fromLatin1(b.button) << (u"00"_s + QString::fromLatin1(dir))
                << frame("000000", dir, b.code);
        }
    }
}

void tst_Commands::fixedCodeFrames()
{
    QFETCH(QString, button);
    QFETCH(QString, sndDir);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    f.preset(Key::SndDir, sndDir);
    frm_main &w = f.startActive();
    w.button(u"cmd12"_s)->click();
    f.peer.readExactly(11);
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(w.sndFreq(), std::optional<double>(2495000));
    QCOMPARE(w.sndCmd(), u"31"_s);
    QVERIFY(w.Timer1()->isActive());
    // The next band-less command still carries the frequency from before.
    w.button(u"cmdUP"_s)->click();
    QCOMPARE(f.peer.readExactly(11).mid(3, 3), QByteArray::fromHex("2625a0"));
}

void tst_Commands::steps_data()
{
    QTest::addColumn<QString>("band");
    QTest::addColumn<QString>("button");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<double>("sndFreq");
    QTest::newRow("UP from 10 m") << u"10"_s << u"cmdUP"_s << frame("2b1b28", "00", "31")
                                  << 2825000.0;
    QTest::newRow("DN from 10 m") << u"10"_s << u"cmdDN"_s << frame("2af418", "00", "31")
                                  << 2815000.0;
    QTest::newRow("UP from nothing")
        << QString() << u"cmdUP"_s << frame("14e790", "00", "31") << 1370000.0;
    QTest::newRow("DN from nothing")
        << QString() << u"cmdDN"_s << frame("14e790", "00", "31") << 1370000.0;
    QTest::newRow("DN at the limit")
        << u"80"_s << u"cmdDN"_s << frame("14e790", "00", "31") << 1370000.0;
}

void tst_Commands::steps()
{
    QFETCH(QString, band);
    QFETCH(QString, button);
    QFETCH(QByteArray, expected);
    QFETCH(double, sndFreq);
    PanelFixture f;
    frm_main &w = f.startActive();
    if (!band.isEmpty()) {
        w.button(u"cmd"_s + band)->click();
        f.peer.readExactly(11);
    }
    QTest::mouseClick(w.button(button), Qt::LeftButton);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(w.sndFreq(), std::optional<double>(sndFreq));
}

void tst_Commands::stepFromDecodedStatus()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    f.reply(QByteArray::fromHex("4041000aae6000003130 0d")); // 7.000 MHz
    w.Timer1_Timer();
    f.peer.readExactly(3);
    f.preset(Key::Vastor, u"True"_s);
    w.setVastor(true);
    w.button(u"cmdUP"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("0ac1e8", "00", "31")); // 7.050
}

void tst_Commands::threeQuarterSendsNothing()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    QPushButton *b = w.button(u"cmd34"_s);
    QVERIFY(!b->isEnabled());
    QVERIFY(!b->toolTip().isEmpty());
    QTest::mouseClick(b, Qt::LeftButton);
    QCOMPARE(f.peer.collect(50), QByteArray());
}

void tst_Commands::directionSurvivesRestart()
{
    QTemporaryDir settings;
    {
        PanelFixture f(settings.path());
        frm_main &w = f.startActive();
        w.button(u"cmd180"_s)->click();
        f.peer.readExactly(11);
        w.close();
    }
    PanelFixture f(settings.path());
    frm_main &w = f.startActive();
    w.button(u"cmd20"_s)->click();
    QCOMPARE(f.peer.readExactly(11), frame("157048", "40", "31"));
}

void tst_Commands::commandRestartsPollAFullIntervalLater()
{
    PanelFixture f;
    f.preset(Key::Poll, u"2000"_s);
    frm_main &w = f.start();
    QTest::mouseClick(w.button(u"cmd15"_s), Qt::LeftButton);
    // The frame is the first thing on the wire: no poll slipped in before it.
    QCOMPARE(f.peer.readExactly(11), frame("201ea8", "00", "31"));
    QVERIFY(w.Timer1()->isActive());
    QVERIFY(w.Timer1()->remainingTime() > 1000);
}

QTEST_MAIN(tst_Commands)
#include "tst_commands.moc"

// Operator action -> bytes on the wire: every button, key and menu item, with both
// antenna types. Each row starts a fresh panel; the bytes of all presses but the last
// are let go, and the last press must send `expected` exactly once, leave polling
// running a full interval away and, for a band, light that band's lamp alone.

#include "panelfixture.h"

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Wire : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void operatorAction_data()
    {
        QTest::addColumn<bool>("vastor");       // a large antenna: 6.950 MHz lower limit
        QTest::addColumn<QString>("sndDir");    // as stored by the last run
        QTest::addColumn<QByteArray>("before"); // a status reply polled first
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("lamp"); // the band lamp lit afterwards
        const auto row = [](const QByteArray &tag, bool vastor, const QByteArray &dir,
                            const QByteArray &before, const QByteArray &presses,
                            const QByteArray &expected, const QByteArray &lamp = {}) {
            QTest::newRow(tag.constData())
                << vastor << QString::fromLatin1(dir) << before << QString::fromLatin1(presses)
                << expected << QString::fromLatin1(lamp);
        };
        const QByteArray none;
        const struct {
            const char *band, *small, *large, *key;
        } bands[] = {{"80", "14e790", "0a9ad8", "Ctrl+8"}, {"40", "14e790", "0ac1e8", "Ctrl+4"},
                     {"30", "14e790", "0f6950", "Ctrl+3"}, {"20", "157048", "157048", "F6"},
                     {"17", "1b9e50", "1b9e50", "F7"},     {"15", "201ea8", "201ea8", "F8"},
                     {"12", "261218", "261218", "F9"},     {"10", "2b07a0", "2b07a0", "F11"},
                     {"6", "4c4b40", "4c4b40", "F12"}};
        for (const auto &b : bands) {
            const QByteArray m = QByteArray(b.band) + " m ", lamp = m + "lamp";
            row(m + "button, small antenna", false, "0000", none, "cmd" + QByteArray(b.band),
                frame(b.small), lamp);
            row(m + "button, large antenna", true, "0000", none, "cmd" + QByteArray(b.band),
                frame(b.large), lamp);
            row(m + "key " + b.key, true, "0000", none, b.key, frame(b.large), lamp);
            if (b.key[0] == 'F')
                row(m + "menu item", false, "0000", none, "mnu" + QByteArray(b.band),
                    frame(b.small), lamp);
        }
        const QByteArray reversed = frame("157048", "40"), bidir = frame("157048", "90");
        row("17 m twice lights one lamp", false, "0000", none, "cmd17 cmd17", frame("1b9e50"),
            "17 m lamp");
        // Nothing chosen or decoded yet: the frame carries the antenna's lower limit.
        row("180 first, small antenna", false, "0000", none, "cmd180", frame("14e790", "40"));
        row("180 first, large antenna", true, "0000", none, "cmd180", frame("0a9ad8", "40"));
        row("BiDir first", false, "0000", none, "cmdBid", frame("14e790", "80"));
        row("Alt+1 is 180", false, "0000", none, "Alt+1", frame("14e790", "40"));
        row("Alt+B is BiDir, not the Band menu", false, "0000", none, "Alt+B",
            frame("14e790", "80"));
        // Each toggle follows its own lamp, which shows what the controller last reported.
        row("180 while reversed: off", false, "0000", reversed, "cmd180", frame("157048", "00"));
        row("BiDir while reversed", false, "0000", reversed, "cmdBid", frame("157048", "80"));
        row("BiDir while bidirectional: off", false, "0000", bidir, "cmdBid",
            frame("157048", "00"));
        row("180 while bidirectional", false, "0000", bidir, "cmd180", frame("157048", "40"));
        row("180 twice before a poll", false, "0000", none, "cmd20 cmd180 cmd180",
            frame("157048", "40"));
        row("stored direction rides on a band", false, "0040", none, "cmd20",
            frame("157048", "40"));
        const struct {
            const char *button, *key, *code;
        } fixed[] = {{"cmdHome", "Alt+H", "53"},
                     {"cmdCal", "Alt+C", "56"},
                     {"cmdEnable", "Alt+E", "52"},
                     {"cmdDisable", "Alt+D", "55"}};
        for (const auto &c : fixed) {
            for (const char *dir : {"00", "40", "80"})
                row(c.button + QByteArray(", direction ") + dir, false, "00" + QByteArray(dir),
                    none, "cmd12 " + QByteArray(c.button), frame("000000", dir, c.code));
            row(c.button + QByteArray(" key ") + c.key, false, "0000", none, c.key,
                frame("000000", "00", c.code));
        }
        row("Home keeps the frequency", false, "0000", none, "cmd12 cmdHome cmdUP",
            frame("2625a0"));
        row("UP from 10 m", false, "0000", none, "cmd10 cmdUP", frame("2b1b28"));
        row("DN from 10 m", false, "0000", none, "cmd10 cmdDN", frame("2af418"));
        row("UP from nothing", false, "0000", none, "cmdUP", frame("14e790"));
        row("DN at the small limit", false, "0000", none, "cmd80 cmdDN", frame("14e790"));
        row("DN at the large limit", true, "0000", none, "cmd80 cmdDN", frame("0a9ad8"));
        row("Ctrl+Up from 20 m", false, "0000", none, "F6 Ctrl+Up", frame("1583d0"));
        row("Ctrl+Down from 20 m", false, "0000", none, "F6 Ctrl+Down", frame("155cc0"));
        row("UP from a decoded 7.000 MHz", true, "0000", frame("0aae60"), "cmdUP", frame("0ac1e8"));
        row("UP from a decoded 8.00002 MHz, in whole units", true, "0000", frame("0c3502"), "cmdUP",
            frame("0c488a"));
        row("UP from FFFFFF stays at FFFFFF", false, "0000", frame("ffffff"), "cmdUP",
            frame("ffffff"));
        row("F10 opens the menus only", false, "0000", none, "F10", none);
        row("3/4 has no command", false, "0000", none, "cmd34", none);
    }

    void operatorAction()
    {
        QFETCH(bool, vastor);
        QFETCH(QString, sndDir);
        QFETCH(QByteArray, before);
        QFETCH(QString, presses);
        QFETCH(QByteArray, expected);
        QFETCH(QString, lamp);
        PanelFixture f;
        f.preset(Key::Vastor, vastor ? u"True"_s : u"False"_s);
        f.preset(Key::SndDir, sndDir);
        f.preset(Key::Poll, u"2000"_s);
        frm_main &w = f.startActive();
        if (!before.isEmpty())
            f.poll(before);
        const QStringList steps = presses.split(u' ');
        for (const QString &press : steps) {
            f.peer.readAvailable();
            f.press(press);
            if (press != steps.last())
                QCOMPARE(f.peer.readExactly(11).size(), 11);
        }
        QCOMPARE(f.peer.readExactly(expected.size()).toHex(' '), expected.toHex(' '));
        QCOMPARE(f.peer.collect(30), QByteArray()); // once, and no poll straight after
        QCOMPARE(w.Timer1()->isActive(), !expected.isEmpty());
        if (!expected.isEmpty())
            QVERIFY(w.Timer1()->remainingTime() > 1000);
        if (lamp.isEmpty())
            return;
        for (Indicator *i : w.findChildren<Indicator *>())
            if (i->accessibleName().endsWith(u" m lamp"))
                QCOMPARE(i->colourName(), i->accessibleName() == lamp ? u"green"_s : u"red"_s);
    }
};

QTEST_MAIN(tst_Wire)
#include "tst_wire.moc"

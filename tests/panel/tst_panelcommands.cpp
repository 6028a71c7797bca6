// Operator action -> command on the wire: every key, button and menu item reaches the
// Station's command it stands for, once (the bytes of each variant are the Station's
// test). Each row lets the bytes of all presses but the last go.

#include "panelfixture.h"
#include "rigctld.h"

#include <QFile>
#include <QLabel>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_PanelCommands : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void operatorAction_data()
    {
        QTest::addColumn<QString>("presses");
        QTest::addColumn<QByteArray>("expected");
        const auto row = [](const char *tag, const char *presses, const QByteArray &expected) {
            QTest::newRow(tag) << QString::fromLatin1(presses) << expected;
        };
        const struct {
            const char *band, *freq, *key;
        } bands[] = {
            {"80", "14e790", "Ctrl+8"}, {"40", "14e790", "Ctrl+4"}, {"30", "14e790", "Ctrl+3"},
            {"20", "157048", "F6"},     {"17", "1b9e50", "F7"},     {"15", "201ea8", "F8"},
            {"12", "261218", "F9"},     {"10", "2b07a0", "F11"},    {"6", "4c4b40", "F12"}};
        // Every key clicks its button (a band's function key through its menu item), so a
        // key row covers the button and the menu item too.
        for (const auto &b : bands)
            QTest::addRow("%s m key %s", b.band, b.key)
                << QString::fromLatin1(b.key) << frame(b.freq, "40");
        // 180 stored, nothing reported yet: the toggle decides from what the controller
        // reported (nothing lit), as the page's toggle does from the same state.
        row("Alt+1 is 180", "Alt+1", frame("14e790", "40"));
        row("Alt+B is BiDir, not the Band menu", "Alt+B", frame("14e790", "80"));
        row("Home key Alt+H", "Alt+H", frame("000000", "40", "53"));
        row("Calibrate key Alt+C", "Alt+C", frame("000000", "40", "56"));
        row("En Xcvr key Alt+E", "Alt+E", frame("000000", "40", "52"));
        row("Dis Xcvr key Alt+D", "Alt+D", frame("000000", "40", "55"));
        row("UP clicked", "cmd10 cmdUP", frame("2b1b28", "40"));
        row("Ctrl+Up", "F6 Ctrl+Up", frame("1583d0", "40"));
        row("Ctrl+Down", "F6 Ctrl+Down", frame("155cc0", "40"));
        row("F10 opens the menus only", "F10", {});
    }

    void operatorAction()
    {
        QFETCH(QString, presses);
        QFETCH(QByteArray, expected);
        PanelFixture f;
        f.presetFile("[StartUp]\nPoll=2000\nsndDir=0040\n");
        f.startActive();
        const QStringList steps = presses.split(u' ');
        for (const QString &press : steps) {
            f.peer.readAvailable();
            f.press(press);
            if (press != steps.last())
                QCOMPARE(f.peer.readExactly(11).size(), 11);
        }
        QCOMPARE(f.peer.readExactly(expected.size()).toHex(' '), expected.toHex(' '));
        QCOMPARE(f.peer.collect(30), QByteArray()); // once, and no poll straight after
    }

    // Armed without following, the radio keyed: no moving press writes, its tip says why
    // until the radio receives, the TX lamp is red and "Transmitting" said.
    void whileTransmitting()
    {
        Rigctld rig;
        QVERIFY(rig.start() && rig.set("T 1"));
        PanelFixture f;
        f.presetFile("[StartUp]\nPoll=2000\nsndDir=0040\n[Interlock]\nEnabled=1\n[Follow]\nPort=" +
                     QByteArray::number(rig.port()) + '\n');
        MainWindow &w = f.startActive();
        QTRY_COMPARE(w.indicator(u"TX lamp"_s)->colourName(), u"red"_s);
        QCOMPARE(w.findChild<QLabel *>(u"lblTx"_s)->accessibleName(), u"Transmitting"_s);
        const QString tip = w.button(u"cmd20"_s)->toolTip();
        for (const char *press : {"cmd20", "F7", "mnu15", "Ctrl+Down", "Alt+B", "cmdHome", "Alt+E"})
            f.press(QString::fromLatin1(press));
        QCOMPARE(f.peer.collect(300).replace(kRequest, ""), QByteArray());
        QCOMPARE(w.button(u"cmd20"_s)->toolTip(), tip + u"\nNot sent: the radio is transmitting"_s);
        QVERIFY(rig.set("T 0"));
        QTRY_COMPARE(w.indicator(u"TX lamp"_s)->colourName(), u"green"_s);
        QCOMPARE(w.button(u"cmd20"_s)->toolTip(), tip);
    }

    // The trace menu item: checked while a trace runs, unchecked to stop it; a file
    // that cannot be opened is named once and leaves the panel untraced.
    void traceMenuItem()
    {
        QTemporaryDir dir;
        PanelFixture f;
        MainWindow &w = f.startActive();
        QAction *item = w.action(u"mnuTrace"_s);
        QVERIFY(w.startTrace(dir.filePath(u"trace.log"_s)));
        QVERIFY(item->isChecked());
        f.press(u"F6"_s);
        f.peer.readExactly(11);
        item->trigger();
        QVERIFY(!item->isChecked());
        f.press(u"F7"_s);
        f.peer.readExactly(11);
        const QString unwritable = dir.filePath(u"missing/trace.log"_s);
        QVERIFY(!w.startTrace(unwritable));
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().contains(unwritable));
        QVERIFY(!item->isChecked());
        QFile file(dir.filePath(u"trace.log"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray trace = file.readAll();
        QVERIFY2(trace.contains("TX 40 41 00 15 70 48 00 00 31 30 0D"), trace.constData());
        QVERIFY(!trace.contains("TX 40 41 00 1B 9E 50")); // F7 went out untraced
    }
};

QTEST_MAIN(tst_PanelCommands)
#include "tst_panelcommands.moc"

// What the running panel tells an operator or a helper: the serial trace of a real
// session, the Connected lamp when the controller falls silent (tool tip and screen
// reader), and the key each band button names.

#include "panelfixture.h"

#include <QAccessible>
#include <QFile>
#include <QRegularExpression>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Honest : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // F6 and one poll, traced; the trace stops when its menu item is unchecked, and a
    // file that cannot be opened is named once and leaves the panel untraced.
    void traceOfABandKeyAndAPoll()
    {
        QTemporaryDir dir;
        PanelFixture f;
        f.preset(Key::Poll, u"10000"_s); // only the poll the test runs
        frm_main &w = f.startActive();
        QAction *item = w.action(u"mnuTrace"_s);
        QVERIFY(w.startTrace(dir.filePath(u"trace.log"_s)));
        QVERIFY(item->isChecked());
        QTest::keyClick(&w, Qt::Key_F6);
        f.peer.readExactly(11);
        f.peer.write(frame("157048", "40"));
        QTRY_COMPARE(w.MSComm1().serialPort()->bytesAvailable(), 11);
        w.Timer1_Timer(); // one poll, exactly
        item->trigger();
        QVERIFY(!item->isChecked());
        const QString unwritable = dir.filePath(u"missing/trace.log"_s);
        QVERIFY(!w.startTrace(unwritable));
        QCOMPARE(f.messages.size(), 1);
        QVERIFY(f.messages.first().contains(unwritable));
        QVERIFY(!item->isChecked());
        w.button(u"cmd17"_s)->click();
        f.peer.readExactly(11);

        QString pattern;
        for (const QString &line : {u"OPEN %1 4800,N,8,1"_s.arg(f.peer.slavePath()),
                                    u"TX 40 41 00 15 70 48 00 00 31 30 0D"_s, u"TX 3F 41 0D"_s,
                                    u"RX 40 41 00 15 70 48 00 40 31 30 0D"_s})
            pattern += u"\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s +
                       QRegularExpression::escape(line) + u'\n';
        QFile file(dir.filePath(u"trace.log"_s));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString trace = QString::fromLatin1(file.readAll());
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern))
                     .match(trace)
                     .hasMatch(),
                 qPrintable(trace));
    }

    // The lamp stays green through silence; the tip and the screen reader tell it,
    // the reader once per change however many polls go unanswered.
    void connectedTipTellsSilence()
    {
        PanelFixture f;
        f.preset(Key::Poll, u"200"_s);
        frm_main &w = f.start();
        Indicator *lamp = w.indicator(u"Connected"_s);
        QStringList heard;
        connect(lamp, &Indicator::descriptionChanged, this,
                [&heard](const QString &description) { heard << description; });
        f.peer.write(frame("157048", "40"));
        QTRY_COMPARE(lamp->toolTip(), u"The controller is answering"_s);
        QTRY_COMPARE(lamp->toolTip(), u"No reply from the controller for 1 s"_s);
        QCOMPARE(lamp->colourName(), u"green"_s);
        f.peer.write(frame("157048", "40"));
        QTRY_COMPARE(lamp->toolTip(), u"The controller is answering"_s);
        QCOMPARE(heard, (QStringList{u"green"_s, u"green, Controller not answering"_s,
                                     u"green, Controller answering"_s}));
    }

    void bandButtonNamesItsKey_data()
    {
        QTest::addColumn<QString>("band");
        QTest::addColumn<QString>("key");
        QTest::newRow("80 m") << u"80"_s << u"Ctrl+8"_s;
        QTest::newRow("40 m") << u"40"_s << u"Ctrl+4"_s;
        QTest::newRow("30 m") << u"30"_s << u"Ctrl+3"_s;
        QTest::newRow("20 m") << u"20"_s << u"F6"_s;
        QTest::newRow("17 m") << u"17"_s << u"F7"_s;
        QTest::newRow("15 m") << u"15"_s << u"F8"_s;
        QTest::newRow("12 m") << u"12"_s << u"F9"_s;
        QTest::newRow("10 m, F10 being the menu key") << u"10"_s << u"F11"_s;
        QTest::newRow("6 m") << u"6"_s << u"F12"_s;
    }
    void bandButtonNamesItsKey()
    {
        QFETCH(QString, band);
        QFETCH(QString, key);
        PanelFixture f;
        QPushButton *b = f.start().button(u"cmd"_s + band);
        QCOMPARE(b->toolTip(), u"Key: "_s + key);
        QCOMPARE(QAccessible::queryAccessibleInterface(b)->text(QAccessible::Description),
                 u"Key: "_s + key);
    }
};

QTEST_MAIN(tst_Honest)
#include "tst_honest.moc"

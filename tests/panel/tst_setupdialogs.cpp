// The setup and Radio dialogs as the operator uses them (F2, the lists, the scroll
// bar, the antenna options, Esc; the Radio dialog's fields), checked in the store, on
// the line and in the polling afterwards.

#include "panelfixture.h"
#include "radiodialog.h"
#include "rigctld.h"
#include "setupdialog.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
// Replaces the combo's text and confirms it with Enter, as a keyboard user does.
void typeAndEnter(QComboBox *combo, const QString &text)
{
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo, text);
    QTest::keyClick(combo, Qt::Key_Return);
}

SetupDialog *pressF2(PanelFixture &f)
{
    f.press(u"F2"_s);
    return qobject_cast<SetupDialog *>(f.window->setupDialog());
}

void leave(PanelFixture &f)
{
    f.window->setupDialog()->activateWindow(); // back from a list or a message
    QTRY_VERIFY(f.window->setupDialog()->isActiveWindow());
    QTest::keyClick(f.window->setupDialog(), Qt::Key_Escape);
    QTRY_VERIFY(!f.window->setupDialog());
    QVERIFY(f.window->isVisible());
}
} // namespace

class tst_SetupDialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Opening closes the line and hides the panel; the choice reaches the station (and so
    // the store); leaving reopens the line and polls. What the station does with the
    // choice on resuming is its own test.
    void choice_data()
    {
        QTest::addColumn<QString>("vastor");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("poll");
        QTest::addColumn<QString>("settings");
        const QString n81 = u"4800,n,8,1"_s;
        QTest::newRow("arrow right: a step up") << u"False"_s << u"Right"_s << 600 << n81;
        QTest::newRow("page up: a page up") << u"False"_s << u"PgUp"_s << 1500 << n81;
        QTest::newRow("end: the highest") << u"False"_s << u"End"_s << 10000 << n81;
        QTest::newRow("Vastor, Grandel") << u"False"_s << u"largeAntenna"_s << 500 << n81;
        QTest::newRow("Beam, Dipole, Petitel") << u"True"_s << u"otherAntenna"_s << 500 << n81;
        QTest::newRow("9600 baud") << u"False"_s << u"9600"_s << 500 << u"9600,n,8,1"_s;
    }

    void choice()
    {
        QFETCH(QString, vastor);
        QFETCH(QString, choice);
        QFETCH(int, poll);
        QFETCH(QString, settings);
        PanelFixture f;
        f.presetFile("[StartUp]\nVastor=" + vastor.toLatin1() + '\n');
        MainWindow &w = f.startActive();
        f.pollTimer()->start();
        SetupDialog *dlg = pressF2(f);
        QVERIFY(dlg && dlg->isVisible());
        QVERIFY(!w.isVisible());
        QVERIFY(!f.station->port().isOpen());
        QVERIFY(!f.pollTimer()->isActive());
        QCOMPARE(dlg->largeAntennaOption()->isChecked(), vastor == u"True");
        QCOMPARE(dlg->pollBar()->value(), 500);
        if (choice.endsWith(u"Antenna")) {
            QTest::mouseClick(dlg->findChild<QRadioButton *>(choice), Qt::LeftButton);
            QCOMPARE(f.store->value(Key::Vastor), vastor == u"True" ? u"False"_s : u"True"_s);
        } else if (choice == u"9600") {
            dlg->baudList()->showPopup();
            QTRY_VERIFY(dlg->baudList()->view()->isVisible());
            dlg->baudList()->view()->setCurrentIndex(dlg->baudList()->model()->index(3, 0));
            QTest::keyClick(dlg->baudList()->view(), Qt::Key_Return);
        } else {
            QTest::keySequence(dlg->pollBar(), QKeySequence(choice));
            QCOMPARE(dlg->pollText()->text(), QString::number(poll));
            QTRY_COMPARE(f.store->value(Key::Poll), QString::number(poll)); // once still
        }
        QCOMPARE(f.store->value(Key::Settings), settings);
        leave(f);
        QVERIFY(f.station->port().isOpen());
        QVERIFY(f.pollTimer()->isActive());
        QVERIFY(f.messages.isEmpty());
    }

    // Said at start-up, in the dialog (which stays, the stored port kept) and as the
    // dialog closes; the panel runs on, polling, with the Connected lamp red.
    void portThatCannotOpen()
    {
        const QString missing = u"/nonexistent/tarvik-port"_s;
        const QString message = missing + u": not available. Check Com Port setting."_s;
        PanelFixture f;
        f.presetFile("[StartUp]\nComPort=" + missing.toLatin1() + '\n');
        MainWindow &w = f.start(true);
        QCOMPARE(f.messages, QStringList{message});
        f.press(u"mnuSetup"_s);
        auto *dlg = qobject_cast<SetupDialog *>(w.setupDialog());
        QVERIFY(dlg);
        typeAndEnter(dlg->portList(), f.peer.slavePath());
        QVERIFY(f.station->port().isOpen());
        QCOMPARE(f.store->value(Key::ComPort), f.peer.slavePath());
        typeAndEnter(dlg->portList(), u"Com 0"_s);
        QCOMPARE(f.messages.last(), u"COM 0: not available. Check Com Port setting."_s);
        QVERIFY(dlg->isVisible());
        QCOMPARE(f.store->value(Key::ComPort), f.peer.slavePath());
        leave(f);
        QCOMPARE(f.messages.size(), 3);
        QCOMPARE(f.colour(u"Connected"_s), u"red"_s);
        QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"The serial port is closed (COM 0)"_s);
        QVERIFY(f.pollTimer()->isActive());
    }

    // What the Radio dialog takes applies at once and is stored, Escape included.
    void radioDialog()
    {
        test::Rigctld rig;
        QVERIFY(rig.start() && rig.set("F 28074000"));
        PanelFixture f;
        f.presetFile("[Follow]\nEnabled=1\nPort=1\n"); // nothing there
        MainWindow &w = f.start();
        f.pollTimer()->stop();
        w.action(u"mnuRadio"_s)->trigger();
        auto *dialog = qobject_cast<RadioDialog *>(w.radioDialog());
        QVERIFY(dialog && QTest::qWaitForWindowActive(dialog));
        const struct {
            Qt::Key accessKey;
            QSpinBox *box;
            int value;
            Qt::Key leave;
        } entries[] = {{Qt::Key_P, dialog->portBox(), rig.port(), Qt::Key_Return},
                       {Qt::Key_T, dialog->thresholdBox(), 200, Qt::Key_Escape}};
        for (const auto &e : entries) {
            QTest::keyClick(dialog, e.accessKey, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), e.box);
            e.box->selectAll();
            QTest::keyClicks(e.box, QString::number(e.value));
            QTest::keyClick(e.box, e.leave);
        }
        QCOMPARE(f.peer.readExactly(11), frame("2ad668", "00"));
        QTRY_VERIFY(!w.radioDialog());
        QCOMPARE(f.store->value(Key::FollowPort), QString::number(rig.port()));
        QCOMPARE(f.store->value(Key::FollowThreshold), u"200"_s);
    }
};

QTEST_MAIN(tst_SetupDialogs)
#include "tst_setupdialogs.moc"

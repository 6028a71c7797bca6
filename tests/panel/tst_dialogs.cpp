// The panel's dialogs as the operator uses them: Setup and Radio, checked in the store,
// on the line and in the polling afterwards; About, its launcher, and the help.

#include "aboutbox.h"
#include "helpwindow.h"
#include "panelfixture.h"
#include "radiodialog.h"
#include "rigctld.h"
#include "setupdialog.h"

#include <tarvik/version.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTextBrowser>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
void typeAndEnter(QComboBox *combo, const QString &text)
{
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo, text);
    QTest::keyClick(combo, Qt::Key_Return);
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

class tst_Dialogs : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Opening closes the line and hides the panel; the choice reaches the station (and so
    // the store); leaving reopens the line.
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
        f.press(u"F2"_s);
        auto *dlg = qobject_cast<SetupDialog *>(w.setupDialog());
        QVERIFY(dlg && dlg->isVisible());
        QVERIFY(!w.isVisible());
        QVERIFY(!f.station->port().isOpen());
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
        QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"Waiting for COM 0"_s);
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
        const auto enter = [dialog](Qt::Key accessKey, QSpinBox *box, int value, Qt::Key leave) {
            QTest::keyClick(dialog, accessKey, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), box);
            box->selectAll();
            QTest::keyClicks(box, QString::number(value));
            QTest::keyClick(box, leave);
        };
        enter(Qt::Key_P, dialog->portBox(), rig.port(), Qt::Key_Return);
        enter(Qt::Key_X, dialog->holdBox(), 400, Qt::Key_Return);
        enter(Qt::Key_T, dialog->thresholdBox(), 200, Qt::Key_Escape);
        QCOMPARE(f.peer.readExactly(11), frame("2ad668", "00"));
        QTRY_VERIFY(!w.radioDialog());
        QCOMPARE(f.store->value(Key::FollowPort), QString::number(rig.port()));
        QCOMPARE(f.store->value(Key::FollowThreshold), u"200"_s);
        QCOMPARE(f.store->value(Key::InterlockHoldAfterTx), u"400"_s);
    }

    // Enter closes it (Escape is walked over the accessibility bus).
    void aboutBox()
    {
        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuAbout"_s);
        QPointer<QWidget> box = w.aboutBox();
        QVERIFY(box && box->isVisible() && !box->isModal());
        auto *version = box->findChild<QLabel *>(u"lblVersion"_s);
        QCOMPARE(version->text(), u"Version "_s + QLatin1String(version::text));
        QCOMPARE(box->size(), QSize(382, 237)); // a fixed 5730 x 3555 twips
        QCOMPARE(box->minimumSize(), box->maximumSize());
        version->setText(u"marked"_s); // About again brings the same box, not loaded again
        f.press(u"mnuAbout"_s);
        QCOMPARE(w.aboutBox(), box.data());
        QCOMPARE(version->text(), u"marked"_s);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(box.isNull());
        QVERIFY(f.messages.isEmpty());
    }

    void systemInfo_data()
    {
        // configured: SystemInfo/Path system-wide ("%1": the tools' folder); tools: on PATH.
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QString>("started");
        QTest::newRow("configured path is started as it stands")
            << u"%1/my sysinfo"_s << QStringList{u"my sysinfo"_s} << u"my sysinfo"_s;
        QTest::newRow("hardinfo before the others")
            << QString() << QStringList{u"lshw-gtk"_s, u"hardinfo2"_s, u"hardinfo"_s}
            << u"hardinfo"_s;
        QTest::newRow("nothing to start") << QString() << QStringList() << QString();
    }

    void systemInfo()
    {
        QFETCH(QString, configured);
        QFETCH(QStringList, tools);
        QFETCH(QString, started);
        QTemporaryDir dir;
        const QString bin = dir.path() + u"/system tools"_s; // a shell would split it
        const QString xdg = dir.path() + u"/xdg"_s;
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(xdg + u"/TarvikDesk"_s));
        for (const QString &name : tools) {
            QFile tool(bin + u'/' + name); // it only leaves a mark beside itself
            QVERIFY(tool.open(QIODevice::WriteOnly));
            tool.write("#!/bin/sh\n: > \"$0.started\"\n");
            QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        if (!configured.isNull()) {
            QFile conf(xdg + u"/TarvikDesk/TarvikDesk.conf"_s);
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[SystemInfo]\nPath=" + QString(configured).replace(u"%1"_s, bin).toUtf8());
        }
        qputenv("PATH", QFile::encodeName(bin));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdg));

        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuAbout"_s);
        QTest::mouseClick(w.aboutBox()->findChild<QPushButton *>(u"cmdSysInfo"_s), Qt::LeftButton);
        if (started.isEmpty())
            QCOMPARE(f.messages, QStringList{u"System Information Is Unavailable At This Time"_s});
        else
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(bin + u'/' + started + u".started"_s), 20000);
        QVERIFY(w.aboutBox()); // the box stays open either way
    }

    // Contents opens the help there; read on elsewhere, Contents again: the same window,
    // back at the contents. (F1 is walked over the accessibility bus.)
    void helpOpensAtContents()
    {
        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuContents"_s);
        auto *help = qobject_cast<HelpWindow *>(w.helpWindow());
        QVERIFY(help && help->isVisible() && help->isWindow());
        QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
        help->browser()->setSource(QUrl(u"setup.html"_s));
        f.press(u"mnuContents"_s);
        QCOMPARE(w.helpWindow(), help);
        QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
    }
};

QTEST_MAIN(tst_Dialogs)
#include "tst_dialogs.moc"

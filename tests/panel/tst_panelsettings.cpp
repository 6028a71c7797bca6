// Stored file -> the run -> the file afterwards: what the panel does with the values
// and how often it writes (how each key's text is read is the settings' own test).

#include "panelfixture.h"
#include "setupdialog.h"

#include <QAccessible>
#include <QAction>
#include <QCheckBox>
#include <QRadioButton>
#include <QRandomGenerator>
#include <QScrollBar>
#include <QSignalSpy>
#include <QWindow>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_PanelSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startUp_data()
    {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<int>("pollMs");
        QTest::addColumn<int>("speed");
        QTest::addColumn<bool>("onTop");
        QTest::addColumn<QByteArray>("written"); // lines the file holds afterwards
        QTest::newRow("nothing stored")
            << QByteArray() << 500 << int(B4800) << false
            << QByteArray("ComPort=1\nSettings=4800,n,8,1\nPosition-Left=165\nPosition-Top=450");
        QTest::newRow("poll and speed") << QByteArray("[StartUp]\nPoll=300\nSettings=9600,n,8,1\n")
                                        << 300 << int(B9600) << false << QByteArray("Poll=300");
        QByteArray noise(64 * 1024, Qt::Uninitialized);
        QRandomGenerator random(7);
        for (char &c : noise)
            c = char(random.bounded(256));
        QTest::newRow("64 kB of binary garbage")
            << noise << 500 << int(B4800) << false << QByteArray("[StartUp]\nComPort=1\n");
        QTest::newRow("on top") << QByteArray("[StartUp]\nOnTop=1\n") << 500 << int(B4800) << true
                                << QByteArray("OnTop=1");
    }

    void startUp()
    {
        QFETCH(QByteArray, file);
        PanelFixture f;
        if (!file.isEmpty())
            f.presetFile(file);
        MainWindow &w = f.start();
        QVERIFY(f.station->port().isOpen());
        QTEST(f.pollTimer()->interval(), "pollMs");
        const termios line = f.peer.attributes();
        QTEST(int(::cfgetospeed(&line)), "speed");
        QTEST(w.onTopBox()->isChecked(), "onTop");
        QTEST(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), "onTop");
        w.close();
        QVERIFY(f.messages.isEmpty());
        QFETCH(QByteArray, written);
        QVERIFY2(f.file().contains(written), f.file().constData());
        QVERIFY(f.file().startsWith(file)); // every byte that was there stands
    }

    // A file of mode 0444 is not written, and the message says why from the start, once.
    void unwritableIsReportedOnce()
    {
        QTemporaryDir dir;
        QFile blocker(dir.filePath(u"TarvikDesk.conf"_s));
        QVERIFY(blocker.open(QIODevice::WriteOnly) && blocker.write("[StartUp]\nPoll=500\n") &&
                blocker.setPermissions(QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        blocker.close();
        PanelFixture f(dir.path());
        MainWindow &w = f.start();
        w.action(u"mnuFull"_s)->trigger();
        w.onTopBox()->click();
        QTRY_COMPARE(f.messages.size(), 1);
        QVERIFY2(f.messages.first().contains(blocker.fileName() +
                                             u": the file is read-only (mode 0444)"_s),
                 qPrintable(f.messages.first()));
        f.peer.readAvailable();
        f.pollTimer()->start(10);
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
        f.presetFile("[Startup]\nStyle=" + stored.toLatin1() + '\n');
        MainWindow &w = f.startActive();
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
        MainWindow &w = f.start();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        const QRect before = w.geometry();
        for (bool on : {true, false}) {
            QTest::mouseClick(w.onTopBox(), Qt::LeftButton, {}, QPoint(5, 5));
            QCOMPARE(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), on);
            QVERIFY(w.isVisible());
            QCOMPARE(w.geometry(), before);
            QCOMPARE(f.store->value(Key::OnTop), on ? u"1"_s : u"0"_s);
        }
    }

    // Assistive technology and voice control tick a box with its accessibility action,
    // which never clicks: each checkable control acts and stores all the same.
    void accessibleToggle_data()
    {
        QTest::addColumn<QString>("control"); // an object name: a widget's or a menu item's
        QTest::addColumn<QString>("stored");
        QTest::newRow("On Top") << u"onTop"_s << u"OnTop=1"_s;
        QTest::newRow("Follow Radio") << u"mnuFollow"_s << u"[Follow]\nEnabled=1"_s;
        QTest::newRow("Large Antenna") << u"Vastor"_s << u"Vastor=True"_s;
    }
    void accessibleToggle()
    {
        QFETCH(QString, control);
        PanelFixture f;
        MainWindow &w = f.startActive();
        QAccessibleInterface *target = nullptr;
        if (QAction *item = w.action(control)) { // a menu item is a child of its menu
            QAccessibleInterface *menu =
                QAccessible::queryAccessibleInterface(item->associatedObjects().first());
            for (int i = 0; i < menu->childCount(); ++i)
                target = menu->child(i)->object() == item ? menu->child(i) : target;
        } else if (control == u"Vastor") {
            f.press(u"F2"_s);
            target = QAccessible::queryAccessibleInterface(
                qobject_cast<SetupDialog *>(w.setupDialog())->largeAntennaOption());
        } else {
            target = QAccessible::queryAccessibleInterface(w.onTopBox());
        }
        QVERIFY(target && target->actionInterface());
        // A box's only action is Toggle; a menu item offers Press, which toggles it.
        const QStringList actions = target->actionInterface()->actionNames();
        QVERIFY(actions.first() == QAccessibleActionInterface::toggleAction() ||
                actions == QStringList{QAccessibleActionInterface::pressAction()});
        target->actionInterface()->doAction(actions.first());
        const StationState &state = f.station->state();
        QVERIFY(state.following || state.largeAntenna ||
                w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
        QFETCH(QString, stored);
        QTRY_VERIFY2(f.file().contains(stored.toUtf8()), f.file().constData());
    }

    // A start writes once, for the keys it lacked; ticking the stored On Top and following
    // at start-up and the exit store nothing. A drag of the poll bar adds one write.
    void writesPerRun_data()
    {
        QTest::addColumn<bool>("drag");
        QTest::addColumn<int>("writes");
        QTest::newRow("start and exit: only the missing keys") << false << 1;
        QTest::newRow("with a drag in the setup dialog") << true << 2;
    }
    void writesPerRun()
    {
        QFETCH(bool, drag);
        PanelFixture f;
        f.presetFile("[StartUp]\nComPort=/dev/ttyUSB0\nOnTop=1\n[Follow]\nEnabled=1\nPort=1\n");
        QSignalSpy written(f.store, &SettingsStore::written);
        MainWindow &w = f.startActive();
        if (drag) {
            f.press(u"F2"_s);
            auto *dialog = qobject_cast<SetupDialog *>(w.setupDialog());
            QVERIFY(dialog);
            QScrollBar *bar = dialog->pollBar();
            bar->setSliderDown(true);
            for (int step = 1; step <= 5; ++step)
                bar->setSliderPosition(500 + 100 * step);
            bar->setSliderDown(false);
            QTest::qWait(700); // longer than the bar's half second of stillness
            QCOMPARE(f.store->value(Key::Poll), u"1000"_s);
            QTest::keyClick(dialog, Qt::Key_Escape);
            QTRY_VERIFY(!w.setupDialog());
        }
        // An edit made on disk meanwhile stands: the panel stores only what it changed.
        const QByteArray edited =
            f.file().replace("Settings=4800,n,8,1", "Settings=9600,n,8,1") + "; mine\n";
        QFile file(f.store->filePath());
        QVERIFY(file.open(QIODevice::WriteOnly) && file.write(edited) == edited.size());
        file.close();
        w.close();
        QTEST(int(written.size()), "writes");
        QVERIFY(f.file().contains("Settings=9600,n,8,1\n") && f.file().endsWith("; mine\n"));
        QVERIFY(f.file().contains("[Follow]\nEnabled=1\nPort=1\n"));
    }
};

QTEST_MAIN(tst_PanelSettings)
#include "tst_panelsettings.moc"

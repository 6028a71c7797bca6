// The line: the setup dialog as the operator uses it (F2, the lists, the scroll bar, the
// antenna options, Esc), a port that is not there, and a line that goes away under the
// panel (the far end closes, as a pulled USB adapter looks to a tty, or QSerialPort
// reports an error meaning the device is gone), checked in the store, on the line and
// in the polling afterwards.

#include "frm_setup.h"
#include "panelfixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSignalSpy>

#include <unistd.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
const QString kMissing = u"/nonexistent/tarvik-port"_s;

// Replaces the combo's text and confirms it with Enter, as a keyboard user does.
void typeAndEnter(QComboBox *combo, const QString &text)
{
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo, text);
    QTest::keyClick(combo, Qt::Key_Return);
}

frm_setup *pressF2(PanelFixture &f)
{
    f.press(u"F2"_s);
    return qobject_cast<frm_setup *>(f.window->setupDialog());
}

void leave(PanelFixture &f)
{
    f.window->setupDialog()->activateWindow(); // back from a list or a message
    QTRY_VERIFY(f.window->setupDialog()->isActiveWindow());
    QTest::keyClick(f.window->setupDialog(), Qt::Key_Escape);
    QTRY_VERIFY(!f.window->setupDialog());
    QVERIFY(f.window->isVisible());
}
bool pointLink(const QString &link, const QString &target)
{
    QFile::remove(link);
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}
} // namespace

class tst_Line : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Opening stops polling and closes the line; the choice is stored at once; leaving
    // reopens the line, sends the current frame once and polls at the rate chosen.
    void choice_data()
    {
        QTest::addColumn<QString>("vastor");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<int>("poll");
        QTest::addColumn<QByteArray>("frameOnLeaving");
        QTest::addColumn<QString>("settings");
        const QByteArray small = frame("14e790"), large = frame("0a9ad8");
        const QString n81 = u"4800,n,8,1"_s;
        QTest::newRow("arrow right: a step up") << u"False"_s << u"Right"_s << 600 << small << n81;
        QTest::newRow("arrow left: a step down") << u"False"_s << u"Left"_s << 400 << small << n81;
        QTest::newRow("page up: a page up") << u"False"_s << u"PgUp"_s << 1500 << small << n81;
        QTest::newRow("home: the lowest") << u"False"_s << u"Home"_s << 200 << small << n81;
        QTest::newRow("end: the highest") << u"False"_s << u"End"_s << 10000 << small << n81;
        QTest::newRow("Vastor, Grandel") << u"False"_s << u"Option1"_s << 500 << large << n81;
        QTest::newRow("Beam, Dipole, Petitel") << u"True"_s << u"Option2"_s << 500 << small << n81;
        QTest::newRow("9600 baud") << u"False"_s << u"9600"_s << 500 << small << u"9600,n,8,1"_s;
    }

    void choice()
    {
        QFETCH(QString, vastor);
        QFETCH(QString, choice);
        QFETCH(int, poll);
        QFETCH(QString, settings);
        PanelFixture f;
        f.preset(Key::Vastor, vastor);
        frm_main &w = f.startActive();
        w.Timer1()->start();
        frm_setup *dlg = pressF2(f);
        QVERIFY(dlg && dlg->isVisible());
        QVERIFY(!w.isVisible());
        QVERIFY(!w.MSComm1().isOpen());
        QVERIFY(!w.Timer1()->isActive());
        QCOMPARE(dlg->Text2()->text(), vastor);
        QCOMPARE(dlg->HScroll1()->value(), 500);
        if (choice.startsWith(u"Option")) {
            QTest::mouseClick(dlg->findChild<QRadioButton *>(choice), Qt::LeftButton);
            QCOMPARE(dlg->Text2()->text(), vastor == u"True" ? u"False"_s : u"True"_s);
        } else if (choice == u"9600") {
            dlg->Combo2()->showPopup();
            QTRY_VERIFY(dlg->Combo2()->view()->isVisible());
            dlg->Combo2()->view()->setCurrentIndex(dlg->Combo2()->model()->index(3, 0));
            QTest::keyClick(dlg->Combo2()->view(), Qt::Key_Return);
        } else {
            QTest::keySequence(dlg->HScroll1(), QKeySequence(choice));
            QCOMPARE(dlg->Text1()->text(), QString::number(poll));
        }
        QCOMPARE(f.store->value(Key::Poll), QString::number(poll));
        QCOMPARE(f.store->value(Key::Vastor), dlg->Text2()->text());
        QCOMPARE(f.store->value(Key::Settings), settings);
        f.peer.readAvailable();
        leave(f);
        QTEST(f.peer.readExactly(11), "frameOnLeaving");
        QVERIFY(w.MSComm1().isOpen());
        QVERIFY(w.Timer1()->isActive());
        QCOMPARE(w.Timer1()->interval(), poll);
        const termios line = f.peer.attributes();
        QCOMPARE(::cfgetospeed(&line),
                 settings.startsWith(u"9600") ? speed_t(B9600) : speed_t(B4800));
        QVERIFY(f.messages.isEmpty());
    }

    // The msec box shows the stored rate even where the scroll bar starts (200), so
    // nothing moves. Ports count from 1: "Com 0" is a port that cannot be opened,
    // reported as such, and the stored port stays as it was.
    void setupAtTheEdges()
    {
        PanelFixture f;
        f.preset(Key::ComPort, u"7"_s);
        f.preset(Key::Poll, u"200"_s);
        frm_main &w = f.startActive();
        frm_setup *dlg = pressF2(f);
        QVERIFY(dlg);
        QCOMPARE(dlg->Text1()->text(), u"200"_s);
        typeAndEnter(dlg->Combo1(), u"Com 0"_s);
        QCOMPARE(f.messages, QStringList{u"COM 0: not available. Check Com Port setting."_s});
        QCOMPARE(f.store->value(Key::ComPort), u"7"_s);
        QVERIFY(!w.MSComm1().isOpen());
    }

    void portThatCannotOpen_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QString>("typed"); // in the setup dialog
        QTest::addColumn<QString>("message");
        QTest::newRow("device path that does not exist")
            << kMissing << kMissing << kMissing + u": not available. Check Com Port setting."_s;
        QTest::newRow("port number without a device")
            << u"99"_s << u"Com 99"_s << u"COM 99: not available. Check Com Port setting."_s;
    }

    // At start-up, in the dialog (which stays) and as the dialog closes, the port is
    // named once each time; the panel runs on, polling, with the Connected lamp red.
    void portThatCannotOpen()
    {
        QFETCH(QString, stored);
        QFETCH(QString, typed);
        QFETCH(QString, message);
        PanelFixture f;
        frm_main &w = f.start(true, stored);
        QCOMPARE(f.messages, QStringList{message});
        QVERIFY(w.indicator(u"Connected"_s)->toolTip().contains(u"closed"_s));
        f.press(u"cmd20"_s); // a command on the closed port finishes, and polling goes on
        QVERIFY(w.Timer1()->isActive());
        f.press(u"mnuSetup"_s);
        auto *dlg = qobject_cast<frm_setup *>(w.setupDialog());
        QVERIFY(dlg);
        typeAndEnter(dlg->Combo1(), f.peer.slavePath());
        QVERIFY(w.MSComm1().isOpen());
        QCOMPARE(f.store->value(Key::ComPort), f.peer.slavePath());
        typeAndEnter(dlg->Combo1(), typed);
        QCOMPARE(f.messages.size(), 2);
        QVERIFY(dlg->isVisible());
        QCOMPARE(f.store->value(Key::ComPort), f.peer.slavePath());
        leave(f);
        QCOMPARE(f.messages, QStringList({message, message, message}));
        QVERIFY(!w.MSComm1().isOpen());
        QCOMPARE(f.colour(u"Connected"_s), u"red"_s);
        QVERIFY(w.indicator(u"Connected"_s)->toolTip().contains(u"closed"_s));
        QVERIFY(w.Timer1()->isActive());
    }

    void lost_data()
    {
        QTest::addColumn<int>("error"); // -1: the far end closes
        QTest::addColumn<bool>("lost");
        QTest::newRow("far end closes") << -1 << true;
        QTest::newRow("adapter pulled out") << int(QSerialPort::ResourceError) << true;
        QTest::newRow("read failure") << int(QSerialPort::ReadError) << true;
        QTest::newRow("write failure") << int(QSerialPort::WriteError) << true;
        QTest::newRow("device gone") << int(QSerialPort::DeviceNotFoundError) << true;
        QTest::newRow("unknown") << int(QSerialPort::UnknownError) << true;
        QTest::newRow("timeout is harmless") << int(QSerialPort::TimeoutError) << false;
        QTest::newRow("no modem lines is harmless")
            << int(QSerialPort::UnsupportedOperationError) << false;
    }

    // The panel reaches the line through a symbolic link stored as its "ComPort", as
    // /dev/serial/by-id names an adapter, polling every 200 ms.
    void lost()
    {
        QFETCH(int, error);
        QFETCH(bool, lost);
        QTemporaryDir dir;
        const QString link = dir.filePath(u"line"_s);
        PanelFixture f;
        QVERIFY(pointLink(link, f.peer.slavePath()));
        f.preset(Key::Poll, u"200"_s);
        frm_main &w = f.start(true, link);
        const termios t = f.peer.attributes(); // 4800,n,8,1 and no handshaking
        QCOMPARE(::cfgetospeed(&t), speed_t(B4800));
        QCOMPARE(t.c_cflag & (CSIZE | PARENB | CSTOPB | CRTSCTS), tcflag_t(CS8));
        QCOMPARE(t.c_iflag & (IXON | IXOFF), tcflag_t(0));
        QCOMPARE(f.peer.readExactly(3), kRequest);
        f.peer.write(frame("157048"));
        QTRY_COMPARE(f.colour(u"Connected"_s), u"green"_s);
        QSignalSpy lineLost(&w.MSComm1(), &CommPort::lineLost);

        PtyPeer fresh; // where the device comes back
        PtyPeer &back = error < 0 ? fresh : f.peer;
        if (error < 0)
            f.peer.closeMaster();
        else
            Q_EMIT w.MSComm1().serialPort()->errorOccurred(QSerialPort::SerialPortError(error));
        if (!lost) {
            f.peer.readAvailable();
            QCOMPARE(f.peer.readExactly(3), kRequest); // still polling
            QCOMPARE(lineLost.count(), 0);
            QCOMPARE(f.colour(u"Connected"_s), u"green"_s);
            return;
        }
        QTRY_COMPARE(f.colour(u"Connected"_s), u"red"_s);
        QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"Connection lost"_s);
        QVERIFY(pointLink(link, back.slavePath()));
        back.readAvailable();                    // requests from before the loss
        QCOMPARE(back.readExactly(3), kRequest); // reopened, and polling again
        back.write(frame("157048"));
        QTRY_COMPARE(f.colour(u"Connected"_s), u"green"_s);
        QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"The controller is answering"_s);
        QCOMPARE(lineLost.count(), 1);
        QVERIFY(f.messages.isEmpty());
    }
};

QTEST_MAIN(tst_Line)
#include "tst_line.moc"

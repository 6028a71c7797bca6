// The setup dialog as the operator uses it: F2, list choices, the scroll bar, the
// antenna options and the close box, checked in the store and on the line.

#include "frm_setup.h"
#include "indicator.h"
#include "panelfixture.h"

#include <QAbstractItemView>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QWindow>

#include <termios.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
QByteArray frame(const char *frequency)
{
    return QByteArray::fromHex(QByteArray("404100") + frequency + "0000" + "31" + "300d");
}

const QByteArray kStatusRequest("?A\r");
const QString kMissingDevice = u"/nonexistent/tarvik-port"_s;

// Picks an entry from the drop-down list the way a keyboard user does: open the list,
// move to the entry, press Enter.
void choose(QComboBox *combo, int index)
{
    combo->showPopup();
    QTRY_VERIFY(combo->view()->isVisible());
    combo->view()->setCurrentIndex(combo->model()->index(index, 0));
    QTest::keyClick(combo->view(), Qt::Key_Return);
}

// Replaces the combo's text with `text` and confirms it with Enter. The keys go to the
// combo, which has the focus and hands them to its text field.
void typeAndEnter(QComboBox *combo, const QString &text)
{
    QTest::keyClick(combo, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(combo, text);
    QTest::keyClick(combo, Qt::Key_Return);
}

} // namespace

class tst_Setup : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void openingStopsPollingClosesPortAndHidesPanel();
    void loadingShowsStoredValues_data();
    void loadingShowsStoredValues();
    void scrollBarSetsPollRate_data();
    void scrollBarSetsPollRate();
    void choosingADeviceOpensAndStoresIt();
    void baudChoiceThenClosingReopensSendsOneFrameAndPolls();
    void portThatCannotOpen_data();
    void portThatCannotOpen();
    void antennaOption_data();
    void antennaOption();
    void portThatCannotOpenAsDialogCloses();

private:
    frm_main &startActive(PanelFixture &f, bool throughStoredPort = false);
    frm_setup *pressF2(frm_main &w);
    frm_setup *openSetup(PanelFixture &f, bool throughStoredPort = false)
    {
        return pressF2(startActive(f, throughStoredPort));
    }
};

frm_main &tst_Setup::startActive(PanelFixture &f, bool throughStoredPort)
{
    frm_main &w = f.start(throughStoredPort);
    w.activateWindow();
    if (!QTest::qWaitForWindowActive(&w))
        qWarning("window not active");
    return w;
}

frm_setup *tst_Setup::pressF2(frm_main &w)
{
    QTest::keyClick(&w, Qt::Key_F2);
    return qobject_cast<frm_setup *>(w.setupDialog());
}

void tst_Setup::openingStopsPollingClosesPortAndHidesPanel()
{
    PanelFixture f;
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);
    frm_main &w = *f.window;
    QVERIFY(dlg->isVisible());
    QCOMPARE(dlg->windowTitle(), u"Setup"_s);
    QVERIFY(!w.isVisible());
    QVERIFY(!w.MSComm1().isOpen());
    QVERIFY(!w.Timer1()->isActive());
    // Its own window, owned by the panel but not tied to the hidden main window.
    QCOMPARE(dlg->parent(), &w);
    QVERIFY(dlg->isWindow() && dlg->windowHandle());
    QCOMPARE(dlg->windowHandle()->transientParent(), nullptr);

    QStringList ports, rates;
    for (int i = 0; i < 9; ++i)
        ports << dlg->Combo1()->itemText(i);
    for (int i = 0; i < dlg->Combo2()->count(); ++i)
        rates << dlg->Combo2()->itemText(i);
    QCOMPARE(ports.join(u','), u"Com 1,Com 2,Com 3,Com 4,Com 5,Com 6,Com 7,Com 8,Com 9"_s);
    QCOMPARE(rates.join(u','), u"1200,2400,4800,9600,19200,28800,38400,57600"_s);
    // Screen readers name the caption-less options by their labels.
    QCOMPARE(dlg->Option1()->accessibleName(), u"Vastor, Grandel"_s);
    QCOMPARE(dlg->Option2()->accessibleName(), u"Beam, Dipole, Petitel"_s);
}

void tst_Setup::loadingShowsStoredValues_data()
{
    QTest::addColumn<QString>("comPort");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("poll");
    QTest::addColumn<QString>("vastor");
    QTest::addColumn<QString>("combo1");
    QTest::addColumn<QString>("combo2");
    QTest::addColumn<QString>("text1");
    QTest::newRow("defaults") << u"1"_s << u"4800,n,8,1"_s << u"500"_s << u"False"_s << u"Com 1"_s
                              << u"4800"_s << u"500"_s;
    QTest::newRow("poll at 200, where the scroll bar starts, shown too")
        << u"3"_s << u"9600,n,8,1"_s << u"200"_s << u"True"_s << u"Com 3"_s << u"9600"_s
        << u"200"_s;
    QTest::newRow("device path shown as it stands")
        << u"/dev/ttyUSB7"_s << u"19200,n,8,1"_s << u"10000"_s << u"False"_s << u"/dev/ttyUSB7"_s
        << u"19200"_s << u"10000"_s;
    QTest::newRow("other line settings shown whole")
        << u"2"_s << u"9600,e,7,1"_s << u"1500"_s << u"True"_s << u"Com 2"_s << u"9600,e,7,1"_s
        << u"1500"_s;
}

void tst_Setup::loadingShowsStoredValues()
{
    QFETCH(QString, comPort);
    QFETCH(QString, settings);
    QFETCH(QString, poll);
    QFETCH(QString, vastor);
    PanelFixture f;
    f.preset(Key::ComPort, comPort);
    f.preset(Key::Settings, settings);
    f.preset(Key::Poll, poll);
    f.preset(Key::Vastor, vastor);
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);

    QTEST(dlg->Combo1()->currentText(), "combo1");
    QTEST(dlg->Combo2()->currentText(), "combo2");
    QCOMPARE(dlg->HScroll1()->value(), poll.toInt());
    QTEST(dlg->Text1()->text(), "text1");
    QCOMPARE(dlg->Option1()->isChecked(), vastor == u"True"_s);
    QCOMPARE(dlg->Option2()->isChecked(), vastor == u"False"_s);
    QCOMPARE(dlg->Text2()->text(), vastor);
    // The option's handler stored the settings again, unchanged.
    QVERIFY(f.storesOf(Key::Vastor) >= 1);
    QCOMPARE(f.store->value(Key::ComPort), comPort);
    QCOMPARE(f.store->value(Key::Settings), settings);
    QCOMPARE(f.store->value(Key::Poll), poll);
    QCOMPARE(f.store->value(Key::Vastor), vastor);
}

void tst_Setup::scrollBarSetsPollRate_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("expected");
    QTest::newRow("arrow right: one step up") << int(Qt::Key_Right) << 600;
    QTest::newRow("arrow left: one step down") << int(Qt::Key_Left) << 400;
    QTest::newRow("page up: one page up") << int(Qt::Key_PageUp) << 1500;
    QTest::newRow("home: lowest") << int(Qt::Key_Home) << 200;
    QTest::newRow("end: highest") << int(Qt::Key_End) << 10000;
}

void tst_Setup::scrollBarSetsPollRate()
{
    QFETCH(int, key);
    QFETCH(int, expected);
    PanelFixture f;
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);
    QTest::keyClick(dlg->HScroll1(), Qt::Key(key));
    QCOMPARE(dlg->Text1()->text(), QString::number(expected));
    QCOMPARE(f.window->pollrate(), expected);
    QCOMPARE(f.store->value(Key::Poll), QString::number(expected));
}

void tst_Setup::choosingADeviceOpensAndStoresIt()
{
    PanelFixture f;
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);
    CommPort &port = f.window->MSComm1();
    QVERIFY(port.hasRunOverride());
    const QString device = f.peer.slavePath();

    typeAndEnter(dlg->Combo1(), device);
    QVERIFY(port.isOpen());
    QVERIFY(!port.hasRunOverride());
    QCOMPARE(port.deviceName(), device);
    QCOMPARE(f.store->value(Key::ComPort), device);
    QCOMPARE(f.peer.baud(), speed_t(B4800));

    // The same port again: closed and opened again, stored, no message, no new entry.
    const int entries = dlg->Combo1()->count();
    const int stores = f.storesOf(Key::ComPort);
    typeAndEnter(dlg->Combo1(), device);
    QVERIFY(port.isOpen());
    QCOMPARE(dlg->Combo1()->count(), entries);
    QCOMPARE(f.storesOf(Key::ComPort), stores + 1);
    QVERIFY(f.messages->texts.isEmpty());
}

void tst_Setup::baudChoiceThenClosingReopensSendsOneFrameAndPolls()
{
    PanelFixture f;
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);
    frm_main &w = *f.window;
    typeAndEnter(dlg->Combo1(), f.peer.slavePath());
    QVERIFY(w.MSComm1().isOpen());
    f.peer.readAvailable(); // status requests from before F2

    choose(dlg->Combo2(), 3);
    QCOMPARE(dlg->Combo2()->currentText(), u"9600"_s);
    QVERIFY(!w.MSComm1().isOpen());
    QCOMPARE(f.store->value(Key::Settings), u"9600,n,8,1"_s);
    QTest::keyClick(dlg->HScroll1(), Qt::Key_Right);

    QPointer<frm_setup> guard(dlg);
    dlg->close();
    QTRY_VERIFY(guard.isNull());
    QVERIFY(w.isVisible());
    QVERIFY(w.MSComm1().isOpen());
    const termios t = f.peer.attributes();
    QCOMPARE(::cfgetospeed(&t), speed_t(B9600));
    QCOMPARE(t.c_cflag & CRTSCTS, tcflag_t(0));
    // One frame (no band chosen yet: the small antenna's lower limit), then polling at
    // the interval chosen: the next bytes are a status request, not another frame.
    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(w.Timer1()->interval(), 600);
    const QByteArray line = f.peer.readExactly(14, 10000);
    QCOMPARE(line.left(11), frame("14e790"));
    QCOMPARE(line.mid(11, 3), kStatusRequest);
    QVERIFY(f.messages->texts.isEmpty());
}

void tst_Setup::portThatCannotOpen_data()
{
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("device");
    QTest::addColumn<QString>("message");
    QTest::newRow("device path that does not exist")
        << kMissingDevice << kMissingDevice
        << kMissingDevice + u": not available. Check Com Port setting."_s;
    QTest::newRow("port number without a device")
        << u"Com 99"_s << u"/dev/ttyS98"_s << u"COM 99: not available. Check Com Port setting."_s;
    QTest::newRow("Com 0, below the first port")
        << u"Com 0"_s << QString() << u"COM 0: not available. Check Com Port setting."_s;
}

void tst_Setup::portThatCannotOpen()
{
    QFETCH(QString, typed);
    QFETCH(QString, device);
    if (QFile::exists(device))
        QSKIP("this computer has the device");
    PanelFixture f;
    frm_setup *dlg = openSetup(f, true);
    QVERIFY(dlg);
    const QString stored = f.store->value(Key::ComPort);

    typeAndEnter(dlg->Combo1(), typed);
    QFETCH(QString, message);
    QCOMPARE(f.messages->texts, QStringList{message});
    QCOMPARE(f.messages->titles, QStringList{u"Tarvik_Desk"_s});
    QVERIFY(!f.messages->informativeTexts.first().isEmpty()); // the system's reason
    QVERIFY(!f.window->MSComm1().isOpen());
    QCOMPARE(f.store->value(Key::ComPort), stored);
    QVERIFY(dlg->isVisible());

    // Another port can be chosen at once.
    typeAndEnter(dlg->Combo1(), f.peer.slavePath());
    QVERIFY(f.window->MSComm1().isOpen());
    QCOMPARE(f.messages->texts.size(), 1);
}

void tst_Setup::antennaOption_data()
{
    QTest::addColumn<QString>("stored");
    QTest::addColumn<int>("option");
    QTest::addColumn<QString>("chosen");
    QTest::addColumn<QByteArray>("frameOnClose");
    QTest::newRow("Vastor, Grandel: 6.950 MHz limit")
        << u"False"_s << 1 << u"True"_s << frame("0a9ad8");
    QTest::newRow("Beam, Dipole, Petitel: 13.700 MHz limit")
        << u"True"_s << 2 << u"False"_s << frame("14e790");
}

void tst_Setup::antennaOption()
{
    QFETCH(QString, stored);
    QFETCH(int, option);
    QFETCH(QString, chosen);
    PanelFixture f;
    f.preset(Key::Vastor, stored);
    frm_setup *dlg = openSetup(f);
    QVERIFY(dlg);
    QCOMPARE(dlg->Text2()->text(), stored);
    f.peer.readAvailable();

    QRadioButton *button = option == 1 ? dlg->Option1() : dlg->Option2();
    QTest::mouseClick(button, Qt::LeftButton);
    QVERIFY(button->isChecked());
    QCOMPARE(dlg->Option1()->isChecked() + dlg->Option2()->isChecked(), 1);
    QCOMPARE(dlg->Text2()->text(), chosen);
    QCOMPARE(f.store->value(Key::Vastor), chosen);

    dlg->close();
    QTEST(f.peer.readExactly(11, 10000).left(11), "frameOnClose");
}

void tst_Setup::portThatCannotOpenAsDialogCloses()
{
    PanelFixture f;
    frm_main &w = startActive(f);
    Indicator *connected = w.indicator(u"Connected"_s);
    f.reply(QByteArray::fromHex("404100157048000031300d"));
    QTRY_COMPARE(connected->colourName(), u"green"_s);
    frm_setup *dlg = pressF2(w);
    QVERIFY(dlg);
    f.peer.readAvailable(); // the status requests so far
    typeAndEnter(dlg->Combo1(), kMissingDevice);
    QCOMPARE(f.messages->texts.size(), 1);

    QPointer<frm_setup> guard(dlg);
    dlg->close();
    QTRY_VERIFY(guard.isNull());
    const QString message = kMissingDevice + u": not available. Check Com Port setting."_s;
    QCOMPARE(f.messages->texts, QStringList({message, message}));
    // The panel runs on with the port closed, polling, and shows it.
    QVERIFY(w.isVisible());
    QVERIFY(!w.MSComm1().isOpen());
    QCOMPARE(connected->colourName(), u"red"_s);
    QVERIFY(connected->toolTip().contains(u"closed"_s));
    QVERIFY(w.Timer1()->isActive());
    // Closing stores the port that was chosen, like every other setting.
    QCOMPARE(f.store->value(Key::ComPort), kMissingDevice);
    // Commands still run; their frames go nowhere.
    w.button(u"cmd20"_s)->click();
    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(f.peer.readAvailable(), QByteArray());
}

QTEST_MAIN(tst_Setup)
#include "tst_setup.moc"

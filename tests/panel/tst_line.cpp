// The line: a port that is not there, and a line that goes away under the panel (the
// far end closes, as a pulled USB adapter looks to a tty, or QSerialPort reports an
// error meaning the device is gone). The panel shows it, stays quiet, and picks the
// line up again once it is back.

#include "panelfixture.h"

#include <QSignalSpy>

#include <unistd.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
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
    void missingPortIsReportedAndPanelRunsOn();
    void lost_data();
    void lost();
};

void tst_Line::missingPortIsReportedAndPanelRunsOn()
{
    PanelFixture f;
    frm_main &w = f.start(true, u"/dev/tarvik-no-such-port"_s);
    QCOMPARE(f.messages,
             QStringList{u"/dev/tarvik-no-such-port: not available. Check Com Port setting."_s});
    QVERIFY(w.Timer1()->isActive());
    QCOMPARE(f.colour(u"Connected"_s), u"red"_s);
    QVERIFY(w.indicator(u"Connected"_s)->toolTip().contains(u"closed"_s));
    f.press(u"cmd20"_s); // a command on the closed port finishes, and polling goes on
    QVERIFY(w.Timer1()->isActive());
    w.close();
    QCOMPARE(f.store->value(Key::ComPort), u"/dev/tarvik-no-such-port"_s);
}

void tst_Line::lost_data()
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
void tst_Line::lost()
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
        QCOMPARE(f.peer.collect(300).right(3), kRequest); // still polling
        QCOMPARE(lineLost.count(), 0);
        QCOMPARE(f.colour(u"Connected"_s), u"green"_s);
        return;
    }
    QTRY_COMPARE(f.colour(u"Connected"_s), u"red"_s);
    QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"Connection lost"_s);
    QVERIFY(pointLink(link, back.slavePath()));
    back.readAvailable(); // requests from before the loss
    QByteArray wire;
    QTRY_VERIFY((wire += back.readAvailable()).contains(kRequest));
    back.write(frame("157048"));
    QTRY_COMPARE(f.colour(u"Connected"_s), u"green"_s);
    QCOMPARE(w.indicator(u"Connected"_s)->toolTip(), u"The controller is answering"_s);
    QCOMPARE(lineLost.count(), 1);
    QVERIFY(f.messages.isEmpty());
}

QTEST_MAIN(tst_Line)
#include "tst_line.moc"

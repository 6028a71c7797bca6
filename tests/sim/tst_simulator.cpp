// The simulated controller behind `tarvik-desk --simulate` and tarvik-sim, driven the
// way the panel drives the real one: through a QSerialPort on its pseudo-terminal.

#include "controllersimulator.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using tarvik::ControllerSimulator;
using Mode = ControllerSimulator::Mode;

namespace {
const QByteArray kRequest = QByteArray::fromHex("3f410d");

int byteAt(const QByteArray &frame, int i)
{
    return static_cast<std::uint8_t>(frame.at(i));
}

int frequencyOf(const QByteArray &frame)
{
    return (byteAt(frame, 3) << 16) | (byteAt(frame, 4) << 8) | byteAt(frame, 5);
}
} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT
    ControllerSimulator *m_sim = nullptr;
    QSerialPort *m_port = nullptr;

    void send(const QByteArray &bytes)
    {
        m_port->write(bytes);
        m_port->flush();
    }

    // One status request and its whole answer, or whatever came instead.
    QByteArray poll()
    {
        m_port->clear(QSerialPort::Input);
        send(kRequest);
        (void)QTest::qWaitFor([this] { return m_port->bytesAvailable() >= 11; }, 5000);
        return m_port->readAll();
    }

    // Polls until a reply satisfies `wanted`; the replies seen on the way go to `seen`.
    QByteArray pollUntil(const std::function<bool(const QByteArray &)> &wanted,
                         QList<QByteArray> *seen = nullptr)
    {
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired();) {
            const QByteArray reply = poll();
            if (seen)
                seen->append(reply);
            if (reply.size() == 11 && wanted(reply))
                return reply;
        }
        return {};
    }

private Q_SLOTS:
    void init()
    {
        m_sim = new ControllerSimulator(this);
        QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
        m_port = new QSerialPort(m_sim->devicePath(), this);
        QVERIFY(m_port->open(QIODevice::ReadWrite) && m_port->setBaudRate(4800));
    }

    void cleanup()
    {
        delete m_port;
        delete m_sim;
    }

    // A command moves the elements to the frequency it names, strictly between the
    // start and it on the way, never turning back; byte 7 reports the pattern and
    // retraction as the controller's twelve codes do.
    void command_data()
    {
        QTest::addColumn<QByteArray>("first"); // a set-frequency frame, run to the end
        QTest::addColumn<QByteArray>("then");  // a fixed-code frame, or nothing
        QTest::addColumn<int>("during");       // byte 7 while moving
        QTest::addColumn<int>("after");        // byte 7 at rest
        const auto row = [](const char *tag, const char *first, const char *then, int during,
                            int after) {
            QTest::newRow(tag) << QByteArray::fromHex(first) << QByteArray::fromHex(then) << during
                               << after;
        };
        row("28.200 MHz reversed", "4041002b07a000403130 0d", "", 0x40, 0x40);
        row("7.000 MHz bidirectional", "4041000aae6000803130 0d", "", 0x80, 0x80);
        row("home, normal", "404100157048000031300d", "404100000000005330 0d", 0x10, 0x15);
        row("home, reversed", "404100157048004031300d", "404100000000405330 0d", 0x50, 0x55);
        row("home, bidirectional", "404100157048008031300d", "404100000000805330 0d", 0x90, 0x95);
        row("calibrate, normal", "404100157048000031300d", "404100000000005630 0d", 0x25, 0x00);
        row("calibrate, reversed", "404100157048004031300d", "404100000000405630 0d", 0x65, 0x40);
        row("calibrate, bidirectional", "404100157048008031300d", "404100000000805630 0d", 0xa5,
            0x80);
    }
    void command()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, then);
        QFETCH(int, during);
        QFETCH(int, after);
        const auto moving = [](const QByteArray &f) {
            return byteAt(f, 6) != 0;
        };
        const int start = frequencyOf(poll()), target = frequencyOf(first);
        send(first);
        QList<QByteArray> seen;
        QVERIFY(!pollUntil(moving, &seen).isEmpty());
        QByteArray settled = pollUntil(std::not_fn(moving), &seen);
        QCOMPARE(frequencyOf(settled), target);
        for (const QByteArray &f : std::as_const(seen)) {
            if (f.size() != 11 || !moving(f) || start == target)
                continue;
            QVERIFY(std::min(start, target) < frequencyOf(f));
            QVERIFY(frequencyOf(f) < std::max(start, target));
        }
        if (!then.isEmpty()) {
            send(then);
            QVERIFY(!pollUntil([&](const QByteArray &f) {
                         return moving(f) && byteAt(f, 7) == during;
                     }).isEmpty());
            settled = pollUntil(std::not_fn(moving));
        }
        QCOMPARE(byteAt(settled, 7), after);
        QCOMPARE(frequencyOf(settled), target);
    }

    void xcvrFlag()
    {
        QCOMPARE(byteAt(poll(), 8), 0x00);
        send(QByteArray::fromHex("404100000000005230 0d")); // enable
        QTRY_COMPARE(byteAt(poll(), 8), 0x01);
        send(QByteArray::fromHex("404100000000005530 0d")); // disable
        QTRY_COMPARE(byteAt(poll(), 8), 0x00);
    }

    void misbehaving_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<QByteArray>("reply"); // what a request gets; X: any byte
        QTest::newRow("truncated") << Mode::Truncated << QByteArray("404100XXXXXX");
        QTest::newRow("wrong header") << Mode::WrongHeader << QByteArray("406100XXXXXXXXXXXXXX0d");
        QTest::newRow("silent") << Mode::Silent << QByteArray();
    }
    void misbehaving()
    {
        QFETCH(Mode, mode);
        QFETCH(QByteArray, reply);
        m_sim->setMode(mode);
        QSignalSpy received(m_sim, &ControllerSimulator::frameReceived);
        const QByteArray got = poll().toHex();
        QCOMPARE(received.count(), 1);
        QCOMPARE(got.size(), reply.size());
        for (int i = 0; i < got.size(); ++i)
            QVERIFY(reply.at(i) == 'X' || reply.at(i) == got.at(i));
    }

    void garbageNeverHoldsAHeader()
    {
        m_sim->setMode(Mode::Garbage);
        QTRY_VERIFY(m_port->bytesAvailable() >= 600);
        QVERIFY(!m_port->readAll().contains(QByteArray::fromHex("404100")));
        m_sim->setMode(Mode::Normal);
        QCOMPARE(poll().left(3), QByteArray::fromHex("404100"));
    }

    void malformedFrame_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<int>("requests"); // answered after the junk
        const auto row = [](const char *tag, const char *sent, int requests = 0) {
            QTest::newRow(tag) << QByteArray::fromHex(sent) << requests;
        };
        row("request ending in line feed", "3F410A");
        row("bad trailer", "40410015704800003131 0D");
        row("unknown command code", "40410015704800007A300D");
        row("unknown direction", "40410015704800203130 0D");
        row("short command then request", "4041001570483F410D", 1);
        row("noise before request", "01023F410D", 1);
    }
    void malformedFrame()
    {
        QFETCH(QByteArray, sent);
        QFETCH(int, requests);
        const QByteArray before = poll();
        send(sent);
        QTRY_COMPARE(m_sim->malformedFrames(), 1);
        QTRY_COMPARE(m_sim->requestsAnswered(), 1 + requests);
        QCOMPARE(m_sim->commandsAccepted(), 0);
        QCOMPARE(poll(), before);
    }
};

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"

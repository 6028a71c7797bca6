// The simulated controller, driven the way the panel drives the real one: through a
// QSerialPort opened on the pseudo-terminal at 4800,8,N,1.

#include "controllersimulator.h"
#include "hexcodec.h"
#include "protocol.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QSignalSpy>
#include <QTest>

#include <functional>

using tarvik::ControllerSimulator;
using Mode = ControllerSimulator::Mode;

namespace {

constexpr int kWaitMs = 10000;
const QByteArray kRequest = QByteArray::fromHex("3F410D");

std::uint8_t byteAt(const QByteArray &frame, int i)
{
    return static_cast<std::uint8_t>(frame.at(i));
}

std::int32_t frequencyOf(const QByteArray &frame)
{
    return (byteAt(frame, 3) << 16) | (byteAt(frame, 4) << 8) | byteAt(frame, 5);
}

QByteArray command(const char *direction, const char *code)
{
    return QByteArray::fromHex(QByteArray("40410000000000") + direction + code + "300D");
}

} // namespace

class TestSimulator : public QObject
{
    Q_OBJECT

private:
    ControllerSimulator *m_sim = nullptr;
    QSerialPort *m_port = nullptr;

    bool openPort(qint32 baud = QSerialPort::Baud4800)
    {
        m_port->setPortName(m_sim->devicePath());
        return m_port->open(QIODevice::ReadWrite) && m_port->setBaudRate(baud) &&
               m_port->setDataBits(QSerialPort::Data8) &&
               m_port->setParity(QSerialPort::NoParity) &&
               m_port->setStopBits(QSerialPort::OneStop) &&
               m_port->setFlowControl(QSerialPort::NoFlowControl);
    }

    void send(const QByteArray &bytes)
    {
        m_port->write(bytes);
        m_port->flush();
    }

    // One status request and whatever answer comes back (empty if none does).
    QByteArray poll()
    {
        m_port->clear(QSerialPort::Input);
        const int before = m_sim->requestsAnswered();
        send(kRequest);
        [[maybe_unused]] const bool answered = QTest::qWaitFor(
            [&] {
                return m_sim->requestsAnswered() > before &&
                       m_port->bytesAvailable() >= tarvik::proto::kStatusFrameSize;
            },
            kWaitMs);
        return m_port->readAll();
    }

    // Polls until a whole frame satisfies `wanted`; every frame seen goes to `seen`.
    QByteArray pollUntil(const std::function<bool(const QByteArray &)> &wanted,
                         QList<QByteArray> *seen = nullptr)
    {
        const QDeadlineTimer deadline(kWaitMs);
        while (!deadline.hasExpired()) {
            const QByteArray frame = poll();
            if (frame.size() != tarvik::proto::kStatusFrameSize)
                continue;
            if (seen)
                seen->append(frame);
            if (wanted(frame))
                return frame;
        }
        return {};
    }

    static bool moving(const QByteArray &f) { return byteAt(f, 6) != 0; }
    static bool idle(const QByteArray &f) { return byteAt(f, 6) == 0; }

private Q_SLOTS:
    void init()
    {
        m_sim = new ControllerSimulator(this);
        QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
        m_port = new QSerialPort(this);
        QVERIFY2(openPort(), qPrintable(m_port->errorString()));
    }

    void cleanup()
    {
        delete m_port;
        delete m_sim;
    }

    void modeFromName_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("known");
        QTest::addColumn<Mode>("mode");
        QTest::newRow("normal") << QStringLiteral("normal") << true << Mode::Normal;
        QTest::newRow("silent") << QStringLiteral("silent") << true << Mode::Silent;
        QTest::newRow("garbage") << QStringLiteral("garbage") << true << Mode::Garbage;
        QTest::newRow("truncated") << QStringLiteral("truncated") << true << Mode::Truncated;
        QTest::newRow("wrongheader") << QStringLiteral("wrongheader") << true << Mode::WrongHeader;
        QTest::newRow("upper case") << QStringLiteral("Silent") << true << Mode::Silent;
        QTest::newRow("unknown") << QStringLiteral("chatty") << false << Mode::Normal;
    }
    void modeFromName()
    {
        QFETCH(QString, name);
        QFETCH(bool, known);
        QFETCH(Mode, mode);
        const auto got = ControllerSimulator::modeFromName(name);
        QCOMPARE(got.has_value(), known);
        if (known)
            QCOMPARE(*got, mode);
    }

    void statusReply_data()
    {
        QTest::addColumn<qint32>("baud");
        QTest::newRow("1200 baud") << qint32(1200);
        QTest::newRow("4800 baud") << qint32(4800);
        QTest::newRow("38400 baud") << qint32(38400);
    }
    void statusReply()
    {
        QFETCH(qint32, baud);
        QVERIFY(m_port->setBaudRate(baud));
        QCOMPARE(m_sim->lineBaud(), baud);
        QSignalSpy received(m_sim, &ControllerSimulator::frameReceived);

        const QByteArray reply = poll();
        QCOMPARE(reply.size(), tarvik::proto::kStatusFrameSize);
        QCOMPARE(reply.left(3), QByteArray::fromHex("404100"));
        QCOMPARE(frequencyOf(reply), m_sim->frequency());
        QCOMPARE(byteAt(reply, 6), 0x00);
        QVERIFY(tarvik::proto::findStatusCode(tarvik::byteToHex(byteAt(reply, 7)).toStdString()));
        QCOMPARE(received.count(), 1);
        QCOMPARE(received.at(0).at(0).toByteArray(), kRequest);
        QCOMPARE(received.at(0).at(1).toBool(), true);
    }

    void setFrequency_data()
    {
        QTest::addColumn<QByteArray>("frame");
        QTest::addColumn<QByteArray>("frequency");
        QTest::addColumn<int>("code");
        QTest::newRow("28.200 MHz reversed") << QByteArray::fromHex("4041002B07A000403130 0D")
                                             << QByteArray::fromHex("2B07A0") << 0x40;
        QTest::newRow("7.000 MHz bidirectional") << QByteArray::fromHex("4041000AAE6000803130 0D")
                                                 << QByteArray::fromHex("0AAE60") << 0x80;
        QTest::newRow("21.000 MHz normal") << QByteArray::fromHex("404100200B2000003130 0D")
                                           << QByteArray::fromHex("200B20") << 0x00;
    }
    void setFrequency()
    {
        QFETCH(QByteArray, frame);
        QFETCH(QByteArray, frequency);
        QFETCH(int, code);
        const std::int32_t start = frequencyOf(poll());
        const std::int32_t target = frequencyOf(QByteArray(3, 0) + frequency);

        send(frame);
        QList<QByteArray> seen;
        QVERIFY(!pollUntil(moving, &seen).isEmpty());
        const QByteArray settled = pollUntil(idle, &seen);
        QVERIFY(!settled.isEmpty());
        QCOMPARE(settled.mid(3, 3), frequency);
        QCOMPARE(byteAt(settled, 7), code);
        QCOMPARE(m_sim->commandsAccepted(), 1);

        // On the way the frequency lies strictly between start and target, and
        // never turns back.
        std::int32_t last = start;
        for (const QByteArray &f : std::as_const(seen)) {
            if (!moving(f))
                continue;
            const std::int32_t now = frequencyOf(f);
            QVERIFY2(std::min(start, target) < now && now < std::max(start, target),
                     qPrintable(tarvik::bytesToHex(f)));
            QVERIFY(target > start ? now >= last : now <= last);
            last = now;
        }
    }

    void retraction_data()
    {
        QTest::addColumn<QByteArray>("direction");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<int>("during");
        QTest::addColumn<int>("after");
        QTest::newRow("home, normal") << QByteArray("00") << QByteArray("53") << 0x10 << 0x15;
        QTest::newRow("home, reversed") << QByteArray("40") << QByteArray("53") << 0x50 << 0x55;
        QTest::newRow("home, bidirectional")
            << QByteArray("80") << QByteArray("53") << 0x90 << 0x95;
        QTest::newRow("calibrate, normal") << QByteArray("00") << QByteArray("56") << 0x25 << 0x00;
        QTest::newRow("calibrate, reversed")
            << QByteArray("40") << QByteArray("56") << 0x65 << 0x40;
        QTest::newRow("calibrate, bidirectional")
            << QByteArray("80") << QByteArray("56") << 0xA5 << 0x80;
    }
    void retraction()
    {
        QFETCH(QByteArray, direction);
        QFETCH(QByteArray, code);
        QFETCH(int, during);
        QFETCH(int, after);
        send(QByteArray::fromHex("404100157048 00" + direction + "31300D"));
        QVERIFY(!pollUntil(moving).isEmpty());
        QVERIFY(!pollUntil(idle).isEmpty());

        send(command(direction.constData(), code.constData()));
        QVERIFY(!pollUntil([&](const QByteArray &f) {
                     return moving(f) && byteAt(f, 7) == during;
                 }).isEmpty());
        const QByteArray settled = pollUntil(idle);
        QVERIFY(!settled.isEmpty());
        QCOMPARE(byteAt(settled, 7), after);
        QCOMPARE(settled.mid(3, 3), QByteArray::fromHex("157048"));
        QVERIFY(!m_sim->isRetracting());
    }

    void xcvrFlag_data()
    {
        QTest::addColumn<QByteArrayList>("codes");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("enable") << QByteArrayList{"52"} << true;
        QTest::newRow("enable then disable") << QByteArrayList{"52", "55"} << false;
        QTest::newRow("disable then enable") << QByteArrayList{"55", "52"} << true;
    }
    void xcvrFlag()
    {
        QFETCH(QByteArrayList, codes);
        QFETCH(bool, enabled);
        QCOMPARE(byteAt(poll(), 8), 0x00);
        for (const QByteArray &code : std::as_const(codes))
            send(command("00", code.constData()));
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->commandsAccepted(), int(codes.size()), kWaitMs);
        QCOMPARE(m_sim->isXcvrEnabled(), enabled);
        QCOMPARE(byteAt(poll(), 8), enabled ? 0x01 : 0x00);
    }

    void badReplies_data()
    {
        QTest::addColumn<Mode>("mode");
        QTest::addColumn<int>("size");
        QTest::addColumn<QByteArray>("header");
        QTest::newRow("truncated") << Mode::Truncated << 6 << QByteArray::fromHex("404100");
        QTest::newRow("wrong header") << Mode::WrongHeader << 11 << QByteArray::fromHex("406100");
    }
    void badReplies()
    {
        QFETCH(Mode, mode);
        QFETCH(int, size);
        QFETCH(QByteArray, header);
        const QByteArray good = poll();
        m_sim->setMode(mode);
        m_port->clear(QSerialPort::Input);
        send(kRequest);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->requestsAnswered(), 2, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(m_port->bytesAvailable() >= size, kWaitMs);
        QTest::qWait(200); // anything more that was sent would be here by now
        const QByteArray bad = m_port->readAll();
        QCOMPARE(bad.size(), size);
        QCOMPARE(bad.left(3), header);
        QCOMPARE(bad.mid(3), good.mid(3, size - 3));
    }

    void silentMode()
    {
        m_sim->setMode(Mode::Silent);
        QSignalSpy received(m_sim, &ControllerSimulator::frameReceived);
        send(kRequest);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1, kWaitMs);
        QTest::qWait(500);
        QCOMPARE(m_port->bytesAvailable(), 0);
        QCOMPARE(m_sim->requestsAnswered(), 0);
    }

    void garbageMode()
    {
        m_sim->setMode(Mode::Garbage);
        QTRY_VERIFY_WITH_TIMEOUT(m_port->bytesAvailable() >= 300, kWaitMs);
        send(kRequest);
        QTRY_VERIFY_WITH_TIMEOUT(m_port->bytesAvailable() >= 600, kWaitMs);
        QVERIFY(!m_port->readAll().contains(QByteArray::fromHex("404100")));
        QCOMPARE(m_sim->requestsAnswered(), 0);

        m_sim->setMode(Mode::Normal);
        const QByteArray reply = poll();
        QCOMPARE(reply.size(), tarvik::proto::kStatusFrameSize);
        QCOMPARE(reply.left(3), QByteArray::fromHex("404100"));
    }

    void malformedFrame_data()
    {
        QTest::addColumn<QByteArray>("sent");
        QTest::addColumn<QByteArray>("junk");
        QTest::addColumn<int>("requests");
        const auto row = [](const char *name, const char *sent, const char *junk = nullptr,
                            int requests = 0) {
            QTest::newRow(name) << QByteArray::fromHex(sent)
                                << QByteArray::fromHex(junk ? junk : sent) << requests;
        };
        row("request ending in line feed", "3F410A");
        row("bad trailer", "40410015704800003131 0D");
        row("unknown command code", "40410015704800007A300D");
        row("unknown direction", "40410015704800203130 0D");
        row("short command", "4041001570480D");
        row("text line", "68656C6C6F0D");
        row("short command then request", "4041001570483F410D", "404100157048", 1);
        row("noise before request", "01023F410D", "0102", 1);
    }
    void malformedFrame()
    {
        QFETCH(QByteArray, sent);
        QFETCH(QByteArray, junk);
        QFETCH(int, requests);
        QSignalSpy received(m_sim, &ControllerSimulator::frameReceived);
        send(sent);
        QTRY_COMPARE_WITH_TIMEOUT(received.count(), 1 + requests, kWaitMs);
        QCOMPARE(received.at(0).at(0).toByteArray(), junk);
        QCOMPARE(received.at(0).at(1).toBool(), false);
        QCOMPARE(m_sim->malformedFrames(), 1);
        QCOMPARE(m_sim->commandsAccepted(), 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_sim->requestsAnswered(), requests, kWaitMs);

        const QByteArray reply = poll();
        QCOMPARE(reply.left(6), QByteArray::fromHex("404100157048"));
        QCOMPARE(byteAt(reply, 6), 0x00);
    }

    void reopenPort()
    {
        QCOMPARE(poll().size(), tarvik::proto::kStatusFrameSize);
        for (int round = 0; round < 3; ++round) {
            send(kRequest); // its answer arrives while nobody listens
            m_port->close();
            QTRY_COMPARE_WITH_TIMEOUT(m_sim->requestsAnswered(), 2 + 2 * round, kWaitMs);
            QVERIFY2(openPort(), qPrintable(m_port->errorString()));
            const QByteArray reply = poll();
            QCOMPARE(reply.size(), tarvik::proto::kStatusFrameSize);
            QCOMPARE(reply.left(3), QByteArray::fromHex("404100"));
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulator)
#include "tst_simulator.moc"

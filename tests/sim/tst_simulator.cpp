// The simulated controller behind `tarvik-desk --simulate` and tarvik-sim, driven the
// way the panel drives the real one: through a QSerialPort on its pseudo-terminal.

#include "controllersimulator.h"

#include <QDeadlineTimer>
#include <QSerialPort>
#include <QTest>

using tarvik::ControllerSimulator;

namespace {
int frequencyOf(const QByteArray &reply)
{
    return reply.size() < 6
               ? -1
               : int(QByteArray::fromRawData(reply.data() + 3, 3).toHex().toUInt(nullptr, 16));
}

bool moving(const QByteArray &reply)
{
    return reply.size() == 11 && reply.at(6) != 0;
}
} // namespace

class tst_Simulator : public QObject
{
    Q_OBJECT
    ControllerSimulator *m_sim = nullptr;
    QSerialPort *m_port = nullptr;

    void send(const QByteArray &hex)
    {
        m_port->write(QByteArray::fromHex(hex));
        m_port->flush();
    }

    // One status request and its whole answer, or whatever came instead.
    QByteArray poll()
    {
        m_port->clear(QSerialPort::Input);
        send("3f410d");
        (void)QTest::qWaitFor([this] { return m_port->bytesAvailable() >= 11; }, 3000);
        return m_port->readAll();
    }

    // Polls until a whole reply is (not) moving; every reply seen goes to `seen`.
    QByteArray pollUntil(bool wantMoving, QList<QByteArray> &seen)
    {
        for (QDeadlineTimer deadline(20000); !deadline.hasExpired();) {
            seen << poll();
            if (seen.last().size() == 11 && moving(seen.last()) == wantMoving)
                return seen.last();
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

    // A set-frequency frame moves the elements there, strictly between the start and
    // the frequency named on the way; then a fixed-code frame, if any, runs. Byte 7
    // reports pattern and retraction with the controller's codes, byte 8 the
    // transceiver interface.
    void command_data()
    {
        QTest::addColumn<QByteArray>("tune");
        QTest::addColumn<QByteArray>("code");
        QTest::addColumn<QByteArray>("moving"); // bytes 7 and 8 on the way of the code
        QTest::addColumn<QByteArray>("after");  // bytes 7 and 8 at rest
        const auto row = [](const char *tag, const char *tune, const char *code, const char *during,
                            const char *after) {
            QTest::newRow(tag) << QByteArray(tune) << QByteArray(code) << QByteArray(during)
                               << QByteArray(after);
        };
        row("28.200 MHz reversed", "2b07a00040", "", "", "4000");
        row("7.000 MHz bidirectional", "0aae600080", "", "", "8000");
        row("home, normal", "1b9e500000", "53", "1000", "1500");
        row("home, reversed", "1b9e500040", "53", "5000", "5500");
        row("home, bidirectional", "1b9e500080", "53", "9000", "9500");
        row("calibrate, normal", "1b9e500000", "56", "2500", "0000");
        row("calibrate, reversed", "1b9e500040", "56", "6500", "4000");
        row("calibrate, bidirectional", "1b9e500080", "56", "a500", "8000");
        row("transceiver on", "1b9e500000", "52", "", "0001");
    }
    void command()
    {
        QFETCH(QByteArray, tune);
        QFETCH(QByteArray, code);
        const int start = frequencyOf(poll()), target = tune.left(6).toInt(nullptr, 16);
        send("404100" + tune + "31300d");
        QList<QByteArray> seen;
        QVERIFY(!pollUntil(true, seen).isEmpty());
        QByteArray settled = pollUntil(false, seen);
        QCOMPARE(frequencyOf(settled), target);
        for (const QByteArray &r : std::as_const(seen))
            QVERIFY(!moving(r) || (std::min(start, target) < frequencyOf(r) &&
                                   frequencyOf(r) < std::max(start, target)));
        for (const QByteArray &c : code.split(' '))
            if (!c.isEmpty())
                send("404100000000" + tune.right(4) + c + "300d");
        QFETCH(QByteArray, moving);
        if (!moving.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(poll().mid(7, 2).toHex(), moving, 10000);
        QFETCH(QByteArray, after);
        QTRY_COMPARE_WITH_TIMEOUT(poll().mid(6, 3).toHex(), "00" + after, 20000);
        QCOMPARE(frequencyOf(poll()), target);
    }
};

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"

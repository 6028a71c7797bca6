// The simulated controller behind `tarvik-desk --simulate` and tarvik-sim, driven the
// way the panel drives the real one: through a QSerialPort on its pseudo-terminal.

#include "controllersimulator.h"

#include <QSerialPort>
#include <QTest>

using tarvik::ControllerSimulator;

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

    // A set-frequency frame moves the elements to the frequency it names; then a
    // fixed-code frame, if any, runs. Byte 7 reports pattern and retraction with the
    // controller's codes, byte 8 the transceiver interface.
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
        QFETCH(QByteArray, moving);
        QFETCH(QByteArray, after);
        send("404100" + tune + "31300d");
        QTRY_COMPARE_WITH_TIMEOUT(poll().mid(6, 1).toHex(), "01", 10000); // on its way
        QTRY_COMPARE_WITH_TIMEOUT(poll().mid(3, 4).toHex(), tune.left(6) + "00", 20000);
        if (!code.isEmpty())
            send("404100000000" + tune.right(4) + code + "300d");
        if (!moving.isEmpty())
            QTRY_COMPARE_WITH_TIMEOUT(poll().mid(7, 2).toHex(), moving, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(poll().mid(3, 6).toHex(), tune.left(6) + "00" + after, 20000);
    }
};

QTEST_GUILESS_MAIN(tst_Simulator)
#include "tst_simulator.moc"

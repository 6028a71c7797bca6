#pragma once

#include "serialtrace.h"

#include <QObject>
#include <QPointer>
#include <QSerialPort>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// CommPort: the station's one serial port. Everything the panel asks of the line goes
// through here, strictly by polling: writes are pushed to the driver at once, reads
// take whatever QSerialPort has already gathered, one byte at a time.
//
// The "ComPort" setting is either a number n ("Com n": /dev/ttyS(n-1) here, COMn on
// Windows; numbers below 1 name no device and never open) or a device path used as it
// stands. A run-only override (--port, --simulate) replaces the device for this run
// without touching the stored value.
//
// A line that goes away under an open port (an adapter pulled out, the far end of a
// pseudo-terminal closed) shows up as an error signal from QSerialPort or as a port
// that reads ready yet yields nothing. Either way the port is closed on the next turn
// of the event loop, which also stops QSerialPort's error storm, and lineLost() tells
// the owner; reopening is the owner's call.
//
// With a trace set, every write and read and every opening, closing and loss of the
// line is recorded in it as it happens.
class CommPort : public QObject
{
    Q_OBJECT
public:
    explicit CommPort(QObject *parent);

    // The stored port: "1".."9" or a device path.
    void setCommPort(const QString &value);
    QString commPort() const { return m_commPort; }

    void setRunOverride(const QString &device);
    void clearRunOverride();
    bool hasRunOverride() const { return !m_override.isEmpty(); }

    // The device the next open() uses, and how the operator knows it ("COM 3", a path).
    QString deviceName() const;
    QString displayName() const;

    // Line settings text such as "4800,n,8,1". Text that cannot be applied is refused.
    bool setSettings(const QString &text);
    QString settings() const { return m_settings; }
    static bool isValidSettings(const QString &text);

    bool open();
    // Opens the port and puts the line in the panel's fixed state: no handshaking, RTS
    // and DTR off, both buffers empty. Start-up, the setup dialog and reconnecting all
    // come through here.
    bool openLine();
    void close();
    bool isOpen() const;
    QSerialPort::SerialPortError openError() const { return m_openError; }
    QString openErrorString() const { return m_openErrorString; }
    // What the operator is told when open() fails: "COM 3: not available. Check Com
    // Port setting.", and beneath it the system's reason with a hint where one helps.
    QString notAvailableText() const;
    QString failureAdvice() const;

    void setHandshakingNone();
    void setRtsOff();
    void setDtrOff();

    // Queues bytes and pushes them to the driver. False when the port is not open or
    // the write fails.
    bool write(const QByteArray &bytes);
    std::optional<std::uint8_t> readByte();
    void discardReceive();
    void discardTransmit();

    // "" for a number below 1.
    static QString deviceForNumber(int number);

    QSerialPort *serialPort() { return m_port; }

    // Errors that leave the line usable; everything else from an open port means the
    // device is gone.
    static bool isHarmless(QSerialPort::SerialPortError error);

    // Where the line's traffic and events are recorded; nullptr for nowhere. Not owned.
    // A trace set on an open port begins with the port's OPEN line.
    void setTrace(SerialTrace *trace);
    SerialTrace *trace() const { return m_trace; }

Q_SIGNALS:
    // The open port lost its device and has been closed.
    void lineLost();

private:
    void ignoreUnsupported();
    void onPortError(QSerialPort::SerialPortError error);
    bool hasHungUp() const;
    void scheduleLineLoss();
    void dropLine();

    QSerialPort *m_port;
    QString m_commPort = QStringLiteral("1");
    QString m_override;
    QString m_settings = QStringLiteral("4800,n,8,1");
    QSerialPort::SerialPortError m_openError = QSerialPort::NoError;
    QString m_openErrorString;
    bool m_lossPending = false;
    QPointer<SerialTrace> m_trace;
};

// "1" or a whole number: the port number; anything else that names a device: -1.
int portNumberOf(const QString &commPort);

} // namespace tarvik

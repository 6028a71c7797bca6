#include "commport.h"

#include <QFileInfo>
#include <QStringList>

#include <utility>

#ifdef Q_OS_UNIX
#include <poll.h>
#include <sys/ioctl.h>
#endif

namespace tarvik {

namespace {
// Keeps one runaway reader from growing without bound on a babbling line.
constexpr qint64 kReadBufferSize = 4096;

struct ParsedSettings {
    qint32 baud = 4800;
    QSerialPort::Parity parity = QSerialPort::NoParity;
    QSerialPort::DataBits dataBits = QSerialPort::Data8;
    QSerialPort::StopBits stopBits = QSerialPort::OneStop;
};

// How the settings text spells parity and stop bits.
template <typename T> struct Spelling {
    const char16_t *text;
    T value;
};
constexpr Spelling<QSerialPort::Parity> kParities[] = {
    {u"n", QSerialPort::NoParity},    {u"e", QSerialPort::EvenParity},
    {u"o", QSerialPort::OddParity},   {u"m", QSerialPort::MarkParity},
    {u"s", QSerialPort::SpaceParity},
};
constexpr Spelling<QSerialPort::StopBits> kStopBits[] = {
    {u"1", QSerialPort::OneStop},
    {u"1.5", QSerialPort::OneAndHalfStop},
    {u"2", QSerialPort::TwoStop},
};

template <typename T, std::size_t N>
std::optional<T> lookUp(const Spelling<T> (&table)[N], QStringView text)
{
    for (const Spelling<T> &s : table)
        if (text == QStringView(s.text))
            return s.value;
    return std::nullopt;
}

std::optional<ParsedSettings> parseSettings(const QString &text)
{
    const QStringList parts = text.split(QLatin1Char(','));
    if (parts.size() != 4)
        return std::nullopt;
    ParsedSettings s;
    bool ok = false;
    s.baud = parts[0].trimmed().toInt(&ok);
    if (!ok || s.baud <= 0)
        return std::nullopt;
    const auto parity = lookUp(kParities, parts[1].trimmed().toLower());
    const int bits = parts[2].trimmed().toInt(&ok);
    const auto stopBits = lookUp(kStopBits, parts[3].trimmed());
    if (!parity || !ok || bits < 5 || bits > 8 || !stopBits)
        return std::nullopt;
    s.parity = *parity;
    s.dataBits = static_cast<QSerialPort::DataBits>(bits);
    s.stopBits = *stopBits;
    return s;
}

// Line settings as a trace shows them, however the operator spaced and cased them:
// "4800,N,8,1".
QString tracedSettings(const QString &text)
{
    QStringList parts = text.split(QLatin1Char(','));
    for (QString &part : parts)
        part = part.trimmed().toUpper();
    return parts.join(QLatin1Char(','));
}
} // namespace

int portNumberOf(const QString &commPort)
{
    bool ok = false;
    const int n = commPort.trimmed().toInt(&ok);
    return ok ? n : -1;
}

CommPort::CommPort(QObject *parent)
    : QObject(parent)
    , m_port(new QSerialPort(this))
{
    m_port->setReadBufferSize(kReadBufferSize);
    setSettings(m_settings);
    connect(m_port, &QSerialPort::errorOccurred, this, &CommPort::onPortError);
}

bool CommPort::isHarmless(QSerialPort::SerialPortError error)
{
    return error == QSerialPort::NoError || error == QSerialPort::TimeoutError ||
           error == QSerialPort::UnsupportedOperationError;
}

void CommPort::setTrace(SerialTrace *trace)
{
    m_trace = trace;
    if (m_trace && isOpen())
        m_trace->portOpened(deviceName(), tracedSettings(m_settings));
}

// Errors raised while the port is closed belong to open() and are reported there.
void CommPort::onPortError(QSerialPort::SerialPortError error)
{
    if (isHarmless(error) || !m_port->isOpen())
        return;
    scheduleLineLoss();
}

// Closing inside QSerialPort's own error signal would delete the notifier that is
// raising it; the close waits for the event loop, and the storm meanwhile only sets
// a flag that is already set.
void CommPort::scheduleLineLoss()
{
    if (m_lossPending)
        return;
    m_lossPending = true;
    QMetaObject::invokeMethod(this, &CommPort::dropLine, Qt::QueuedConnection);
}

// A close() in between (the setup dialog, say) has already settled the matter.
void CommPort::dropLine()
{
    if (!std::exchange(m_lossPending, false) || !m_port->isOpen())
        return;
    if (m_trace)
        m_trace->lineLost(deviceName());
    close();
    Q_EMIT lineLost();
}

// A terminal that polls readable with nothing queued has reached end of file: the
// other side hung up. Some drivers say so with POLLHUP or POLLERR, some only that way.
bool CommPort::hasHungUp() const
{
#ifdef Q_OS_UNIX
    const auto fd = static_cast<int>(m_port->handle());
    if (!m_port->isOpen() || fd < 0)
        return false;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 0) <= 0)
        return false;
    if (p.revents & (POLLHUP | POLLERR | POLLNVAL))
        return true;
    int queued = 0;
    return (p.revents & POLLIN) && ::ioctl(fd, FIONREAD, &queued) == 0 && queued == 0;
#else
    return false;
#endif
}

void CommPort::setCommPort(const QString &value)
{
    m_commPort = value;
}

void CommPort::setRunOverride(const QString &device)
{
    m_override = device;
}

void CommPort::clearRunOverride()
{
    m_override.clear();
}

QString CommPort::deviceForNumber(int number)
{
    // Ports count from 1: "Com 0" names no device, so it fails to open like any
    // port that is not there.
    if (number < 1)
        return {};
#ifdef Q_OS_WIN
    return QStringLiteral("COM%1").arg(number);
#else
    return QStringLiteral("/dev/ttyS%1").arg(number - 1);
#endif
}

QString CommPort::deviceName() const
{
    if (!m_override.isEmpty())
        return m_override;
    bool isNumber = false;
    const int n = m_commPort.trimmed().toInt(&isNumber);
    return isNumber ? deviceForNumber(n) : m_commPort;
}

QString CommPort::displayName() const
{
    if (!m_override.isEmpty())
        return m_override;
    bool isNumber = false;
    const int n = m_commPort.trimmed().toInt(&isNumber);
    return isNumber ? QStringLiteral("COM %1").arg(n) : m_commPort;
}

bool CommPort::isValidSettings(const QString &text)
{
    return parseSettings(text).has_value();
}

bool CommPort::setSettings(const QString &text)
{
    const auto parsed = parseSettings(text);
    if (!parsed)
        return false;
    m_settings = text;
    m_port->setBaudRate(parsed->baud);
    m_port->setParity(parsed->parity);
    m_port->setDataBits(parsed->dataBits);
    m_port->setStopBits(parsed->stopBits);
    ignoreUnsupported();
    return true;
}

bool CommPort::open()
{
    if (m_port->isOpen())
        return true;
    const QString device = deviceName();
    if (device.isEmpty()) {
        m_openError = QSerialPort::DeviceNotFoundError;
        m_openErrorString = QStringLiteral("There is no such port.");
        return false;
    }
    m_port->setPortName(device);
    m_openError = QSerialPort::NoError;
    m_openErrorString.clear();
    if (!m_port->open(QIODevice::ReadWrite)) {
        m_openError = m_port->error();
        m_openErrorString = m_port->errorString();
        m_port->clearError();
        return false;
    }
    if (m_trace)
        m_trace->portOpened(device, tracedSettings(m_settings));
    return true;
}

QString CommPort::notAvailableText() const
{
    return displayName() + QStringLiteral(": not available. Check Com Port setting.");
}

QString CommPort::failureAdvice() const
{
    QString advice = m_openErrorString;
    const QFileInfo device(deviceName());
    if (deviceName().isEmpty()) {
        advice += QStringLiteral("\n\nPorts are numbered from 1.");
    } else if (m_openError == QSerialPort::DeviceNotFoundError || !device.exists()) {
        advice += QStringLiteral("\n\nThere is no device %1 on this computer.").arg(deviceName());
    } else if (!device.isWritable() || !device.isReadable()) {
        advice += QStringLiteral("\n\nYou have no permission to use %1. Add your user to the group "
                                 "that owns it (usually dialout), then log in again.")
                      .arg(deviceName());
    } else if (m_openError == QSerialPort::PermissionError) {
        advice += QStringLiteral("\n\n%1 may be in use by another program.").arg(deviceName());
    }
    return advice.trimmed();
}

bool CommPort::openLine()
{
    if (!open())
        return false;
    setHandshakingNone();
    setRtsOff();
    setDtrOff();
    discardReceive();
    discardTransmit();
    return true;
}

void CommPort::close()
{
    if (m_port->isOpen()) {
        if (m_trace)
            m_trace->portClosed(deviceName());
        m_port->close();
    }
    m_port->clearError();
    m_lossPending = false;
}

bool CommPort::isOpen() const
{
    return m_port->isOpen();
}

// Pseudo-terminals and some adapters have no modem lines; that is no failure to open.
void CommPort::ignoreUnsupported()
{
    if (m_port->error() == QSerialPort::UnsupportedOperationError)
        m_port->clearError();
}

void CommPort::setHandshakingNone()
{
    m_port->setFlowControl(QSerialPort::NoFlowControl);
    ignoreUnsupported();
}

void CommPort::setRtsOff()
{
    if (m_port->isOpen())
        m_port->setRequestToSend(false);
    ignoreUnsupported();
}

void CommPort::setDtrOff()
{
    if (m_port->isOpen())
        m_port->setDataTerminalReady(false);
    ignoreUnsupported();
}

bool CommPort::write(const QByteArray &bytes)
{
    if (!m_port->isOpen())
        return false;
    if (m_port->write(bytes) != bytes.size())
        return false;
    if (m_trace)
        m_trace->transmitted(bytes);
    m_port->flush();
    return true;
}

std::optional<std::uint8_t> CommPort::readByte()
{
    if (!m_port->isOpen())
        return std::nullopt;
    if (m_port->bytesAvailable() <= 0) {
        if (m_trace)
            m_trace->endRead();
        if (hasHungUp())
            scheduleLineLoss();
        return std::nullopt;
    }
    char c = 0;
    if (m_port->read(&c, 1) != 1)
        return std::nullopt;
    if (m_trace)
        m_trace->received(QByteArrayView(&c, 1));
    return static_cast<std::uint8_t>(c);
}

void CommPort::discardReceive()
{
    if (m_trace)
        m_trace->endRead();
    if (m_port->isOpen())
        m_port->clear(QSerialPort::Input);
}

void CommPort::discardTransmit()
{
    if (m_port->isOpen())
        m_port->clear(QSerialPort::Output);
}

} // namespace tarvik

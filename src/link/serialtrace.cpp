#include "serialtrace.h"

#include <QFile>
#include <QTimer>

#include <array>
#include <string_view>

namespace tarvik {

namespace {
struct TagName {
    TraceTag tag;
    std::string_view name;
};
constexpr std::array<TagName, 6> kTagNames{{
    {TraceTag::Tx, "TX"},
    {TraceTag::Rx, "RX"},
    {TraceTag::Open, "OPEN"},
    {TraceTag::Close, "CLOSE"},
    {TraceTag::Lost, "LOST"},
    {TraceTag::Frame, "FRAME"},
}};

QByteArrayView nameOf(TraceTag tag)
{
    for (const auto &t : kTagNames)
        if (t.tag == tag)
            return QByteArrayView(t.name.data(), qsizetype(t.name.size()));
    return {};
}
} // namespace

QByteArray traceLine(const QDateTime &when, TraceTag tag, QByteArrayView detail)
{
    QByteArray line = when.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss.zzz")).toLatin1();
    line += ' ';
    line += nameOf(tag);
    if (!detail.isEmpty()) {
        line += ' ';
        line += detail;
    }
    line += '\n';
    return line;
}

QByteArray traceHex(QByteArrayView bytes)
{
    return bytes.toByteArray().toHex(' ').toUpper();
}

SerialTrace::SerialTrace(QObject *parent)
    : QObject(parent)
    , m_file(new QFile(this))
    , m_flushTimer(new QTimer(this))
{
    m_flushTimer->setSingleShot(true);
    m_flushTimer->setInterval(kFlushIntervalMs);
    connect(m_flushTimer, &QTimer::timeout, this, &SerialTrace::flush);
}

SerialTrace::~SerialTrace()
{
    close();
}

bool SerialTrace::open(const QString &path)
{
    close();
    m_path = path;
    m_file->setFileName(path);
    if (!m_file->open(QIODevice::Append | QIODevice::Unbuffered)) {
        m_errorString = QStringLiteral("The trace file %1 cannot be opened: %2")
                            .arg(path, m_file->errorString());
        return false;
    }
    m_errorString.clear();
    m_fileSize = m_file->size();
    return true;
}

void SerialTrace::close()
{
    flush();
    m_file->close();
}

bool SerialTrace::isOpen() const
{
    return m_file->isOpen();
}

void SerialTrace::transmitted(QByteArrayView bytes)
{
    record(TraceTag::Tx, traceHex(bytes));
}

void SerialTrace::received(QByteArrayView bytes)
{
    if (!isOpen() || bytes.isEmpty())
        return;
    if (m_readRun.isEmpty())
        m_readStart = QDateTime::currentDateTime();
    m_readRun += bytes;
}

void SerialTrace::endRead()
{
    if (m_readRun.isEmpty())
        return;
    m_pending += traceLine(m_readStart, TraceTag::Rx, traceHex(m_readRun));
    m_readRun.clear();
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
}

void SerialTrace::portOpened(const QString &device, const QString &settings)
{
    record(TraceTag::Open, (device + u' ' + settings).toUtf8());
}

void SerialTrace::portClosed(const QString &device)
{
    record(TraceTag::Close, device.toUtf8());
}

void SerialTrace::lineLost(const QString &device)
{
    record(TraceTag::Lost, device.toUtf8());
}

void SerialTrace::record(TraceTag tag, QByteArrayView detail)
{
    if (!isOpen())
        return;
    endRead();
    m_pending += traceLine(QDateTime::currentDateTime(), tag, detail);
    if (!m_flushTimer->isActive())
        m_flushTimer->start();
}

bool SerialTrace::flush()
{
    endRead();
    m_flushTimer->stop();
    if (!isOpen())
        return false;
    while (!m_pending.isEmpty()) {
        qsizetype take = m_pending.size();
        const qint64 room = m_maxFileSize - m_fileSize;
        if (take > room) {
            // A file ends where a line does; only a line longer than the whole limit
            // goes over it, alone in a file of its own.
            take = room > 0 ? m_pending.lastIndexOf('\n', qsizetype(room - 1)) + 1 : 0;
            if (take == 0 && m_fileSize > 0) {
                if (!startNewFile())
                    return false;
                continue;
            }
            if (take == 0)
                take = m_pending.indexOf('\n') + 1;
        }
        if (!writeOut(QByteArrayView(m_pending).first(take)))
            return false;
        m_pending.remove(0, take);
    }
    return true;
}

bool SerialTrace::writeOut(QByteArrayView chunk)
{
    if (m_file->write(chunk.data(), chunk.size()) != chunk.size())
        return fail(QStringLiteral("The trace file %1 cannot be written: %2")
                        .arg(m_path, m_file->errorString()));
    m_fileSize += chunk.size();
    return true;
}

bool SerialTrace::startNewFile()
{
    m_file->close();
    const QString older = m_path + QStringLiteral(".1");
    QFile::remove(older);
    if (!QFile::rename(m_path, older))
        return fail(
            QStringLiteral("The trace file %1 cannot be renamed to %2.").arg(m_path, older));
    if (!m_file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered))
        return fail(QStringLiteral("The trace file %1 cannot be started again: %2")
                        .arg(m_path, m_file->errorString()));
    m_fileSize = 0;
    return true;
}

bool SerialTrace::fail(const QString &reason)
{
    m_file->close();
    m_pending.clear();
    m_readRun.clear();
    m_errorString = reason;
    Q_EMIT failed(reason);
    return false;
}

} // namespace tarvik

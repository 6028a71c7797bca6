#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QObject>
#include <QString>

class QFile;
class QTimer;

namespace tarvik {

// What a trace line says after its time.
enum class TraceTag {
    Tx,    // bytes written to the line
    Rx,    // bytes read from it
    Open,  // the port opened: device and line settings
    Close, // the port closed
    Lost,  // the line went away under the open port
    Frame, // the simulator's reading of what it received
};

// One line of a trace, newline included: "2026-12-06 10:00:01.234 TX 3F 41 0D". The
// panel's trace and the simulator's log both come through here, so the two sides of
// a session can be laid side by side.
QByteArray traceLine(const QDateTime &when, TraceTag tag, QByteArrayView detail);
// Bytes as a trace shows them: "3F 41 0D".
QByteArray traceHex(QByteArrayView bytes);

// A record of everything that goes over the serial line, for support.
//
// Lines are built at once, stamped with the wall clock, and kept in memory; a timer
// writes them out within a second, and close() and the destructor write the rest, so
// the poll never waits on the disk and a kill loses at most the last second. Reads
// that take a byte at a time still make one RX line: a read runs until the port is
// found empty (endRead()) or anything else is recorded. The file is appended to; at
// the size limit it becomes FILE.1, replacing an older one, and FILE starts afresh.
class SerialTrace : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 kDefaultMaxFileSize = 10 * 1024 * 1024;
    static constexpr int kFlushIntervalMs = 1000;

    explicit SerialTrace(QObject *parent);
    ~SerialTrace() override;

    // False, with errorString() naming the file, when it cannot be opened; the trace
    // is then off.
    bool open(const QString &path);
    // Writes what is buffered and stops.
    void close();
    bool isOpen() const;
    QString fileName() const { return m_path; }
    QString errorString() const { return m_errorString; }

    void setMaxFileSize(qint64 bytes) { m_maxFileSize = bytes; }
    qint64 maxFileSize() const { return m_maxFileSize; }

    void transmitted(QByteArrayView bytes);
    void received(QByteArrayView bytes);
    void endRead();
    void portOpened(const QString &device, const QString &settings);
    void portClosed(const QString &device);
    void lineLost(const QString &device);

    // Puts everything buffered into the file now. False when the file refused it.
    bool flush();

Q_SIGNALS:
    // Writing failed (a full disk, a file that could not be started again); the trace
    // is off and errorString() says why.
    void failed(const QString &errorString);

private:
    void record(TraceTag tag, QByteArrayView detail);
    bool writeOut(QByteArrayView chunk);
    bool startNewFile();
    bool fail(const QString &reason);

    QString m_path;
    QString m_errorString;
    QFile *m_file = nullptr;
    QTimer *m_flushTimer;
    QByteArray m_pending;
    QByteArray m_readRun;
    QDateTime m_readStart;
    qint64 m_fileSize = 0;
    qint64 m_maxFileSize = kDefaultMaxFileSize;
};

} // namespace tarvik

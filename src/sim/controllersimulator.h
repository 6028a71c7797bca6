#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QRandomGenerator>
#include <QString>
#include <QStringView>

#include <algorithm>
#include <cstdint>
#include <optional>

class QSocketNotifier;
class QTimer;

namespace tarvik {

// A stand-in for the antenna controller at the far end of the serial line.
//
// It owns the master side of a pseudo-terminal; the panel opens devicePath(), the
// slave, as if it were the real port. Bytes the panel writes arrive on the master,
// are cut into frames (status requests and command frames, anything else is junk),
// and each frame is reported through frameReceived(). Commands change the simulated
// antenna (frequency, pattern, retraction, transceiver interface), which then moves
// on a timer; each status request is answered with a status frame describing the
// antenna at the moment the answer goes out, no sooner than the request and the
// reply would take on a real line at the baud rate the panel has set.
//
// The misbehaviour modes break the answering side on purpose, so that the panel can
// be tried against a controller that is silent, babbles, or answers badly.
//
// Everything runs on the event loop of the thread that owns the object.
class ControllerSimulator : public QObject
{
    Q_OBJECT
public:
    enum class Mode { Normal, Silent, Garbage, Truncated, WrongHeader };
    Q_ENUM(Mode)

    // Where the elements are. Retracted is the rest position after Home.
    enum class Motion { Idle, Tuning, Homing, Retracted, CalibrateRetracting, CalibrateReturning };
    Q_ENUM(Motion)

    explicit ControllerSimulator(QObject *parent);
    ~ControllerSimulator() override;

    // Creates the pseudo-terminal. False, with errorString() set, when that fails.
    bool start();
    QString errorString() const { return m_errorString; }
    bool isStarted() const { return m_master >= 0; }

    // The slave side, for the panel to open.
    QString devicePath() const { return m_slavePath; }

    void setMode(Mode mode);
    // In Normal mode, the share of replies (0..1) spoiled at random: cut short, given a
    // wrong header, or left out, so that a long run meets every kind now and then.
    void setFaultRate(double rate) { m_faultRate = std::clamp(rate, 0.0, 1.0); }
    int faultsInjected() const { return m_faultsInjected; }
    static std::optional<Mode> modeFromName(QStringView name);
    static QString modeName(Mode mode);

    // The 11 bytes a Normal answer would carry now.
    QByteArray statusFrame() const;

    int requestsAnswered() const { return m_requestsAnswered; }
    int malformedFrames() const { return m_malformedFrames; }
    int commandsAccepted() const { return m_commandsAccepted; }

    // The line speed the panel has set on the slave, in bits per second.
    int lineBaud() const;

    // A frame in words for logs: "status request", "retract the elements", ...
    static QString describeFrame(const QByteArray &frame, bool wellFormed);

Q_SIGNALS:
    // Every status request, command frame or run of junk that came down the line.
    void frameReceived(const QByteArray &frame, bool wellFormed);
    // Every byte put on the line, answers and babble alike, as the far end will read it.
    void lineWritten(const QByteArray &bytes);

private:
    void onReadable();
    void scanInput();
    void finishFrame(const QByteArray &frame, bool wellFormed);
    void handleCommand(const QByteArray &frame);
    void queueReply();
    void sendReply();
    void emitGarbage();
    struct View {
        Motion motion;
        std::int32_t frequency;
    };
    View view() const;
    std::uint8_t stateCodeFor(Motion motion) const;
    void beginMotion(Motion motion, std::int32_t target, qint64 durationMs, qint64 returnMs = 0);
    void writeToLine(const QByteArray &bytes);
    int wireTimeMs(int bytes) const;

    int m_master = -1;
    int m_slave = -1; // held for our whole life so the master never sees a hang-up
    QString m_slavePath;
    QString m_errorString;
    QSocketNotifier *m_readNotifier = nullptr;
    QTimer *m_readRetry;
    QTimer *m_idleFlush;
    QTimer *m_replyTimer;
    QTimer *m_garbageTimer;
    QElapsedTimer m_garbageClock;
    double m_garbageCredit = 0.0;
    QRandomGenerator m_random;

    Mode m_mode = Mode::Normal;
    QByteArray m_input;
    int m_pendingReplies = 0;
    int m_requestsAnswered = 0;
    int m_malformedFrames = 0;
    int m_commandsAccepted = 0;
    double m_faultRate = 0.0;
    int m_faultsInjected = 0;

    // The last command's movement: where it started, where it goes, and how long
    // each leg takes. What the antenna is doing now is worked out from the clock
    // whenever someone looks, so a reply describes the moment it is sent.
    Motion m_motion = Motion::Idle;
    std::int32_t m_from = 1405000; // 14.050 MHz
    std::int32_t m_target = 1405000;
    qint64 m_durationMs = 0;
    qint64 m_returnMs = 0;
    QElapsedTimer m_motionClock;
    std::uint8_t m_direction = 0x00;
    bool m_xcvrEnabled = false;
};

} // namespace tarvik

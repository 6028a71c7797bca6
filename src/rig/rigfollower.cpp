#include "rigfollower.h"

#include "rigprotocol.h"

#include <QSignalBlocker>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <cstdlib>

namespace tarvik {

namespace {
QByteArray bytes(std::string_view text)
{
    return QByteArray(text.data(), qsizetype(text.size()));
}

QString pttWords(rig::Ptt ptt)
{
    switch (ptt) {
    case rig::Ptt::Off:
        return QStringLiteral("receiving");
    case rig::Ptt::On:
        return QStringLiteral("transmitting");
    case rig::Ptt::Unknown:
        break;
    }
    return QStringLiteral("PTT not reported");
}

// Named, so that a test can let their time pass at once.
QTimer *makeTimer(QObject *parent, const char *name, int ms, bool singleShot)
{
    auto *timer = new QTimer(parent);
    timer->setObjectName(QLatin1String(name));
    timer->setInterval(ms);
    timer->setSingleShot(singleShot);
    return timer;
}
} // namespace

RigFollower::RigFollower(QObject *parent)
    : QObject(parent)
    , m_socket(new QTcpSocket(this))
    , m_poll(makeTimer(this, "rigPoll", rig::kPollIntervalMs, false))
    , m_answerTimeout(makeTimer(this, "rigAnswerTimeout", rig::kAnswerTimeoutMs, true))
    , m_settle(makeTimer(this, "rigSettle", rig::kDefaultSettleMs, true))
    , m_tuning(makeTimer(this, "rigTuning", rig::kTuningHoldMs, true))
    , m_retry(makeTimer(this, "rigRetry", rig::kReconnectBackoffMs[0], true))
    , m_host(QString::fromLatin1(rig::kDefaultHost.data(), qsizetype(rig::kDefaultHost.size())))
    , m_port(rig::kDefaultPort)
    , m_thresholdHz(std::int64_t(rig::kDefaultThresholdKHz) * 1000)
    , m_settleMs(rig::kDefaultSettleMs)
{
    m_status = endpoint() + QStringLiteral(": not following");
    // The settle is the floor of every retune's delay: kept to the millisecond, where a
    // coarse timer may run 5 % long, and a very coarse one rounds to whole seconds.
    m_settle->setTimerType(Qt::PreciseTimer);
    connect(m_socket, &QTcpSocket::connected, this, &RigFollower::onConnected);
    connect(m_socket, &QTcpSocket::readyRead, this, &RigFollower::readAnswers);
    connect(m_socket, &QTcpSocket::errorOccurred, this, [this] { fault(m_socket->errorString()); });
    connect(m_socket, &QTcpSocket::disconnected, this,
            [this] { fault(QStringLiteral("the connection was closed")); });
    connect(m_poll, &QTimer::timeout, this, &RigFollower::poll);
    connect(m_answerTimeout, &QTimer::timeout, this, [this] {
        fault(QStringLiteral("no answer within %1 s").arg(rig::kAnswerTimeoutMs / 1000.0));
    });
    connect(m_settle, &QTimer::timeout, this, &RigFollower::considerFrame);
    connect(m_tuning, &QTimer::timeout, this, &RigFollower::retime);
    connect(m_retry, &QTimer::timeout, this, &RigFollower::connectToRig);
}

void RigFollower::setEndpoint(const QString &host, quint16 port)
{
    m_host = host;
    m_port = port;
    if (m_following) {
        start();
        return;
    }
    show(State::Off, QStringLiteral("not following"));
    if (m_watchPtt)
        reconnect();
}

void RigFollower::start()
{
    m_following = true;
    show(m_state, QStringLiteral("connecting"));
    reconnect();
}

// Watching PTT keeps the connection, so the interlock does not go blind for a moment.
void RigFollower::stop()
{
    m_following = false;
    if (m_watchPtt) {
        m_settle->stop();
        m_tuning->stop();
        m_reading.reset();
        retime();
    } else {
        dropConnection();
        takePtt(rig::Ptt::Unknown, QStringLiteral("rigctld is not asked"));
    }
    show(State::Off, QStringLiteral("not following"));
}

void RigFollower::setWatchingPtt(bool on)
{
    if (on == m_watchPtt)
        return;
    const bool wasActive = isActive();
    m_watchPtt = on;
    if (on && !wasActive)
        reconnect();
    else if (!isActive()) {
        dropConnection();
        takePtt(rig::Ptt::Unknown, QStringLiteral("rigctld is not asked"));
    } else
        retime();
}

void RigFollower::reconnect()
{
    dropConnection();
    m_backoffStep = 0;
    takePtt(rig::Ptt::Unknown, QStringLiteral("connecting to rigctld at ") + endpoint());
    connectToRig();
}

// The frequency at its own pace: every 250 ms at rest, 50 ms while the knob turns;
// watching PTT alone, or faster, asks at least every kPttPollIntervalMs.
int RigFollower::pollInterval() const
{
    int ms = m_tuning->isActive() ? rig::kTuningPollIntervalMs : rig::kPollIntervalMs;
    if (m_watchPtt)
        ms = std::min(ms, rig::kPttPollIntervalMs);
    return ms;
}

void RigFollower::retime()
{
    if (m_poll->isActive() && m_poll->interval() != pollInterval())
        m_poll->start(pollInterval());
}

void RigFollower::takePtt(rig::Ptt ptt, const QString &note)
{
    m_ptt = ptt;
    m_pttNote = note;
    Q_EMIT pttAnswered(ptt);
}

void RigFollower::connectToRig()
{
    m_socket->connectToHost(m_host, m_port);
    m_answerTimeout->start();
}

void RigFollower::onConnected()
{
    m_answerTimeout->stop();
    m_askPtt = true;
    m_ptt = rig::Ptt::Unknown;
    m_reading.reset();
    m_sendAtOnce = true;
    m_sinceFrequency.invalidate();
    m_poll->start(pollInterval());
    poll();
}

void RigFollower::poll()
{
    if (!m_round.isEmpty())
        return; // m_answerTimeout is already watching the open question
    if (m_askPtt)
        m_round += rig::kGetPtt.front();
    // Half a tick early counts as due, so 100 ms ticks ask it every 200 ms, not 300.
    const int frequencyMs =
        m_tuning->isActive() ? rig::kTuningPollIntervalMs : rig::kPollIntervalMs;
    if (m_following && (!m_sinceFrequency.isValid() ||
                        m_sinceFrequency.elapsed() + m_poll->interval() / 2 >= frequencyMs)) {
        m_round += rig::kGetFrequency.front();
        m_sinceFrequency.start();
    }
    askNext();
}

void RigFollower::askNext()
{
    if (m_round.isEmpty()) {
        m_answerTimeout->stop();
        return;
    }
    m_socket->write(m_round.front() == rig::kGetPtt.front() ? bytes(rig::kGetPtt)
                                                            : bytes(rig::kGetFrequency));
    m_answerTimeout->start();
}

void RigFollower::readAnswers()
{
    m_received += m_socket->readAll();
    qsizetype end = m_received.indexOf('\n');
    for (; end >= 0 && end <= rig::kMaxLineBytes; end = m_received.indexOf('\n')) {
        const QByteArray line = m_received.left(end);
        m_received.remove(0, end + 1);
        if (!takeAnswer(line))
            return;
    }
    if (end > rig::kMaxLineBytes || m_received.size() > rig::kMaxLineBytes)
        fault(QStringLiteral("a line over %1 bytes came").arg(rig::kMaxLineBytes));
}

// False when the line ended the connection.
bool RigFollower::takeAnswer(const QByteArray &line)
{
    if (m_round.isEmpty()) {
        fault(QStringLiteral("an answer came that nothing asked for"));
        return false;
    }
    const char question = m_round.front();
    m_round.remove(0, 1);
    askNext();
    if (question == rig::kGetPtt.front()) {
        const bool wasOn = m_ptt == rig::Ptt::On;
        const rig::Ptt ptt = rig::parsePtt(line);
        m_askPtt = ptt != rig::Ptt::Unknown;
        takePtt(ptt, m_askPtt ? QString() : QStringLiteral("the radio does not report PTT"));
        if (wasOn && ptt != rig::Ptt::On && m_following)
            considerFrame(); // the retune that waited goes now, not at the next reading
        return true;
    }
    const std::optional<std::int64_t> hz = rig::parseFrequency(line);
    if (!hz) {
        fault(QStringLiteral("\"%1\" is not a frequency").arg(QString::fromLatin1(line.left(40))));
        return false;
    }
    if (m_following)
        takeFrequency(*hz);
    return true;
}

void RigFollower::takeFrequency(std::int64_t hz)
{
    m_backoffStep = 0;
    QString what = rig::formatMHz(hz) + QStringLiteral(", ") + pttWords(m_ptt);
    if (!rig::inFollowRange(hz))
        what += QStringLiteral(", outside 1.8 to 54 MHz");
    show(State::Answering, what);
    if (m_reading && *m_reading != hz) {
        m_settle->start(m_settleMs);
        m_tuning->start();
        retime();
    }
    m_reading = hz;
    considerFrame();
}

void RigFollower::considerFrame()
{
    if (!m_following || !m_reading || m_settle->isActive() || m_ptt == rig::Ptt::On)
        return;
    const std::int64_t hz = *m_reading;
    if (!rig::inFollowRange(hz))
        return;
    if (!m_sendAtOnce && m_lastSent && std::abs(hz - *m_lastSent) < m_thresholdHz)
        return;
    Q_EMIT frameDue(hz);
}

void RigFollower::noteSent(std::int64_t hz)
{
    m_sendAtOnce = false;
    m_lastSent = hz;
}

void RigFollower::fault(const QString &why)
{
    if (!isActive() || m_retry->isActive())
        return; // one fault often brings another signal with it
    dropConnection();
    if (m_following)
        show(State::NotAnswering, why);
    takePtt(rig::Ptt::Unknown, QStringLiteral("rigctld at %1: %2").arg(endpoint(), why));
    m_retry->start(rig::kReconnectBackoffMs[m_backoffStep]);
    m_backoffStep = std::min(m_backoffStep + 1, rig::kReconnectBackoffMs.size() - 1);
}

void RigFollower::dropConnection()
{
    for (QTimer *timer : {m_poll, m_answerTimeout, m_settle, m_tuning, m_retry})
        timer->stop();
    const QSignalBlocker quiet(m_socket);
    m_socket->abort();
    m_received.clear();
    m_round.clear();
}

void RigFollower::show(State state, const QString &what)
{
    const QString status = endpoint() + QStringLiteral(": ") + what;
    if (status != m_status) {
        m_status = status;
        Q_EMIT statusChanged(m_status);
    }
    if (state != m_state) {
        m_state = state;
        Q_EMIT stateChanged(m_state);
    }
}

QString RigFollower::endpoint() const
{
    const QString host = m_host.contains(u':') ? u'[' + m_host + u']' : m_host;
    return host + u':' + QString::number(m_port);
}

} // namespace tarvik

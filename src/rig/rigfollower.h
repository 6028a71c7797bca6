#pragma once

#include "rigreply.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>

class QTcpSocket;
class QTimer;

namespace tarvik {

// Follows a transceiver through rigctld and says when the antenna should retune.
//
// m_poll ticks every kPollIntervalMs, every kTuningPollIntervalMs while m_tuning runs.
// When the previous round is answered, a tick starts a new one: "t\n" (while the rig
// can report PTT), then "f\n" once "t" is answered, so that rigctld never holds two of
// our questions; m_answerTimeout watches each. A frequency that differs from the last
// one restarts m_settle and m_tuning; once the reading is settled, in range, far enough
// from the last frame the station wrote and PTT is not on, frameDue() goes out, and
// again at each reading until the station reports it written (noteSent). The first
// reading of a connection skips the settle and the threshold.
// A fault (no answer in time, a refused or closed connection, a bad line) drops the
// socket, and m_retry reconnects after the next backoff step.
//
// Watching PTT (the station's transmit interlock) shares the one connection and the
// one-question-at-a-time discipline: the connection stays up while following or
// watching, a round asks "t" at least every kPttPollIntervalMs while watching, and "f"
// only while following and only as often as following needs it.
class RigFollower : public QObject
{
    Q_OBJECT
public:
    enum class State { Off, Answering, NotAnswering };
    Q_ENUM(State)

    explicit RigFollower(QObject *parent);

    // Takes effect at once: a follower that is on reconnects to the new place.
    void setEndpoint(const QString &host, quint16 port);
    QString host() const { return m_host; }
    quint16 port() const { return m_port; }
    void setThresholdKHz(int kHz) { m_thresholdHz = std::max(0, kHz) * std::int64_t(1000); }
    void setSettleMs(int ms) { m_settleMs = std::max(0, ms); }

    void start();
    void stop();
    // Keeps asking for PTT, following or not; pttAnswered() says each answer.
    void setWatchingPtt(bool on);
    bool isWatchingPtt() const { return m_watchPtt; }
    // The last PTT answer; Unknown while rigctld cannot be reached or the radio does
    // not report it, and pttNote() then says which.
    rig::Ptt ptt() const { return m_ptt; }
    QString pttNote() const { return m_pttNote; }
    // The station wrote the frame for `hz`. Only then does the threshold count from it:
    // a frame the line refused is asked for again at the next reading.
    void noteSent(std::int64_t hz);
    bool isFollowing() const { return m_following; }

    // Off until the first answer or fault after start(), so that a rig that answers
    // goes straight from Off to Answering.
    State state() const { return m_state; }
    // "127.0.0.1:4532: 14.074000 MHz, receiving", or why the rig cannot be reached.
    QString statusText() const { return m_status; }

Q_SIGNALS:
    void stateChanged(tarvik::RigFollower::State state);
    void statusChanged(const QString &text);
    // The antenna should go to `hz`; the controller's sndFreq is hz / 10.
    void frameDue(qint64 hz);
    // Each PTT answer, and Unknown when the connection is lost.
    void pttAnswered(tarvik::rig::Ptt ptt);

private:
    bool isActive() const { return m_following || m_watchPtt; }
    int pollInterval() const;
    void retime();
    void takePtt(rig::Ptt ptt, const QString &note);
    void reconnect();
    void connectToRig();
    void onConnected();
    void poll();
    void askNext();
    void readAnswers();
    bool takeAnswer(const QByteArray &line);
    void takeFrequency(std::int64_t hz);
    void considerFrame();
    void fault(const QString &why);
    void dropConnection();
    void show(State state, const QString &what);
    QString endpoint() const;

    QTcpSocket *m_socket;
    QTimer *m_poll;
    QTimer *m_answerTimeout;
    QTimer *m_settle;
    QTimer *m_tuning;
    QTimer *m_retry;

    QString m_host;
    quint16 m_port;
    std::int64_t m_thresholdHz;
    int m_settleMs;

    bool m_following = false;
    bool m_watchPtt = false;
    QString m_pttNote;
    QElapsedTimer m_sinceFrequency; // since "f" was last asked
    State m_state = State::Off;
    QString m_status;
    std::size_t m_backoffStep = 0;

    QByteArray m_received;
    QByteArray m_round; // the command letters of this round still unanswered; the first is open
    bool m_askPtt = true;
    rig::Ptt m_ptt = rig::Ptt::Unknown;
    std::optional<std::int64_t> m_reading;
    std::optional<std::int64_t> m_lastSent;
    bool m_sendAtOnce = false;
};

} // namespace tarvik

// The station's settings, running, following the radio and the serial trace. The
// commands are in station_commands.cpp, the status poll and the line in
// station_status.cpp.

#include "station.h"

#include "commport.h"
#include "frame.h"
#include "getstatus.h"
#include "serialtrace.h"
#include "settingskeys.h"
#include "settingsstore.h"

#include <QSerialPort>
#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarvik {

Station::Station(QObject *parent)
    : QObject(parent)
    , m_port(new CommPort(this))
    , m_trace(new SerialTrace(this))
    , m_follower(new RigFollower(this))
    , m_pollTimer(new QTimer(this))
    , m_replyDeadline(new QTimer(this))
    , m_lineRetry(new QTimer(this))
    , m_txHold(new QTimer(this))
    , m_reader(std::make_unique<StatusReader>(*m_port))
{
    m_replyDeadline->setObjectName(u"replyDeadline"_s);
    m_replyDeadline->setSingleShot(true);
    // A coarse timer may be 5 % early or late, which could close the gap between a
    // window's end and the next request.
    m_replyDeadline->setTimerType(Qt::PreciseTimer);
    m_pollTimer->setTimerType(Qt::PreciseTimer);
    connect(m_replyDeadline, &QTimer::timeout, this, &Station::endPoll);
    connect(m_port->serialPort(), &QSerialPort::readyRead, this, &Station::onReplyBytes);
    m_pollTimer->setObjectName(u"pollTimer"_s);
    m_pollTimer->setInterval(m_settings.pollMs);
    m_lineRetry->setObjectName(u"lineRetry"_s);
    connect(m_pollTimer, &QTimer::timeout, this, &Station::poll);
    connect(m_lineRetry, &QTimer::timeout, this, &Station::retryLine);
    connect(m_port, &CommPort::lineLost, this, &Station::onLineLost);
    connect(m_trace, &SerialTrace::failed, this, &Station::onTraceFailed);
    connect(m_follower, &RigFollower::frameDue, this, &Station::followRadio);
    connect(m_follower, &RigFollower::stateChanged, this, &Station::publish);
    connect(m_follower, &RigFollower::statusChanged, this, &Station::publish);
    connect(m_follower, &RigFollower::pttAnswered, this, &Station::takePtt);
    m_txHold->setObjectName(u"txHold"_s);
    m_txHold->setSingleShot(true);
    // A hold is a promise to the amplifier: never a coarse timer's 5 % early.
    m_txHold->setTimerType(Qt::PreciseTimer);
    connect(m_txHold, &QTimer::timeout, this, &Station::endTxHold);
    m_state.portName = m_port->displayName();
    m_state.followStatus = m_follower->statusText();
    m_published = m_state;
}

// The port closes here rather than with its object, so that a trace ends with it.
Station::~Station()
{
    m_port->close();
}

// ---- settings -----------------------------------------------------------------

void Station::applySettings(const StationSettings &settings)
{
    m_settings = settings;
    m_settings.pollMs = std::clamp(settings.pollMs, kPollMin, kPollMax);
    m_port->setCommPort(settings.comPort);
    if (!m_port->setSettings(settings.lineSettings))
        m_port->setSettings(StationSettings{}.lineSettings);
    m_state.sndDir =
        isValidDirectionField(settings.sndDir) ? settings.sndDir : StationSettings{}.sndDir;
    m_state.largeAntenna = settings.largeAntenna;
    m_state.refuseWhenUnknown = settings.interlock.refuseWhenUnknown;
    if (!m_suspended)
        m_pollTimer->setInterval(m_settings.pollMs);
    takeFollowSettings(settings.follow);
    publish();
}

StationSettings Station::settings() const
{
    StationSettings s = m_settings;
    s.comPort = m_port->commPort();
    s.lineSettings = m_port->settings();
    s.sndDir = m_state.sndDir;
    s.largeAntenna = m_state.largeAntenna;
    return s;
}

void Station::setPortOverride(const QString &device)
{
    m_port->setRunOverride(device);
    publish();
}

int Station::pollIntervalMs() const
{
    return m_pollTimer->interval();
}

// ---- running ------------------------------------------------------------------

// A port that will not open leaves the station running with it closed: commands then
// write nothing, and polls ask nothing.
bool Station::start()
{
    m_started = true;
    const bool open = m_port->openLine();
    m_state.replyHex.clear();
    if (open)
        beginPolling(m_settings.pollMs);
    else
        awaitDevice(LinkCondition::Absent);
    applyFollowing();
    publish();
    return open;
}

void Station::reloadSettings(const StationSettings &settings)
{
    const StationSettings before = this->settings();
    applySettings(settings);
    if (!m_started || m_suspended)
        return;
    if (before.comPort != settings.comPort || before.lineSettings != m_port->settings()) {
        m_port->close();
        m_lineRetry->stop();
        if (m_port->openLine())
            lineOpened();
        else
            awaitDevice(LinkCondition::Absent);
    }
    publish();
}

void Station::stop()
{
    m_started = false;
    m_pollTimer->stop();
    endReplyWait();
    m_lineRetry->stop();
    applyFollowing();
    m_trace->flush();
    publish();
}

// ---- the setup dialog's hold on the line -----------------------------------------

void Station::suspend()
{
    if (m_suspended)
        return;
    m_suspended = true;
    m_pollTimer->stop();
    endReplyWait();
    m_port->discardReceive();
    m_port->discardTransmit();
    m_port->close();
    m_heldResume = false; // the next resume sends its own frame
    m_heldFollowHz.reset();
    setLink(LinkCondition::Closed);
    publish();
}

// A device given for one run only (--port, --simulate) no longer applies once a port
// is chosen. A port that will not open is not stored.
bool Station::choosePort(const QString &comPort)
{
    if (m_port->isOpen())
        m_port->close();
    m_port->clearRunOverride();
    m_port->setCommPort(comPort);
    const bool open = m_port->openLine();
    if (!m_suspended)
        setLink(open ? LinkCondition::Waiting : LinkCondition::Closed);
    if (open)
        Q_EMIT settingsChanged();
    publish();
    return open;
}

// The port closes to take the new settings; outside the setup dialog it reopens at once.
void Station::setLineSettings(const QString &text)
{
    const QString before = m_port->settings();
    if (m_port->isOpen())
        m_port->close();
    m_port->setSettings(text);
    if (!m_suspended)
        setLink(m_port->openLine() ? LinkCondition::Waiting : LinkCondition::Closed);
    if (m_port->settings() != before)
        Q_EMIT settingsChanged();
    publish();
}

void Station::setPollInterval(int ms)
{
    ms = std::clamp(ms, kPollMin, kPollMax);
    if (ms == m_settings.pollMs)
        return;
    m_settings.pollMs = ms;
    if (!m_suspended)
        m_pollTimer->setInterval(ms);
    Q_EMIT settingsChanged();
}

void Station::setLargeAntenna(bool large)
{
    if (large == m_state.largeAntenna)
        return;
    m_state.largeAntenna = large;
    Q_EMIT settingsChanged();
    publish();
}

// The setup dialog's own frame goes out from the state as the dialog left it; nothing
// refused while it held the line is sent. Polling resumes one interval after it. While
// the radio transmits, the frame waits for it (station_interlock.cpp).
bool Station::resume()
{
    m_suspended = false;
    const bool open = m_port->isOpen() || m_port->openLine();
    if (!open) {
        awaitDevice(LinkCondition::Absent);
        publish();
        return false;
    }
    beginPolling(m_settings.pollMs);
    const CommandResult sent = sendSetFrequency(m_state);
    m_heldResume = sent == CommandResult::Transmitting || sent == CommandResult::TransmitUnknown;
    publish();
    return true;
}

// ---- following the radio ----------------------------------------------------------

// A run-only rigctld stays run-only: turning it off and on again stores nothing.
void Station::setFollowing(bool on)
{
    if (m_runRig) {
        m_runRig->following = on;
    } else if (m_settings.follow.enabled != on) {
        m_settings.follow.enabled = on;
        Q_EMIT settingsChanged();
    }
    applyFollowing();
    publish();
}

void Station::setFollowSettings(const FollowSettings &settings)
{
    const FollowSettings before = m_settings.follow;
    takeFollowSettings(settings);
    if (m_settings.follow != before)
        Q_EMIT settingsChanged();
    publish();
}

FollowSettings Station::followSettings() const
{
    return m_settings.follow;
}

void Station::followRigForThisRun(const rig::Endpoint &endpoint)
{
    m_runRig = RunRig{endpoint, true};
    applyFollowing();
    publish();
}

// A change of place ends a run-only rigctld, which leaves following on or off as it was.
void Station::takeFollowSettings(const FollowSettings &settings)
{
    const bool leavesRunRig = m_runRig && (settings.host != m_settings.follow.host ||
                                           settings.port != m_settings.follow.port);
    m_settings.follow = settings;
    if (leavesRunRig) {
        m_settings.follow.enabled = m_runRig->following;
        m_runRig.reset();
    }
    applyFollowing();
}

// Off and on again only when that changes: a follower that restarts sends the next
// reading at once, which a change of threshold must not cause. Nothing is followed
// before start() or after stop().
void Station::applyFollowing()
{
    const FollowSettings &f = m_settings.follow;
    const QString host = m_runRig ? m_runRig->endpoint.host : f.host;
    const quint16 port = m_runRig ? m_runRig->endpoint.port : quint16(f.port);
    const bool on = m_started && (m_runRig ? m_runRig->following : f.enabled);
    m_follower->setThresholdKHz(f.thresholdKHz);
    m_follower->setSettleMs(f.settleMs);
    if (host != m_follower->host() || port != m_follower->port())
        m_follower->setEndpoint(host, port);
    if (on && !m_follower->isFollowing())
        m_follower->start();
    else if (!on && m_follower->isFollowing())
        m_follower->stop();
    m_state.interlockArmed = interlockWanted();
    m_state.refuseWhenUnknown = m_settings.interlock.refuseWhenUnknown;
    m_follower->setWatchingPtt(m_state.interlockArmed);
    if (!m_state.interlockArmed) {
        m_txHold->stop();
        m_state.txHold = false;
    }
    if (m_started) {
        releaseHeld();
    } else {
        m_heldResume = false;
        m_heldFollowHz.reset();
    }
}

void Station::setRemoteClients(int clients)
{
    m_state.remoteClients = clients;
    publish();
}

void Station::watchSettingsFile(SettingsStore *store)
{
    auto writable = [this](bool yes) {
        m_state.settingsWritable = yes;
        publish();
    };
    writable(store->whyNotWritable().isEmpty());
    connect(store, &SettingsStore::written, this, [writable] { writable(true); });
    connect(store, &SettingsStore::writeFailed, this, [writable] { writable(false); });
}

void Station::setMqttNote(const QString &note)
{
    if (note == m_state.mqttNote)
        return;
    m_state.mqttNote = note;
    publish();
}

// ---- the serial trace -------------------------------------------------------------

bool Station::startTrace(const QString &path)
{
    if (!m_trace->open(path)) {
        onTraceFailed(m_trace->errorString());
        return false;
    }
    m_port->setTrace(m_trace);
    return true;
}

void Station::stopTrace()
{
    m_port->setTrace(nullptr);
    m_trace->close();
}

bool Station::isTracing() const
{
    return m_trace->isOpen();
}

QString Station::traceFile() const
{
    return m_trace->fileName();
}

void Station::onTraceFailed(const QString &reason)
{
    m_port->setTrace(nullptr);
    Q_EMIT traceFailed(reason);
}

// ---- the state ----------------------------------------------------------------------

void Station::publish()
{
    m_state.portName = m_port->displayName();
    m_state.following = m_runRig ? m_runRig->following : m_settings.follow.enabled;
    m_state.followState = m_follower->state();
    m_state.followStatus = m_follower->statusText();
    if (m_state == m_published)
        return;
    m_published = m_state;
    Q_EMIT stateChanged(m_published);
}

} // namespace tarvik

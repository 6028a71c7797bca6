#pragma once

#include "protocol.h"
#include "rigendpoint.h"
#include "rigfollower.h"
#include "settings.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>

#include <cstddef>
#include <memory>
#include <optional>

class QTimer;

namespace tarvik {

class CommPort;
class SerialTrace;
class SettingsStore;
class StatusReader;
struct StatusPoll;
struct StatusReading;

// Where the line stands, as the Connected lamp shows it. Silence is not one of these:
// a controller that stops answering leaves the last condition and sets `silent`.
enum class LinkCondition {
    Waiting,       // open, no status frame yet
    Answering,     // the last poll read a good frame
    NotUnderstood, // a reply opened with the wrong header
    Closed,        // the port is closed: a write failed, or the setup dialog has it
    Lost,          // the device went away under the open port; reopening quietly
    Absent,        // the device would not open; trying it again quietly until it does
};

// What became of a command. Only Written put a frame on the line; anything else left
// the state as it was and is never sent later.
enum class CommandResult : int {
    Written,
    PortClosed,      // the port is closed or the write failed
    HeldBySetup,     // the setup dialog holds the line
    OutOfRange,      // the value lies outside what the controller takes
    Transmitting,    // the radio transmits, or did within [Interlock] HoldAfterTxMs
    TransmitUnknown, // PTT cannot be read and [Interlock] WhenUnknown=refuse
};

// Everything a front end shows, as one copyable value.
struct StationState {
    // What the next set-frequency frame sends from, in 10 Hz units: empty until the
    // first band, step or reading.
    std::optional<double> sndFreq;
    // The controller's last reading, in MHz: empty until the first good frame.
    std::optional<double> readingMHz;
    // The band a command or the radio chose (its lamp is lit); none between bands.
    std::optional<std::size_t> band;
    // The pattern from the last status code in the table; empty until one came.
    std::optional<proto::Pattern> pattern;
    bool moving = false;     // TUNING
    bool retracting = false; // RETRACTING
    bool largeAntenna = false;
    QString sndDir = QStringLiteral("0000");
    QString replyHex; // the received string, as far as the last reply was read

    LinkCondition link = LinkCondition::Waiting;
    bool silent = false;   // three polls in a row read nothing
    int silentSeconds = 0; // since the last frame (or since polling began)
    QString portName;      // "COM 3" or a device path

    int remoteClients = -1; // clients of the network API; -1 while it is not served
    // False while the settings file may not be replaced (its mode or its mount) or the
    // last write failed: what this run changes then lives in memory only.
    bool settingsWritable = true;
    QString mqttNote; // why the broker's topics are not the station's, when they are not

    bool following = false;
    RigFollower::State followState = RigFollower::State::Off;
    QString followStatus;

    // The transmit interlock: armed, what rigctld last said of PTT (and why it is
    // unknown), still holding after a transmission, and the radio keyed while the
    // elements moved.
    bool interlockArmed = false;
    bool refuseWhenUnknown = false;
    rig::Ptt ptt = rig::Ptt::Unknown;
    QString pttNote;
    bool txHold = false;
    bool keyedWhileMoving = false;

    bool operator==(const StationState &) const = default;
};

// What the interlock makes of a command that moves the elements now: Written when it
// may go out, else Transmitting or TransmitUnknown. The one rule the commands, the held
// frames and the TX lamp all go by.
CommandResult interlockVerdict(const StationState &state);

// The station: one controller on one serial line, with everything that decides what
// goes over it. No widget comes near it; the desktop panel and the network API are two
// views over the same object.
//
// Commands come in through the public calls, each of which writes exactly one frame at
// once and puts the next poll one interval later, but never more than two intervals
// after the last one, so a stream of commands cannot starve the poll; a command never
// ends a poll's wait. Each poll timer tick runs one status poll, unless one still waits,
// and folds its outcome into the state. The
// radio follower's frames take the band path. A lost line is reopened quietly once a
// poll interval. Whenever the state changes, stateChanged() carries the new value; each
// frame written goes out on frameWritten().
class Station : public QObject
{
    Q_OBJECT
public:
    explicit Station(QObject *parent);
    ~Station() override;

    // ---- settings -------------------------------------------------------------
    // Takes the stored settings in, without opening anything and without saving.
    void applySettings(const StationSettings &settings);
    StationSettings settings() const;

    // This run only: the device to open instead of the stored port (--port, --simulate).
    void setPortOverride(const QString &device);
    // This run only: follow the rigctld at `endpoint` whatever the stored settings say
    // (--rig). A later change of place through setFollowSettings() ends it.
    void followRigForThisRun(const rig::Endpoint &endpoint);

    // ---- running --------------------------------------------------------------
    // Opens the port and starts polling. False when the port did not open: the station
    // runs on, tries it again once a poll interval (port() says why it failed) and
    // starts polling when it opens.
    bool start();
    // Settings read again while running (a reload): a new port or line reopens the
    // line, a new poll interval takes effect at the next tick.
    void reloadSettings(const StationSettings &settings);
    // Stops polling and flushes the trace; the port closes with the object.
    void stop();

    const StationState &state() const { return m_state; }
    CommPort &port() { return *m_port; }
    int pollIntervalMs() const;

    // ---- commands: each says whether its frame went out, and if not, why
    CommandResult tuneBand(std::size_t band);
    // 1.8 to 54 MHz, the band lamp that holds it, the pattern kept, the lower limit
    // applied; outside the range nothing is written and false comes back.
    CommandResult tuneFrequency(qint64 hz);
    CommandResult stepUp();
    CommandResult stepDown();
    // The 180 and BiDir buttons: a lit pattern is turned off, an unlit one turned on.
    CommandResult toggleReversed();
    CommandResult toggleBidirectional();
    // Sets `pattern`, whatever the state shows.
    CommandResult setPattern(proto::Pattern pattern);
    CommandResult home();
    CommandResult calibrate();
    CommandResult setTransceiver(bool enabled);

    // ---- following the radio ----------------------------------------------------
    // The Follow Radio switch. Stored unless following is run-only (--rig).
    void setFollowing(bool on);
    void setFollowSettings(const FollowSettings &settings);
    FollowSettings followSettings() const;
    RigFollower &follower() { return *m_follower; }
    // The transmit interlock: stored, and applied at once.
    void setInterlockSettings(const InterlockSettings &settings);
    InterlockSettings interlockSettings() const { return m_settings.interlock; }

    // ---- the setup dialog's hold on the line -----------------------------------
    // Polling stops, both buffers are emptied and the port closes; follow frames wait.
    void suspend();
    bool isSuspended() const { return m_suspended; }
    // Closes and reopens on `comPort` (dropping a run-only device); false when it
    // will not open.
    bool choosePort(const QString &comPort);
    void setLineSettings(const QString &text);
    void setPollInterval(int ms);
    void setLargeAntenna(bool large);
    // Reopens the port if needed (false when it would not), sends one frame from the
    // state and polls again at the chosen interval.
    bool resume();

    // Who this station is among others (stationid.h): names the MQTT client and the
    // page's session cookie. Set once by the host, before anything is served.
    void setIdentity(const QString &id) { m_identity = id; }
    const QString &identity() const { return m_identity; }

    // The network API's clients, for the Remote lamp: -1 while it is not served.
    void setRemoteClients(int clients);
    // The state follows whether `store` takes what this run changes: judged at once by
    // the file's mode and mount, then by each write.
    void watchSettingsFile(SettingsStore *store);
    // For the Remote lamp's note: why the station is not on its MQTT prefix; empty when it is.
    void setMqttNote(const QString &note);

    // ---- the serial trace -------------------------------------------------------
    bool startTrace(const QString &path); // false: traceFailed() has said why
    void stopTrace();
    bool isTracing() const;
    QString traceFile() const;

Q_SIGNALS:
    void stateChanged(const tarvik::StationState &state);
    void frameWritten(const QByteArray &frame);
    // A setting changed that should be stored (the Follow switch, the setup dialog).
    void settingsChanged();
    void traceFailed(const QString &reason);

private:
    // Commands (station_commands.cpp).
    CommandResult tuneTo(std::optional<std::size_t> band, double frequency);
    CommandResult sendSetFrequency(StationState next);
    CommandResult sendFrame(const QByteArray &frame, bool moves = true);
    bool writeFrame(const QByteArray &frame);
    CommandResult fixedCodeCommand(const proto::CommandCode &code);
    CommandResult frequencyStep(int delta);
    CommandResult directionToggle(proto::Pattern pattern);
    // The status poll and the line (station_status.cpp).
    void poll();
    void onReplyBytes();
    int replyWaitMs() const;
    void endReplyWait();
    void endPoll();
    void schedulePoll();
    void keepReading(const StatusReading &reading);
    void noteSilence(const StatusPoll &poll);
    void setLink(LinkCondition link);
    void restartSilence();
    void onLineLost();
    void awaitDevice(LinkCondition why);
    void retryLine();
    void lineOpened();
    void beginPolling(int firstMs);
    // Following the radio and the trace (station.cpp).
    void takeFollowSettings(const FollowSettings &settings);
    void applyFollowing();
    void followRadio(qint64 hz);
    // The transmit interlock (station_interlock.cpp).
    bool interlockWanted() const;
    void takePtt(rig::Ptt ptt);
    void endTxHold();
    void releaseHeld();
    void onTraceFailed(const QString &reason);
    // Emits stateChanged() when the state differs from what was last sent.
    void publish();

    CommPort *m_port;
    SerialTrace *m_trace;
    RigFollower *m_follower;
    QTimer *m_pollTimer;
    QTimer *m_replyDeadline;
    QTimer *m_lineRetry;
    QTimer *m_txHold;
    std::unique_ptr<StatusReader> m_reader;
    StationState m_state;
    StationState m_published;
    // The stored settings as taken in; the port, the direction and the antenna type in
    // use live in m_port and m_state.
    StationSettings m_settings;
    bool m_started = false;
    bool m_suspended = false;
    int m_silentPolls = 0;
    QElapsedTimer m_sinceReply;
    QElapsedTimer m_sincePoll; // since the last status request, or since polling began
    struct RunRig {
        rig::Endpoint endpoint;
        bool following;
    };
    std::optional<RunRig> m_runRig;
    // What waits for the radio to stop transmitting: the setup dialog's closing frame
    // and the latest follow retune. A manual command is refused instead, never held.
    bool m_heldResume = false;
    std::optional<qint64> m_heldFollowHz;
    QString m_identity;
};

} // namespace tarvik

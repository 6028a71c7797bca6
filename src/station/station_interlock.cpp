// The transmit interlock: nothing that moves the elements goes out while the radio
// transmits. rigctld's answer to "t" comes through the follower, which keeps asking
// while the interlock is armed. A manual command is refused; the setup dialog's closing
// frame and the latest follow retune wait, and go out at the first answer that finds
// the radio receiving once [Interlock] HoldAfterTxMs has passed.

#include "station.h"

#include <QTimer>

namespace tarvik {

CommandResult interlockVerdict(const StationState &state)
{
    if (!state.interlockArmed)
        return CommandResult::Written;
    if (state.ptt == rig::Ptt::On || state.txHold)
        return CommandResult::Transmitting;
    if (state.ptt == rig::Ptt::Unknown && state.refuseWhenUnknown)
        return CommandResult::TransmitUnknown;
    return CommandResult::Written;
}

// Armed by default exactly when the antenna follows the radio, or --rig named one:
// then PTT is at hand anyway.
bool Station::interlockWanted() const
{
    const bool following = m_runRig ? true : m_settings.follow.enabled;
    return m_started && m_settings.interlock.enabled.value_or(following);
}

void Station::setInterlockSettings(const InterlockSettings &settings)
{
    if (settings == m_settings.interlock)
        return;
    m_settings.interlock = settings;
    applyFollowing();
    Q_EMIT settingsChanged();
    publish();
}

// The radio keyed while the elements move is beyond stopping: it is said on the TX
// lamp and in the log, once a transmission.
void Station::takePtt(rig::Ptt ptt)
{
    const bool wasOn = m_state.ptt == rig::Ptt::On;
    m_state.ptt = ptt;
    m_state.pttNote = m_follower->pttNote();
    if (ptt == rig::Ptt::On) {
        m_txHold->stop();
        m_state.txHold = false;
        if (!wasOn && m_state.interlockArmed && (m_state.moving || m_state.retracting)) {
            m_state.keyedWhileMoving = true;
            qWarning("Transmitting while the elements move");
        }
    } else {
        m_state.keyedWhileMoving = false;
        if (wasOn && m_settings.interlock.holdAfterTxMs > 0) {
            m_state.txHold = true;
            m_txHold->start(m_settings.interlock.holdAfterTxMs);
        }
    }
    releaseHeld();
    publish();
}

void Station::endTxHold()
{
    m_state.txHold = false;
    releaseHeld();
    publish();
}

// The closing frame first: it carries what the operator chose; a retune then moves on
// from there.
void Station::releaseHeld()
{
    if (interlockVerdict(m_state) != CommandResult::Written)
        return;
    if (m_heldResume) {
        m_heldResume = false;
        sendSetFrequency(m_state);
    }
    if (const std::optional<qint64> hz = std::exchange(m_heldFollowHz, std::nullopt))
        followRadio(*hz);
}

} // namespace tarvik

// Following the radio: the follower's frames take the band buttons' path, its state
// shows on the Radio lamp, and the "Follow" settings and --rig decide where it listens.

#include "frm_main.h"

#include "frm_radio.h"
#include "rigfollower.h"
#include "settingsstore.h"

#include <QAction>
#include <QLabel>

namespace tarvik {

namespace {
// What the Radio lamp shows and what a screen reader hears for each state.
struct RadioLook {
    RigFollower::State state;
    bool grey;
    Indicator::Look lit;
    const char *spoken;
};
constexpr RadioLook kRadioLooks[] = {
    {RigFollower::State::Off, true, Indicator::Look::GreenLamp, "Not following the radio"},
    {RigFollower::State::Answering, false, Indicator::Look::GreenLamp, "Following the radio"},
    {RigFollower::State::NotAnswering, false, Indicator::Look::RedLamp, "Radio not answering"},
};
} // namespace

void frm_main::watchTheRadio()
{
    connect(m_follower, &RigFollower::frameDue, this, &frm_main::followRadio);
    connect(m_follower, &RigFollower::stateChanged, this, &frm_main::showRadioState);
    connect(m_follower, &RigFollower::statusChanged, m_radioLamp, &QWidget::setToolTip);
    m_radioLamp->setToolTip(m_follower->statusText());
    showRadioState();
}

// The controller counts in 10 Hz steps. While the setup dialog has the line closed,
// the frame waits in the panel state: the dialog sends that as it closes.
void frm_main::followRadio(qint64 hz)
{
    const double frequency = static_cast<double>((hz + 5) / 10);
    if (m_setupDialog) {
        lightBand(bandHolding(hz));
        m_state.sndFreq = frequency;
        return;
    }
    tuneBand(bandHolding(hz), frequency);
}

// A screen reader hears the caption's name once for each change of state: the lamp's
// description says only its colour, as every lamp's does.
void frm_main::showRadioState()
{
    for (const RadioLook &look : kRadioLooks) {
        if (look.state != m_follower->state())
            continue;
        m_radioLamp->setShowing(look.grey, look.lit);
        m_radioCaption->setAccessibleName(QString::fromLatin1(look.spoken));
    }
}

// The Radio dialog's choice of a place ends a run-only one, which leaves following
// on or off as it was.
void frm_main::setFollowSettings(const FollowSettings &value)
{
    const bool leavesRunRig =
        m_runRig && (value.host != m_follow.host || value.port != m_follow.port);
    m_follow = value;
    if (leavesRunRig) {
        m_follow.enabled = m_runRig->following;
        m_runRig.reset();
    }
    applyFollowing();
}

void frm_main::followRigForThisRun(const rig::Endpoint &endpoint)
{
    m_runRig = RunRig{endpoint, true};
    applyFollowing();
}

// Off and on again only when that changes: a follower that restarts sends the next
// reading at once, which a change of threshold must not cause.
void frm_main::applyFollowing()
{
    const QString host = m_runRig ? m_runRig->endpoint.host : m_follow.host;
    const quint16 port = m_runRig ? m_runRig->endpoint.port : quint16(m_follow.port);
    const bool on = m_runRig ? m_runRig->following : m_follow.enabled;
    m_follower->setThresholdKHz(m_follow.thresholdKHz);
    m_follower->setSettleMs(m_follow.settleMs);
    if (host != m_follower->host() || port != m_follower->port())
        m_follower->setEndpoint(host, port);
    if (on && !m_follower->isFollowing())
        m_follower->start();
    else if (!on && m_follower->isFollowing())
        m_follower->stop();
    m_followAction->setChecked(on);
}

// A run-only rigctld stays run-only: turning it off and on again stores nothing.
void frm_main::mnuFollow_Click(bool checked)
{
    if (m_runRig) {
        m_runRig->following = checked;
    } else {
        m_follow.enabled = checked;
        m_store->setValue(Key::FollowEnabled, QString::number(checked ? 1 : 0));
    }
    applyFollowing();
}

void frm_main::mnuRadio_Click()
{
    if (!m_radioDialog)
        m_radioDialog = new frm_radio(*this, *m_store, *m_follower, this);
    m_radioDialog->show();
    m_radioDialog->raise();
    m_radioDialog->activateWindow();
}

QWidget *frm_main::radioDialog() const
{
    return m_radioDialog.data();
}

} // namespace tarvik

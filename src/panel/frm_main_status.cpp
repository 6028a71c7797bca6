// The main window's side of the status poll: each Timer1 tick runs GetStatus, keeps
// what it read in the panel state, and shows its outcome on the indicators, the
// frequency display and the received-string box. The Connected lamp also shows a
// port that is closed, and its tool tip a controller that has stopped answering.

#include "frm_main.h"

#include "commport.h"
#include "frequencytext.h"
#include "getstatus.h"

#include <QLineEdit>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {
// One missed reply is a busy moment; three in a row, a controller that is not there.
constexpr int kSilentPollsToTell = 3;
} // namespace

void frm_main::Timer1_Timer()
{
    const StatusPoll poll = GetStatus(*m_port);
    keepWhatWasRead(poll);
    showPoll(poll);
}

// replyHex starts afresh with every request; a poll that read no byte leaves rxByteHex.
void frm_main::keepWhatWasRead(const StatusPoll &poll)
{
    if (poll.requested)
        m_state.replyHex = poll.replyHex;
    if (!poll.rxByteHex.isEmpty())
        m_state.rxByteHex = poll.rxByteHex;
    if (!poll.reading)
        return;
    m_state.rxFreqHex = poll.reading->freqHex;
    m_state.rxFreqMHz = poll.reading->mhz;
    m_state.sndFreq = m_state.rxFreqMHz * proto::kUnitsPerMHz;
}

void frm_main::showPoll(const StatusPoll &poll)
{
    // A refused header turns the lamp red before the request goes out again, even when
    // a good reply follows in the same tick.
    if (poll.wrongHeaders > 0)
        setConnectedLamp(true, QStringLiteral("The controller's reply was not understood"));
    // Once a tick, when the reading has stopped: nothing could repaint while the bytes
    // were read. A reply cut short still shows what came of it.
    if (poll.bodyRead)
        showReceived(poll.replyHex);
    showSilence(poll);
    if (poll.outcome != StatusPoll::Outcome::Reading)
        return;
    m_sinceReply.restart();
    setConnectedLamp(false, QStringLiteral("The controller is answering"));
    if (!m_connected->note().isEmpty())
        m_connected->setNote(u"Controller answering"_s);
    showFrequency(m_state.rxFreqMHz);

    const StatusReading &reading = *poll.reading;
    m_tuning->setFrontVisible(!reading.moving);
    // A code outside the table leaves the pattern lamps as they are.
    if (const proto::StatusCode *status = reading.code) {
        m_lamp180->setFrontVisible(status->pattern != proto::Pattern::Reversed);
        m_lampBid->setFrontVisible(status->pattern != proto::Pattern::Bidirectional);
        m_lamp34->setFrontVisible(true);
    }
    m_retracting->setFrontVisible(reading.code && reading.code->retracting);
}

// Silence leaves the lamp's colour as it was, green included; the tool tip and the
// screen reader say it. A closed port asks nothing, and its own tip stays.
void frm_main::showSilence(const StatusPoll &poll)
{
    if (!poll.requested)
        return;
    if (poll.outcome != StatusPoll::Outcome::NothingRead) {
        m_silentPolls = 0;
        return;
    }
    if (++m_silentPolls < kSilentPollsToTell)
        return;
    setConnectedTip(u"No reply from the controller for %1 s"_s.arg(m_sinceReply.elapsed() / 1000));
    m_connected->setNote(u"Controller not answering"_s);
}

void frm_main::showReceived(const QString &replyHex)
{
    if (m_text1->text() != replyHex)
        m_text1->setText(replyHex);
}

void frm_main::showFrequency(double mhz)
{
    const QString shown = formatMHz(mhz, locale());
    if (m_text3->text() != shown)
        m_text3->setText(shown);
}

// Red for no line or no sense from it, green for a controller that answers; the tool
// tip says which.
void frm_main::setConnectedLamp(bool red, const QString &tip)
{
    m_connected->setFrontVisible(red);
    setConnectedTip(tip);
}

void frm_main::setConnectedTip(const QString &tip)
{
    if (m_connected->toolTip() != tip)
        m_connected->setToolTip(tip);
}

void frm_main::showPortClosed()
{
    setConnectedLamp(true,
                     QStringLiteral("The serial port is closed (%1)").arg(m_port->displayName()));
}

} // namespace tarvik

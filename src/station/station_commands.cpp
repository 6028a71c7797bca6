// The station's commands. Each works out its frame from a copy of the state and, only
// when the frame is written, makes that copy the state: a command that is refused (the
// port closed, the setup dialog holding the line, a value out of range) changes nothing
// and is never sent later. A written command reschedules the poll (schedulePoll).

#include "station.h"

#include "bands.h"
#include "commport.h"
#include "frame.h"
#include "getstatus.h"
#include "latin1.h"
#include "rigprotocol.h"

#include <QTimer>

namespace tarvik {

// Every frame leaves through here; the receive buffer is emptied after it, so a poll
// never reads what came before the command.
bool Station::writeFrame(const QByteArray &frame)
{
    const bool written = m_port->write(frame);
    if (written)
        Q_EMIT frameWritten(frame);
    else
        setLink(LinkCondition::Closed);
    // While a poll waits, everything received came after its request (which emptied the
    // buffer first) and may be its reply: kept. An echo of this frame is skipped.
    if (!m_reader->isWaiting())
        m_port->discardReceive();
    if (written)
        m_reader->noteCommand(frame);
    return written;
}

// `moves`: the frame can set the elements moving, so the transmit interlock may refuse it.
CommandResult Station::sendFrame(const QByteArray &frame, bool moves)
{
    if (m_suspended)
        return CommandResult::HeldBySetup;
    if (const CommandResult verdict = interlockVerdict(m_state);
        moves && verdict != CommandResult::Written)
        return verdict;
    if (!m_port->isOpen())
        return CommandResult::PortClosed;
    // A command no longer ends a poll's wait: the poll it cut short read nothing, and a
    // stream of commands kept every poll from being heard.
    const bool written = writeFrame(frame);
    if (written)
        schedulePoll();
    publish();
    return written ? CommandResult::Written : CommandResult::PortClosed;
}

// The set-frequency frame from `next`, which becomes the state once it is written.
// sndFreq keeps the value the frame carries, raised to the antenna's lower limit.
CommandResult Station::sendSetFrequency(StationState next)
{
    const SetFrequencyFrame frame = encodeSetFrequency(next.sndFreq, next.largeAntenna, next.sndDir,
                                                       latin1(proto::kSetFrequency.hex));
    next.sndFreq = frame.sndFreq;
    const CommandResult result = sendFrame(frame.bytes);
    if (result == CommandResult::Written) {
        m_state.band = next.band;
        m_state.sndFreq = next.sndFreq;
        m_state.sndDir = next.sndDir;
        publish();
    }
    return result;
}

// A band command and the radio's frequency alike.
CommandResult Station::tuneTo(std::optional<std::size_t> band, double frequency)
{
    StationState next = m_state;
    next.band = band;
    next.sndFreq = frequency;
    return sendSetFrequency(next);
}

CommandResult Station::tuneBand(std::size_t band)
{
    if (band >= kBands.size())
        return CommandResult::OutOfRange;
    return tuneTo(band, kBands[band].startFrequency);
}

// The controller counts in 10 Hz steps.
CommandResult Station::tuneFrequency(qint64 hz)
{
    if (hz < rig::kFollowLowHz || hz > rig::kFollowHighHz)
        return CommandResult::OutOfRange;
    return tuneTo(bandHolding(hz), static_cast<double>((hz + 5) / 10));
}

// The follower counts from a frequency only once its frame is on the line, so a retune
// that the line refused is asked for again. One the interlock refused waits, the latest
// in place of any before it, and goes out once the radio stops transmitting.
void Station::followRadio(qint64 hz)
{
    const CommandResult result = tuneFrequency(hz);
    if (result == CommandResult::Written)
        m_follower->noteSent(hz);
    else if (result == CommandResult::Transmitting || result == CommandResult::TransmitUnknown)
        m_heldFollowHz = hz;
}

CommandResult Station::frequencyStep(int delta)
{
    StationState next = m_state;
    next.sndFreq = next.sndFreq.value_or(0.0) + delta;
    return sendSetFrequency(next);
}

CommandResult Station::stepUp()
{
    return frequencyStep(proto::kFrequencyStep);
}

CommandResult Station::stepDown()
{
    return frequencyStep(-proto::kFrequencyStep);
}

CommandResult Station::setPattern(proto::Pattern pattern)
{
    StationState next = m_state;
    next.sndDir = latin1(proto::sndDirFor(pattern));
    return sendSetFrequency(next);
}

// Each toggle decides from the pattern the controller last reported: lit means that
// pattern is on, so the toggle turns it off. Two toggles before a poll send the same.
CommandResult Station::directionToggle(proto::Pattern pattern)
{
    const bool lit = m_state.pattern == pattern;
    return setPattern(lit ? proto::Pattern::Normal : pattern);
}

CommandResult Station::toggleReversed()
{
    return directionToggle(proto::Pattern::Reversed);
}

CommandResult Station::toggleBidirectional()
{
    return directionToggle(proto::Pattern::Bidirectional);
}

CommandResult Station::fixedCodeCommand(const proto::CommandCode &code)
{
    return sendFrame(fixedCodeFrame(m_state.sndDir, code.hex), code.hex != proto::kDisableXcvr.hex);
}

CommandResult Station::home()
{
    return fixedCodeCommand(proto::kHome);
}

CommandResult Station::calibrate()
{
    return fixedCodeCommand(proto::kCalibrate);
}

CommandResult Station::setTransceiver(bool enabled)
{
    // Enabled, the controller may follow the radio by itself, so only that moves.
    return fixedCodeCommand(enabled ? proto::kEnableXcvr : proto::kDisableXcvr);
}

} // namespace tarvik

// The station's commands: each stops the poll timer, changes the state, writes one
// frame and starts the timer again, so polling resumes one interval after the command.
// While the setup dialog holds the line (suspended) a set-frequency command only
// changes the state: resume() sends it.

#include "station.h"

#include "bands.h"
#include "commport.h"
#include "frame.h"
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
    m_port->discardReceive();
    return written;
}

bool Station::sendFrame(const QByteArray &frame)
{
    if (m_suspended) {
        publish();
        return false;
    }
    m_pollTimer->stop();
    const bool written = writeFrame(frame);
    m_pollTimer->start();
    publish();
    return written;
}

// The set-frequency frame from the state. sndFreq keeps the value the frame carries,
// raised to the antenna's lower limit.
bool Station::sendSetFrequency()
{
    if (m_suspended) {
        publish();
        return false;
    }
    const SetFrequencyFrame frame = encodeSetFrequency(
        m_state.sndFreq, m_state.largeAntenna, m_state.sndDir, latin1(proto::kSetFrequency.hex));
    m_state.sndFreq = frame.sndFreq;
    return sendFrame(frame.bytes);
}

// A band command and the radio's frequency alike. The band changes before the frame
// goes out, so it changes even when the send fails.
bool Station::tuneTo(std::optional<std::size_t> band, double frequency)
{
    m_state.band = band;
    m_state.sndFreq = frequency;
    return sendSetFrequency();
}

bool Station::tuneBand(std::size_t band)
{
    if (band >= kBands.size())
        return false;
    return tuneTo(band, kBands[band].startFrequency);
}

// The controller counts in 10 Hz steps.
bool Station::tuneFrequency(qint64 hz)
{
    if (hz < rig::kFollowLowHz || hz > rig::kFollowHighHz)
        return false;
    return tuneTo(bandHolding(hz), static_cast<double>((hz + 5) / 10));
}

void Station::followRadio(qint64 hz)
{
    tuneTo(bandHolding(hz), static_cast<double>((hz + 5) / 10));
}

bool Station::frequencyStep(int delta)
{
    m_state.sndFreq = m_state.sndFreq.value_or(0.0) + delta;
    return sendSetFrequency();
}

bool Station::stepUp()
{
    return frequencyStep(proto::kFrequencyStep);
}

bool Station::stepDown()
{
    return frequencyStep(-proto::kFrequencyStep);
}

bool Station::setPattern(proto::Pattern pattern)
{
    m_state.sndDir = latin1(proto::sndDirFor(pattern));
    return sendSetFrequency();
}

// Each toggle decides from the pattern the controller last reported: lit means that
// pattern is on, so the toggle turns it off. Two toggles before a poll send the same.
bool Station::directionToggle(proto::Pattern pattern)
{
    const bool lit = m_state.pattern == pattern;
    return setPattern(lit ? proto::Pattern::Normal : pattern);
}

bool Station::toggleReversed()
{
    return directionToggle(proto::Pattern::Reversed);
}

bool Station::toggleBidirectional()
{
    return directionToggle(proto::Pattern::Bidirectional);
}

bool Station::fixedCodeCommand(const proto::CommandCode &code)
{
    return sendFrame(fixedCodeFrame(m_state.sndDir, code.hex));
}

bool Station::home()
{
    return fixedCodeCommand(proto::kHome);
}

bool Station::calibrate()
{
    return fixedCodeCommand(proto::kCalibrate);
}

bool Station::setTransceiver(bool enabled)
{
    return fixedCodeCommand(enabled ? proto::kEnableXcvr : proto::kDisableXcvr);
}

} // namespace tarvik

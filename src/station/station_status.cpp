// The station's side of the status poll and of a line that goes away.
//
// Each poll timer tick writes the status request and waits for this request's reply,
// reading bytes as they arrive (readyRead), until a whole frame is in or the window
// (replyWaitMs) has passed; nothing blocks meanwhile. Every poll ends answered (its own
// reply came whole within the window) or not answered (nothing, or a reply cut short),
// and each is counted; only the setup dialog taking the line, or the line closing, ends
// a wait otherwise, and then it counts neither way. The poll's outcome is then folded
// into the state: a good
// frame gives the reading, the pattern and the motion and makes the link Answering; a
// refused header makes it NotUnderstood; three polls in a row that read nothing set
// `silent` and leave the condition as it was. CommPort closes a port whose device went
// away and raises lineLost(): polling stops, the link is Lost and the line retry tries
// the same device once a poll interval, quietly, until it opens and polling resumes.

#include "station.h"

#include "commport.h"
#include "getstatus.h"

#include <QTimer>

#include <QSerialPort>

#include <algorithm>
#include <cmath>

namespace tarvik {

namespace {
// One missed reply is a busy moment; three in a row, a controller that is not there.
constexpr int kSilentPollsToTell = 3;
// Even a very fast poll setting should not turn reopening into a busy loop.
constexpr int kMinRetryMs = 100;
// What a controller, or an adapter that buffers, may take to answer beyond the bytes'
// own time on the wire, however short the poll interval.
constexpr int kReplySlackMs = 400;
} // namespace

void Station::poll()
{
    if (m_pollTimer->interval() != m_settings.pollMs)
        m_pollTimer->setInterval(m_settings.pollMs); // back to the period after a command
    // A controller slower than the interval is still heard: while a poll waits no new
    // request goes out, since its reply could not be told from this one's.
    if (m_reader->isWaiting())
        return;
    m_sincePoll.start();
    if (!m_reader->start() || m_reader->readArrived()) {
        endPoll();
        return;
    }
    m_replyDeadline->start(replyWaitMs());
}

void Station::onReplyBytes()
{
    if (m_reader->isWaiting() && m_reader->readArrived())
        endPoll();
}

// The window: up to a tenth of an interval before the next request, so that a reply
// later than that is dropped by the next request's emptying of the receive buffer, but
// never shorter than the request and the reply on the wire plus kReplySlackMs.
int Station::replyWaitMs() const
{
    const QSerialPort &line = *m_port->serialPort();
    const int bits = 1 + int(line.dataBits()) + (line.parity() == QSerialPort::NoParity ? 0 : 1) +
                     (line.stopBits() == QSerialPort::OneStop ? 1 : 2);
    const int bytes = proto::kStatusFrameSize + int(proto::kStatusRequest.size());
    const int wire = int(std::ceil(1000.0 * bytes * bits / std::max<qint32>(line.baudRate(), 1)));
    return std::max(m_settings.pollMs - m_settings.pollMs / 10, wire + kReplySlackMs);
}

// Only the setup dialog or a closed line ends a wait this way: the poll counts neither
// as answered nor as silent.
void Station::endReplyWait()
{
    m_replyDeadline->stop();
    m_reader->stop();
}

void Station::endPoll()
{
    m_replyDeadline->stop();
    const StatusPoll status = m_reader->result();
    m_reader->stop();
    // A refused header counts even when a good reply follows in the same poll.
    if (status.wrongHeaders > 0)
        setLink(LinkCondition::NotUnderstood);
    // A reply cut short after a good header still shows what came of it.
    if (status.bodyRead)
        m_state.replyHex = status.replyHex;
    noteSilence(status);
    if (status.outcome == StatusPoll::Outcome::Reading) {
        m_sinceReply.restart();
        setLink(LinkCondition::Answering);
        keepReading(*status.reading);
    }
    publish();
}

// After a command the next poll comes one interval later, as after any poll, but never
// later than two intervals after the last one. A timer someone stopped starts afresh.
void Station::schedulePoll()
{
    if (m_suspended || !m_started)
        return;
    const qint64 period = m_settings.pollMs;
    const bool polling = m_pollTimer->isActive() && m_sincePoll.isValid();
    const qint64 latest = polling ? 2 * period - m_sincePoll.elapsed() : period;
    m_pollTimer->start(int(std::clamp<qint64>(latest, 0, period)));
}

// A code outside the table leaves the pattern as it was, and ends retracting.
void Station::keepReading(const StatusReading &reading)
{
    m_state.readingMHz = reading.mhz;
    m_state.sndFreq = reading.mhz * proto::kUnitsPerMHz;
    m_state.moving = reading.moving;
    if (reading.code)
        m_state.pattern = reading.code->pattern;
    m_state.retracting = reading.code && reading.code->retracting;
}

// A closed port asks nothing, and so says nothing about the controller.
void Station::noteSilence(const StatusPoll &status)
{
    if (!status.requested)
        return;
    if (status.outcome != StatusPoll::Outcome::NothingRead) {
        m_silentPolls = 0;
        m_state.silent = false;
        m_state.silentSeconds = 0;
        return;
    }
    if (++m_silentPolls < kSilentPollsToTell)
        return;
    m_state.silent = true;
    m_state.silentSeconds = static_cast<int>(m_sinceReply.elapsed() / 1000);
}

// Any other condition replaces what silence said.
void Station::setLink(LinkCondition link)
{
    if (m_state.link == link)
        return;
    m_state.link = link;
    m_state.silent = false;
    m_state.silentSeconds = 0;
}

// A line opened again, or handed back by the setup dialog, starts counting silence anew.
void Station::restartSilence()
{
    m_silentPolls = 0;
    m_state.silent = false;
    m_state.silentSeconds = 0;
    m_sinceReply.start();
}

void Station::onLineLost()
{
    awaitDevice(LinkCondition::Lost);
    publish();
}

// Polling stops until the device opens again; retryLine() tries once a poll interval.
void Station::awaitDevice(LinkCondition why)
{
    m_pollTimer->stop();
    endReplyWait();
    restartSilence();
    setLink(why);
    m_lineRetry->start(std::max(m_settings.pollMs, kMinRetryMs));
}

// While suspended the line is the setup dialog's; resume() reopens it itself.
void Station::retryLine()
{
    if (m_suspended)
        return;
    if (!m_port->isOpen() && !m_port->openLine())
        return;
    lineOpened();
}

// The first poll goes out at once: a device that has just appeared is asked at once.
void Station::lineOpened()
{
    beginPolling(0);
    publish();
}

// A line that has just opened, or been handed back by the setup dialog: the silence
// count starts afresh and the first poll comes `firstMs` from now.
void Station::beginPolling(int firstMs)
{
    m_lineRetry->stop();
    restartSilence();
    if (m_state.link != LinkCondition::Answering)
        setLink(LinkCondition::Waiting);
    m_pollTimer->start(firstMs);
    m_sincePoll.start();
}

} // namespace tarvik

#include "getstatus.h"

#include "commport.h"
#include "hexcodec.h"
#include "protocol.h"

#include <algorithm>
#include <utility>

namespace tarvik {

namespace {
// Enough for the commands that can cross one reply on the slowest line.
constexpr qsizetype kCommandsKept = 16;

const QByteArray &statusRequest()
{
    static const QByteArray request(reinterpret_cast<const char *>(proto::kStatusRequest.data()),
                                    proto::kStatusRequest.size());
    return request;
}

} // namespace

// False when the request could not be written: the poll is over.
bool StatusReader::request()
{
    m_port.discardTransmit();
    // A reply that came too late for the poll before, or stray bytes, are never read as
    // this request's reply.
    m_port.discardReceive();
    if (!m_port.write(statusRequest())) {
        finish(failedOutcome());
        return false;
    }
    m_poll.requested = true;
    m_poll.replyHex.clear();
    m_reply.restart();
    m_inBody = false;
    return true;
}

StatusPoll::Outcome StatusReader::failedOutcome() const
{
    return m_poll.wrongHeaders > 0 ? StatusPoll::Outcome::BadHeader
                                   : StatusPoll::Outcome::NothingRead;
}

StatusPoll StatusReader::result() const
{
    StatusPoll out = m_poll;
    if (!m_done)
        out.outcome = failedOutcome();
    return out;
}

bool StatusReader::finish(StatusPoll::Outcome outcome)
{
    m_poll.outcome = outcome;
    m_done = true;
    return true;
}

bool StatusReader::start()
{
    m_earlier = std::exchange(m_commands, {}); // an echo may still be on its way
    m_poll = StatusPoll{};
    m_done = false;
    if (!m_port.isOpen()) {
        finish(StatusPoll::Outcome::NothingRead);
        return false;
    }
    return request();
}

void StatusReader::noteCommand(const QByteArray &frame)
{
    if (m_commands.size() >= kCommandsKept)
        m_commands.removeFirst();
    m_commands.append(frame);
}

// A line that echoes what it is sent returns the request before the reply, and a
// command written while the poll waits comes back with the same header and length as a
// reply; neither is the controller's answer.
bool StatusReader::isEcho(StatusAssembler::Step step) const
{
    static const QString requestHex = QString::fromLatin1(statusRequest().toHex().toUpper());
    if (step == StatusAssembler::Step::WrongHeader)
        return m_poll.replyHex == requestHex;
    const QByteArrayView bytes = m_reply.bytes();
    const auto written = [&](const QByteArray &frame) {
        return QByteArrayView(frame) == bytes;
    };
    return step == StatusAssembler::Step::Complete &&
           (std::any_of(m_commands.cbegin(), m_commands.cend(), written) ||
            std::any_of(m_earlier.cbegin(), m_earlier.cend(), written));
}

void StatusReader::skipEcho()
{
    m_poll.replyHex.clear();
    m_poll.bodyRead = false;
    m_reply.restart();
    m_inBody = false;
}

bool StatusReader::readArrived()
{
    while (!m_done) {
        const auto byte = m_port.readByte();
        if (!byte)
            return false;
        m_poll.rxByteHex = byteToHex(*byte);
        m_poll.replyHex += m_poll.rxByteHex;
        const auto step = m_reply.push(*byte);
        m_poll.bodyRead = m_poll.bodyRead || m_inBody;
        if (isEcho(step)) {
            skipEcho();
        } else if (step == StatusAssembler::Step::HeaderFound) {
            m_inBody = true;
        } else if (step == StatusAssembler::Step::WrongHeader) {
            m_port.discardReceive();
            if (++m_poll.wrongHeaders >= proto::kMaxHeaderSearches)
                return finish(StatusPoll::Outcome::BadHeader);
            if (!request())
                return true;
        } else if (step == StatusAssembler::Step::Complete) {
            m_poll.bodyRead = true;
            m_poll.reading = decodeStatusReply(m_reply.bytes());
            if (!m_poll.reading)
                return finish(failedOutcome());
            m_port.discardReceive();
            return finish(StatusPoll::Outcome::Reading);
        }
    }
    return true;
}

} // namespace tarvik

#include "getstatus.h"

#include "commport.h"
#include "hexcodec.h"
#include "protocol.h"

namespace tarvik {

namespace {
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
    m_poll = StatusPoll{};
    m_done = false;
    if (!m_port.isOpen()) {
        finish(StatusPoll::Outcome::NothingRead);
        return false;
    }
    return request();
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
        if (step == StatusAssembler::Step::HeaderFound) {
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

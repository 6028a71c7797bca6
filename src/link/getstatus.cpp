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

bool readInto(CommPort &port, StatusPoll &poll, StatusAssembler &reply, StatusAssembler::Step &step)
{
    const auto byte = port.readByte();
    if (!byte)
        return false;
    poll.rxByteHex = byteToHex(*byte);
    poll.replyHex += poll.rxByteHex;
    step = reply.push(*byte);
    return true;
}

bool findHeader(CommPort &port, StatusPoll &poll, StatusAssembler &reply)
{
    for (int attempt = 0; attempt < proto::kMaxHeaderSearches; ++attempt) {
        port.discardTransmit();
        if (!port.write(statusRequest()))
            return false;
        poll.requested = true;
        poll.replyHex.clear();
        reply.restart();
        auto step = StatusAssembler::Step::NeedMore;
        while (step == StatusAssembler::Step::NeedMore) {
            if (!readInto(port, poll, reply, step))
                return false;
        }
        if (step == StatusAssembler::Step::HeaderFound)
            return true;
        port.discardReceive();
        ++poll.wrongHeaders;
    }
    return false;
}

// The reply after its header, up to the whole frame or the first missing byte.
bool readBody(CommPort &port, StatusPoll &poll, StatusAssembler &reply)
{
    auto step = StatusAssembler::Step::HeaderFound;
    while (step != StatusAssembler::Step::Complete) {
        if (!readInto(port, poll, reply, step))
            return false;
        poll.bodyRead = true;
    }
    return true;
}

StatusPoll::Outcome failed(const StatusPoll &poll)
{
    return poll.wrongHeaders > 0 ? StatusPoll::Outcome::BadHeader
                                 : StatusPoll::Outcome::NothingRead;
}
} // namespace

StatusPoll pollStatus(CommPort &port)
{
    StatusPoll poll;
    if (!port.isOpen())
        return poll;
    StatusAssembler reply;
    if (!findHeader(port, poll, reply) || !readBody(port, poll, reply)) {
        poll.outcome = failed(poll);
        return poll;
    }
    poll.reading = decodeStatusReply(reply.bytes());
    if (!poll.reading) {
        poll.outcome = failed(poll);
        return poll;
    }
    poll.outcome = StatusPoll::Outcome::Reading;
    port.discardReceive();
    return poll;
}

} // namespace tarvik

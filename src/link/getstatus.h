#pragma once

#include "statusdecode.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarvik {

class CommPort;

// What one poll came to, in the protocol's terms; the panel decides what it shows.
struct StatusPoll {
    enum class Outcome {
        NothingRead, // port closed, nothing waiting, or a reply cut short
        BadHeader,   // a reply opened with something other than 40 41 00, and no good one
                     // followed
        Reading,     // a whole status frame, decoded
    };
    Outcome outcome = Outcome::NothingRead;
    // Replies refused for their header, each answered by a fresh request in the same
    // poll; a later one may still have been good.
    int wrongHeaders = 0;
    // A status request went out, so replyHex starts afresh.
    bool requested = false;
    // The reply to the last request as far as it was read, and its last byte; both as
    // upper-case hex text, rxByteHex empty when no byte was read.
    QString replyHex;
    QString rxByteHex;
    // Bytes came after a good header: replyHex is worth showing, whole or cut short.
    bool bodyRead = false;
    std::optional<StatusReading> reading; // with Outcome::Reading
};

// One poll, read as its reply arrives: start() writes the status request, each
// readArrived() takes the bytes that have come since, and the poll ends when a whole
// good frame is in or the header search gives up (a reply opening with the wrong
// header is answered by a fresh request, at most proto::kMaxHeaderSearches in all).
// Whoever drives it decides how long to wait: result() at any moment is the poll as
// far as it got, a reply cut short or missing included. A good frame leaves the receive
// buffer empty.
class StatusReader
{
public:
    explicit StatusReader(CommPort &port)
        : m_port(port)
    {}
    // False when nothing was requested (the port is closed or the write failed): the
    // poll is over at once.
    bool start();
    // True once the poll has its outcome; false while more bytes may come.
    bool readArrived();
    StatusPoll result() const;
    bool isWaiting() const { return !m_done; }
    // Waits no longer: result() stays as far as the poll got.
    void stop() { m_done = true; }
    // A command frame written during this poll or since the one before: an 11-byte block
    // equal to it is the line echoing it, never the reply.
    void noteCommand(const QByteArray &frame);

private:
    bool request();
    StatusPoll::Outcome failedOutcome() const;
    bool finish(StatusPoll::Outcome outcome);
    bool isEcho(StatusAssembler::Step step) const;
    void skipEcho();

    CommPort &m_port;
    StatusPoll m_poll;
    StatusAssembler m_reply;
    bool m_inBody = false;
    bool m_done = true;
    QList<QByteArray> m_commands; // written since this poll began, the latest few
    QList<QByteArray> m_earlier;  // written during the poll before and up to this one
};

} // namespace tarvik

#pragma once

#include "statusdecode.h"

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

// One poll: request, read the waiting reply a byte at a time, check the header and
// decode. Any failure ends it quietly; a good frame leaves the receive buffer empty.
StatusPoll pollStatus(CommPort &port);

} // namespace tarvik

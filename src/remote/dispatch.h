#pragma once

#include "command.h"
#include "station.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

namespace tarvik::remote {

// Hands a checked command to the Station's own method. Every front end that takes
// commands from outside (HTTP, WebSocket, MQTT) goes through here, so they cannot
// differ in what a command does.
CommandResult runCommand(Station &station, const Command &command);

// Why a command was not written, in the words a client is told; empty for Written.
QString refusalText(CommandResult result);

// The largest message a network front end reads; a longer one is refused unread.
inline constexpr qsizetype kMaxMessageBytes = 4 * 1024;

// What became of one message of the WebSocket or of the MQTT command topic.
struct MessageOutcome {
    QString command; // its name for the log; "?" when there is none
    QString error;   // empty: written
};

// The one path a message takes, whatever carried it: refused when the caller's rate
// limiter did not admit it or it is too long, else parsed and run.
MessageOutcome runMessage(Station &station, bool admitted, const QByteArray &message);

// {"ok": true} or {"ok": false, "error": "..."}: the answer a client is given.
QJsonObject outcomeJson(const MessageOutcome &outcome);

} // namespace tarvik::remote

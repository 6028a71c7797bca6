#pragma once

#include "command.h"
#include "station.h"

#include <QString>

namespace tarvik::remote {

// Hands a checked command to the Station's own method. Every front end that takes
// commands from outside (HTTP, WebSocket, MQTT) goes through here, so they cannot
// differ in what a command does.
CommandResult runCommand(Station &station, const Command &command);

// Why a command was not written, in the words a client is told; empty for Written.
QString refusalText(CommandResult result);

} // namespace tarvik::remote

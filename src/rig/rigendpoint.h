#pragma once

#include "rigprotocol.h"

#include <QString>

#include <optional>

namespace tarvik::rig {

struct Endpoint {
    QString host;
    quint16 port;
};

// Longest host name DNS allows.
inline constexpr int kHostMaxLength = 253;

// A host name or address something can look up: 1 to 253 characters, no blanks, no
// control characters, and an IPv6 address bare, without the command line's brackets.
// The command line, the stored settings and the Radio dialog all check with this.
bool isUsableHost(QStringView host);

// A place as the operator writes it on a command line: "HOST", "HOST:PORT",
// "[ADDRESS]:PORT" or a bare IPv6 address. Without a port, `defaultPort` (rigctld's
// own, unless the caller names another). Nothing is looked up here; --rig and the
// remote API's listening address both come through it.
std::optional<Endpoint> parseEndpoint(const QString &text, quint16 defaultPort);
inline std::optional<Endpoint> parseEndpoint(const QString &text)
{
    return parseEndpoint(text, kDefaultPort);
}

} // namespace tarvik::rig

#pragma once

#include <QString>

#include <optional>

namespace tarvik::rig {

struct Endpoint {
    QString host;
    quint16 port;
};

// Where rigctld listens, as the operator writes it on the command line: "HOST",
// "HOST:PORT", "[ADDRESS]:PORT" or a bare IPv6 address. Without a port, rigctld's
// own default. Nothing is looked up here.
std::optional<Endpoint> parseEndpoint(const QString &text);

} // namespace tarvik::rig

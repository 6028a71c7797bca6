#pragma once

#include "settings.h"
#include "token.h"

#include <QHostAddress>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tarvik::remote {

// The API's own port when the listening address names none.
inline constexpr quint16 kDefaultListenPort = 8732;

struct RemoteOptions {
    QHostAddress address{QHostAddress::LocalHost};
    quint16 port = kDefaultListenPort;
    TokenFiles tokenFiles; // read again by reloadTokens()
    Tokens tokens;         // none: only allowed on loopback
    QStringList hosts;     // extra names a client may put in Host
    QString certFile;      // both set: TLS
    QString keyFile;
    QString version; // reported in the state
};

// "ADDRESS:PORT", "[IPv6]:PORT" or "ADDRESS" (the default port).
std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString &text);

// How both front ends decide where and how the API is served: the stored [Remote]
// section, with what the command line gives for one run laid over it. tarvik-station
// and the panel call these, so the rule about tokens is one rule.

// What a command line sets for one run; an empty field leaves the stored value.
struct RemoteOverrides {
    QString listen;
    QString tokenFile;
    QString certFile;
    QString keyFile;
};

// Empty when `address` may be served; otherwise why not, said for the operator.
// Anywhere but loopback a token is required.
QString listenRefusal(const QHostAddress &address, bool hasToken);

// The token files in use: the command line's, else those stored.
TokenFiles tokenFiles(const RemoteSettings &stored, const RemoteOverrides &run);

// The server's options, or none with `why` set: an address that cannot be read, an
// unusable token file, or a non-loopback address without a token.
std::optional<RemoteOptions> remoteOptions(const RemoteSettings &stored, const RemoteOverrides &run,
                                           QString &why);

// "http://127.0.0.1:8732/", "https://[::1]:8732/": where a browser finds the page; for a
// wildcard listener the machine's first address, never 0.0.0.0.
QString pageUrl(const RemoteOptions &options, quint16 port);

} // namespace tarvik::remote

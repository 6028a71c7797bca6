#pragma once

#include <QByteArrayView>
#include <QHostAddress>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvik::remote {

// The pure part of the admission policy: what a request's Host and Origin name, and
// whether the listener answers to it. Nothing here reads the network or the clock, so
// that it can be fuzzed; the policy (admission.h) fills SiteRules in.

// A Host header or an Origin's authority: the name in lower case ("example.org",
// "127.0.0.1", "[::1]") and the port, the scheme's own when the text gives none.
struct Authority {
    QString host;
    quint16 port = 0;
    bool portGiven = false;
};

// "name", "name:port", "[IPv6]" or "[IPv6]:port"; none for anything else.
std::optional<Authority> parseAuthority(QByteArrayView text, quint16 defaultPort);

struct Origin {
    bool tls = false;
    Authority authority;
};
// "http://AUTHORITY" or "https://AUTHORITY" and nothing after it; none for anything else.
std::optional<Origin> parseOrigin(QByteArrayView text);

// True for 0.0.0.0, :: and the dual-stack any address: listening on every address.
bool isWildcard(const QHostAddress &address);

// An address as it stands in a Host header or a URL: IPv6 in brackets.
QString hostText(const QHostAddress &address);

// True for "localhost" and for a loopback address, bracketed or not.
bool namesLoopback(const QString &host);

// Whom one listener answers to.
struct SiteRules {
    bool tls = false;
    quint16 port = 0;
    bool loopbackReachable = false; // listening on loopback or on every address
    QList<QHostAddress> addresses;  // the listening address, or the machine's current ones
    QStringList names;              // [Remote] Hosts: "name" (any port) or "name:port"
};

// Empty when a request with this Host and Origin (empty: none sent) may be served;
// otherwise why not, in the words the client is told.
QString siteRefusal(const SiteRules &rules, QByteArrayView host, QByteArrayView origin);

// Text from the network made fit for one log line: control characters written as
// \xNN (\u+NNNN past Latin-1), cut at 200 characters.
QString forLog(QStringView text);

} // namespace tarvik::remote

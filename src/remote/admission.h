#pragma once

#include "ratelimiter.h"
#include "sessions.h"
#include "site.h"
#include "token.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QString>

namespace tarvik::remote {

struct RemoteOptions;

// What a connection shows before it may speak: its peer and the headers that matter.
struct Knock {
    QHostAddress peer;
    QByteArray host;
    QByteArray origin;
    QByteArray authorization;
    QByteArray cookie;
};

// A refusal as the client is told it; status 0 is none.
struct Refusal {
    int status = 0;
    QString text;
};

// What admission found: a refusal, or what the client may do and by which credential.
struct Grant {
    Refusal refusal;
    Access access = Access::Open;
    QByteArray session; // the session id when a cookie carried it

    // "control token", "view session", "loopback without token": for the log, never
    // the credential itself.
    QString credential() const;
};

inline Grant refusedGrant(int status, const QString &text)
{
    return {{status, text}, Access::Open, {}};
}

// The one place that decides whether a connection may speak, for an HTTP request and a
// WebSocket alike: RemoteServer hands each request and each new WebSocket here as a
// Knock, and each command, whatever path it came by, through admitCommand().
//
// Data flow: the Host and Origin are checked against SiteRules (site.h), which on a
// wildcard listener carry the machine's addresses as they are now (looked up again when
// two seconds old, so an address that comes up later works without a restart); then
// the bearer token or a session (sessions.h); commands are counted per address by one
// RateLimiter.
class AdmissionPolicy
{
public:
    static constexpr int kCommandsPerSecond = 20;

    explicit AdmissionPolicy(const RemoteOptions &options);

    // Called once the listener is up: the port and the scheme Host and Origin must name,
    // and the station's id that names the session cookie.
    void setListener(quint16 port, bool tls, const QString &station);
    // Host and Origin first (403), then the token or a session when `tokenNeeded` (401).
    Grant admit(const Knock &knock, bool tokenNeeded);
    // True, and counted, when `peer` may send one more command now.
    bool admitCommand(const QHostAddress &peer);

    struct Login {
        Refusal refusal;
        QByteArray setCookie; // empty when the station has no token
        Access access = Access::Open;
    };
    // A login with `token`: a new session, or why not (counted as a command).
    Login login(const QHostAddress &peer, const QByteArray &body);
    // Ends the session `grant` came by: the Set-Cookie value that makes the browser
    // forget it, empty when it came by none.
    QByteArray logout(const Grant &grant);

    // New tokens at once: the sessions of a token that changed end. Which kinds of
    // access changed (a client let in by one of them must go); how many sessions ended.
    struct Change {
        QList<Access> changed;
        int sessionsEnded = 0;
    };
    Change setTokens(const Tokens &tokens);
    bool failedClosed() const { return !m_tokens.failed.isEmpty(); }
    // What every request, login and WebSocket is told while failed closed.
    static QString failedClosedText()
    {
        return QStringLiteral("the station cannot read its token file");
    }

private:
    const SiteRules &rules();
    Grant byCredential(const Knock &knock);

    Tokens m_tokens;
    bool m_wildcard = false;
    SiteRules m_rules;
    QElapsedTimer m_addressesAge;
    Sessions m_sessions;
    RateLimiter m_rate{kCommandsPerSecond};
};

} // namespace tarvik::remote

#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarvik::remote {

// What a credential lets a client do.
enum class Access {
    Open,    // no token is asked for (loopback only)
    Control, // the control token, or a session made with it
    View,    // the view-only token, or a session made with it: watching only
};

// Login sessions of one station: a login trades a token for a random id, which the
// browser sends back in a cookie; the session keeps the access of the token it was made
// with. The cookie is named for the station's id: browsers keep one cookie jar per host
// whatever the port, and two stations reached through two tunnels are one host to the
// browser. Under TLS the name carries the __Host- prefix, which makes the browser keep
// it to this host, over TLS, on Path=/.
class Sessions
{
public:
    static constexpr int kMaxSessions = 64;

    // `station` is the station's id; empty (a station without one) names the cookie for
    // the listening port instead.
    void setListener(quint16 port, bool tls, const QString &station);
    QByteArray cookieName() const { return m_name; }
    // A new session, the oldest forgotten past 64: the Set-Cookie value that carries it.
    QByteArray open(Access access);
    // The session the Cookie header carries, when it is one of this station's.
    struct Found {
        QByteArray id;
        Access access;
    };
    std::optional<Found> find(const QByteArray &cookieHeader) const;
    // Ends the sessions made with `access`; how many there were.
    int end(Access access);
    // Ends one session; the Set-Cookie value that makes the browser forget it.
    QByteArray end(const QByteArray &id);

private:
    struct Session {
        QByteArray id;
        Access access;
    };
    QByteArray m_name;
    bool m_tls = false;
    QList<Session> m_sessions;
};

} // namespace tarvik::remote

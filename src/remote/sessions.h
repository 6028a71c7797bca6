#pragma once

#include <QByteArray>
#include <QList>

namespace tarvik::remote {

// Login sessions of one station: a login trades the token for a random id, which the
// browser sends back in a cookie. The cookie is named for the listening port, since
// browsers keep one cookie jar per host whatever the port: two stations on one host
// must not overwrite each other's session. Under TLS the name carries the __Host-
// prefix, which makes the browser keep it to this host, over TLS, on Path=/.
class Sessions
{
public:
    static constexpr int kMaxSessions = 64;

    void setListener(quint16 port, bool tls);
    QByteArray cookieName() const { return m_name; }
    // A new session, the oldest forgotten past 64: the Set-Cookie value that carries it.
    QByteArray open();
    // True when the Cookie header carries one of this station's sessions.
    bool holds(const QByteArray &cookieHeader) const;

private:
    QByteArray m_name;
    bool m_tls = false;
    QList<QByteArray> m_ids;
};

} // namespace tarvik::remote

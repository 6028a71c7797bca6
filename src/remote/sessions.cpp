#include "sessions.h"

#include "token.h"

namespace tarvik::remote {

void Sessions::setListener(quint16 port, bool tls, const QString &station)
{
    m_tls = tls;
    // A cookie name is a token of RFC 6265: anything else in an id is left out.
    QByteArray id;
    for (const QChar c : station)
        if (c.isLetterOrNumber() && c.unicode() < 128)
            id += char(c.unicode());
    m_name = (tls ? "__Host-tarvik_session_" : "tarvik_session_") +
             (id.isEmpty() ? QByteArray::number(port) : id.left(64));
}

QByteArray Sessions::open(Access access)
{
    const QByteArray id = randomText(32);
    m_sessions.append({id, access});
    if (m_sessions.size() > kMaxSessions)
        m_sessions.removeFirst();
    return m_name + '=' + id + "; HttpOnly; SameSite=Strict; Path=/" + (m_tls ? "; Secure" : "");
}

std::optional<Sessions::Found> Sessions::find(const QByteArray &cookieHeader) const
{
    QByteArray sent;
    for (const QByteArray &pair : cookieHeader.split(';')) {
        const QByteArray item = pair.trimmed();
        if (item.startsWith(m_name + '='))
            sent = item.mid(m_name.size() + 1);
    }
    std::optional<Found> found;
    for (const Session &s : m_sessions)
        if (constantTimeEqual(sent, s.id) && !sent.isEmpty())
            found = Found{s.id, s.access};
    return found;
}

int Sessions::end(Access access)
{
    return int(m_sessions.removeIf([access](const Session &s) { return s.access == access; }));
}

QByteArray Sessions::end(const QByteArray &id)
{
    m_sessions.removeIf([&id](const Session &s) { return s.id == id; });
    return m_name + "=; Max-Age=0; HttpOnly; SameSite=Strict; Path=/" + (m_tls ? "; Secure" : "");
}

} // namespace tarvik::remote

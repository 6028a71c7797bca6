#include "sessions.h"

#include "token.h"

namespace tarvik::remote {

void Sessions::setListener(quint16 port, bool tls)
{
    m_tls = tls;
    m_name = (tls ? "__Host-tarvik_session_" : "tarvik_session_") + QByteArray::number(port);
}

QByteArray Sessions::open()
{
    const QByteArray id = randomText(32);
    m_ids.append(id);
    if (m_ids.size() > kMaxSessions)
        m_ids.removeFirst();
    return m_name + '=' + id + "; HttpOnly; SameSite=Strict; Path=/" + (m_tls ? "; Secure" : "");
}

bool Sessions::holds(const QByteArray &cookieHeader) const
{
    QByteArray sent;
    for (const QByteArray &pair : cookieHeader.split(';')) {
        const QByteArray item = pair.trimmed();
        if (item.startsWith(m_name + '='))
            sent = item.mid(m_name.size() + 1);
    }
    bool found = false;
    for (const QByteArray &id : m_ids)
        found = constantTimeEqual(sent, id) || found;
    return !sent.isEmpty() && found;
}

} // namespace tarvik::remote

#include "admission.h"

#include "remoteserver.h"
#include "token.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkInterface>

namespace tarvik::remote {
namespace {

constexpr qint64 kAddressesMaxAgeMs = 2000;

} // namespace

AdmissionPolicy::AdmissionPolicy(const RemoteOptions &options)
    : m_token(options.token)
    , m_wildcard(isWildcard(options.address))
{
    m_rules.names = options.hosts;
    m_rules.loopbackReachable = m_wildcard || options.address.isLoopback();
    if (!m_wildcard)
        m_rules.addresses = {options.address};
}

void AdmissionPolicy::setListener(quint16 port, bool tls)
{
    m_rules.port = port;
    m_rules.tls = tls;
    m_sessions.setListener(port, tls);
}

const SiteRules &AdmissionPolicy::rules()
{
    if (m_wildcard &&
        (!m_addressesAge.isValid() || m_addressesAge.hasExpired(kAddressesMaxAgeMs))) {
        m_rules.addresses = QNetworkInterface::allAddresses();
        for (QHostAddress &a : m_rules.addresses)
            a.setScopeId({});
        m_addressesAge.start();
    }
    return m_rules;
}

Refusal AdmissionPolicy::admit(const Knock &knock, bool tokenNeeded)
{
    const QString site = siteRefusal(rules(), knock.host, knock.origin);
    if (!site.isEmpty())
        return {403, site};
    if (!tokenNeeded || m_token.isEmpty())
        return {};
    const QByteArray &authorization = knock.authorization;
    if (authorization.startsWith("Bearer ") &&
        constantTimeEqual(authorization.mid(7).trimmed(), m_token))
        return {};
    if (m_sessions.holds(knock.cookie))
        return {};
    return {401, QStringLiteral("a token is needed")};
}

bool AdmissionPolicy::admitCommand(const QHostAddress &peer)
{
    return m_rate.admit(peer, QDateTime::currentMSecsSinceEpoch());
}

AdmissionPolicy::Login AdmissionPolicy::login(const QHostAddress &peer, const QByteArray &body)
{
    if (!admitCommand(peer))
        return {{429, QStringLiteral("too many requests")}, {}};
    const QJsonValue token = QJsonDocument::fromJson(body).object().value(u"token");
    if (!token.isString())
        return {{400, QStringLiteral("send {\"token\": \"...\"}")}, {}};
    if (m_token.isEmpty())
        return {}; // nothing to trade: every client is let in already
    if (!constantTimeEqual(token.toString().toUtf8(), m_token))
        return {{401, QStringLiteral("wrong token")}, {}};
    return {{}, m_sessions.open()};
}

} // namespace tarvik::remote

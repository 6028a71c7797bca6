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

QString Grant::credential() const
{
    switch (access) {
    case Access::Open:
        return QStringLiteral("loopback without token");
    case Access::Control:
        return session.isEmpty() ? QStringLiteral("control token") : QStringLiteral("session");
    case Access::View:
        return session.isEmpty() ? QStringLiteral("view token") : QStringLiteral("view session");
    }
    return {};
}

AdmissionPolicy::AdmissionPolicy(const RemoteOptions &options)
    : m_tokens(options.tokens)
    , m_wildcard(isWildcard(options.address))
{
    m_rules.names = options.hosts;
    m_rules.loopbackReachable = m_wildcard || options.address.isLoopback();
    if (!m_wildcard)
        m_rules.addresses = {options.address};
}

void AdmissionPolicy::setListener(quint16 port, bool tls, const QString &station)
{
    m_rules.port = port;
    m_rules.tls = tls;
    m_sessions.setListener(port, tls, station);
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

Grant AdmissionPolicy::admit(const Knock &knock, bool tokenNeeded)
{
    const QString site = siteRefusal(rules(), knock.host, knock.origin);
    if (!site.isEmpty())
        return refusedGrant(403, site);
    if (!m_tokens.any())
        return {};
    // Where none is needed, a credential still tells the page its access.
    const Grant grant = byCredential(knock);
    if (grant.refusal.status == 0 || !tokenNeeded)
        return grant.refusal.status == 0 ? grant : Grant{};
    if (failedClosed())
        return refusedGrant(401, failedClosedText());
    return refusedGrant(401, QStringLiteral("a token is needed"));
}

Grant AdmissionPolicy::byCredential(const Knock &knock)
{
    const QByteArray &authorization = knock.authorization;
    if (authorization.startsWith("Bearer ")) {
        const QByteArray sent = authorization.mid(7).trimmed();
        // Both compared always, so the time taken does not say which one matched.
        const bool control = constantTimeEqual(sent, m_tokens.control);
        const bool view = constantTimeEqual(sent, m_tokens.view);
        if (control && !m_tokens.control.isEmpty())
            return {{}, Access::Control, {}};
        if (view && !m_tokens.view.isEmpty())
            return {{}, Access::View, {}};
    }
    if (const auto session = m_sessions.find(knock.cookie))
        return {{}, session->access, session->id};
    return refusedGrant(401, {});
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
    if (!m_tokens.any())
        return {}; // nothing to trade: every client is let in already
    const Grant grant = byCredential({{}, {}, {}, "Bearer " + token.toString().toUtf8(), {}});
    if (grant.refusal.status != 0)
        return {{401, failedClosed() ? failedClosedText() : QStringLiteral("wrong token")}, {}};
    return {{}, m_sessions.open(grant.access), grant.access};
}

QByteArray AdmissionPolicy::logout(const Grant &grant)
{
    return grant.session.isEmpty() ? QByteArray() : m_sessions.end(grant.session);
}

AdmissionPolicy::Change AdmissionPolicy::setTokens(const Tokens &tokens)
{
    Change change;
    const bool wasOpen = !m_tokens.any();
    const bool closed = !tokens.failed.isEmpty();
    if (closed || !constantTimeEqual(tokens.control, m_tokens.control))
        change.changed.append(Access::Control);
    if (closed || !constantTimeEqual(tokens.view, m_tokens.view))
        change.changed.append(Access::View);
    if (wasOpen && tokens.any())
        change.changed.append(Access::Open);
    for (const Access access : std::as_const(change.changed))
        change.sessionsEnded += m_sessions.end(access);
    m_tokens = tokens;
    return change;
}

} // namespace tarvik::remote

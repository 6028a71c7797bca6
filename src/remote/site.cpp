#include "site.h"

#include <algorithm>

namespace tarvik::remote {
namespace {

constexpr qsizetype kMaxLogText = 200;
constexpr qsizetype kMaxHostName = 253;

std::optional<quint16> parsePort(QByteArrayView digits)
{
    if (digits.isEmpty() || digits.size() > 5)
        return std::nullopt;
    int value = 0;
    for (const char c : digits) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + (c - '0');
    }
    if (value < 1 || value > 65535)
        return std::nullopt;
    return quint16(value);
}

bool hostNameCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || c == '_';
}

} // namespace

bool isWildcard(const QHostAddress &address)
{
    return address == QHostAddress::AnyIPv4 || address == QHostAddress::AnyIPv6 ||
           address == QHostAddress::Any;
}

QString hostText(const QHostAddress &address)
{
    return address.protocol() == QAbstractSocket::IPv6Protocol
               ? QLatin1Char('[') + address.toString().toLower() + QLatin1Char(']')
               : address.toString();
}

std::optional<Authority> parseAuthority(QByteArrayView text, quint16 defaultPort)
{
    const QByteArray lower = text.trimmed().toByteArray().toLower();
    Authority out;
    qsizetype colon = -1;
    if (lower.startsWith('[')) {
        const qsizetype close = lower.indexOf(']');
        const QHostAddress address(QString::fromLatin1(lower.mid(1, close - 1)));
        if (close < 0 || address.protocol() != QAbstractSocket::IPv6Protocol ||
            !address.scopeId().isEmpty())
            return std::nullopt;
        out.host = hostText(address);
        if (close + 1 < lower.size() && lower[close + 1] != ':')
            return std::nullopt;
        colon = close + 1 < lower.size() ? close + 1 : -1;
    } else {
        colon = lower.indexOf(':');
        const QByteArray name = colon < 0 ? lower : lower.left(colon);
        if (name.isEmpty() || name.size() > kMaxHostName ||
            !std::all_of(name.begin(), name.end(), hostNameCharacter))
            return std::nullopt;
        out.host = QString::fromLatin1(name);
    }
    out.portGiven = colon >= 0;
    const auto port = out.portGiven ? parsePort(QByteArrayView(lower).sliced(colon + 1))
                                    : std::optional<quint16>(defaultPort);
    if (!port)
        return std::nullopt;
    out.port = *port;
    return out;
}

std::optional<Origin> parseOrigin(QByteArrayView text)
{
    for (const bool tls : {false, true}) {
        const QByteArrayView scheme = tls ? "https://" : "http://";
        if (!text.startsWith(scheme))
            continue;
        const auto authority = parseAuthority(text.sliced(scheme.size()), tls ? 443 : 80);
        if (!authority || text.trimmed().size() != text.size())
            return std::nullopt;
        return Origin{tls, *authority};
    }
    return std::nullopt;
}

bool namesLoopback(const QString &host)
{
    if (host == QStringLiteral("localhost"))
        return true;
    const bool bracket = host.startsWith(QLatin1Char('['));
    const QHostAddress address(bracket ? host.mid(1, host.size() - 2) : host);
    return !address.isNull() && address.isLoopback() &&
           bracket == (address.protocol() == QAbstractSocket::IPv6Protocol);
}

QString siteRefusal(const SiteRules &rules, QByteArrayView host, QByteArrayView origin)
{
    const quint16 defaultPort = rules.tls ? 443 : 80;
    const auto named = parseAuthority(host, defaultPort);
    bool known = named && rules.loopbackReachable && namesLoopback(named->host);
    for (const QHostAddress &a : rules.addresses)
        known = known || (named && named->host == hostText(a) && named->port == rules.port);
    for (const QString &entry : rules.names) {
        const auto allowed = parseAuthority(entry.toLatin1(), 0);
        known = known || (named && allowed && allowed->host == named->host &&
                          (!allowed->portGiven || allowed->port == named->port));
    }
    if (!known)
        return QStringLiteral("Host not accepted; add the name to [Remote] Hosts");
    if (origin.isEmpty())
        return {};
    const auto from = parseOrigin(origin);
    if (!from || from->tls != rules.tls || from->authority.host != named->host ||
        from->authority.port != named->port)
        return QStringLiteral("Origin refused: only pages from this station may call it");
    return {};
}

QString forLog(QStringView text)
{
    QString out;
    for (const QChar c : text) {
        const QChar::Category kind = c.category();
        const bool hidden = kind == QChar::Other_Control || kind == QChar::Other_Format ||
                            kind == QChar::Separator_Line || kind == QChar::Separator_Paragraph ||
                            kind == QChar::Other_Surrogate;
        const QString piece =
            !hidden ? QString(c)
            : c.unicode() < 0x100
                ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'))
                : QStringLiteral("\\u+%1").arg(c.unicode(), 4, 16, QLatin1Char('0'));
        if (out.size() + piece.size() > kMaxLogText)
            break;
        out += piece;
    }
    return out;
}

} // namespace tarvik::remote

#include "rigendpoint.h"

#include "rigprotocol.h"

#include <algorithm>

namespace tarvik::rig {

namespace {
std::optional<quint16> readPort(QStringView text)
{
    if (text.isEmpty() ||
        !std::all_of(text.begin(), text.end(), [](QChar c) { return c.isDigit(); }))
        return std::nullopt;
    bool ok = false;
    const uint port = text.toUInt(&ok);
    if (!ok || port == 0 || port > 65535)
        return std::nullopt;
    return static_cast<quint16>(port);
}
} // namespace

bool isUsableHost(QStringView host)
{
    return !host.isEmpty() && host.size() <= kHostMaxLength &&
           std::none_of(host.begin(), host.end(), [](QChar c) {
               return c.isSpace() || c.category() == QChar::Other_Control || c == u'[' || c == u']';
           });
}

std::optional<Endpoint> parseEndpoint(const QString &text, quint16 defaultPort)
{
    QStringView host = text;
    QStringView port;
    if (text.startsWith(u'[')) {
        const qsizetype close = text.indexOf(u']');
        if (close < 0)
            return std::nullopt;
        host = QStringView(text).mid(1, close - 1);
        const QStringView rest = QStringView(text).mid(close + 1);
        if (!rest.isEmpty() && !rest.startsWith(u':'))
            return std::nullopt;
        port = rest.mid(1);
        if (!rest.isEmpty() && port.isEmpty())
            return std::nullopt;
    } else if (text.count(u':') == 1) {
        const qsizetype colon = text.indexOf(u':');
        host = QStringView(text).left(colon);
        port = QStringView(text).mid(colon + 1);
        if (port.isEmpty())
            return std::nullopt;
    } // more than one colon and no brackets: an IPv6 address without a port
    if (!isUsableHost(host))
        return std::nullopt;
    if (port.isEmpty())
        return Endpoint{host.toString(), defaultPort};
    const std::optional<quint16> number = readPort(port);
    if (!number)
        return std::nullopt;
    return Endpoint{host.toString(), *number};
}

} // namespace tarvik::rig

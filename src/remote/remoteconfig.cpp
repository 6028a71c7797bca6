#include "remoteconfig.h"

#include "token.h"

#include <tarvik/version.h>

using namespace Qt::StringLiterals;

namespace tarvik::remote {

QString listenRefusal(const QHostAddress &address, bool hasToken)
{
    if (address.isLoopback() || hasToken)
        return {};
    return u"refusing to listen on %1 without a token. Make one with Create Token under "
           "Preferences, Remote Access in the panel, or with \"tarvik-station --make-token "
           "FILE\" and give it with --token-file FILE (or [Remote] TokenFile); reach the "
           "station through a VPN or an SSH tunnel, never a bare port on the internet"_s.arg(
               address.toString());
}

std::optional<RemoteOptions> remoteOptions(const RemoteSettings &stored, const RemoteOverrides &run,
                                           QString &why)
{
    const QString listenText = run.listen.isEmpty() ? stored.listen : run.listen;
    const auto listen = parseListen(listenText);
    if (!listen) {
        why = u"cannot listen on \"%1\": give ADDRESS:PORT"_s.arg(listenText);
        return std::nullopt;
    }
    RemoteOptions options;
    options.address = listen->first;
    options.port = listen->second;
    options.hosts = stored.hosts;
    options.certFile = run.certFile;
    options.keyFile = run.keyFile;
    options.version = QString::fromLatin1(version::text);
    const QString tokenFile = run.tokenFile.isEmpty() ? stored.tokenFile : run.tokenFile;
    if (!tokenFile.isEmpty()) {
        const auto token = readTokenFile(tokenFile);
        if (!token.token) {
            why = token.error;
            return std::nullopt;
        }
        options.token = *token.token;
    }
    why = listenRefusal(options.address, !options.token.isEmpty());
    if (!why.isEmpty())
        return std::nullopt;
    return options;
}

QString pageUrl(const RemoteOptions &options, quint16 port)
{
    const QString host = options.address.protocol() == QAbstractSocket::IPv6Protocol
                             ? u'[' + options.address.toString() + u']'
                             : options.address.toString();
    return u"%1://%2:%3/"_s.arg(options.certFile.isEmpty() ? u"http"_s : u"https"_s, host)
        .arg(port);
}

} // namespace tarvik::remote

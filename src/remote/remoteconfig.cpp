#include "remoteconfig.h"

#include "rigendpoint.h"
#include "site.h"
#include "token.h"

#include <tarvik/version.h>

#include <QNetworkInterface>

using namespace Qt::StringLiterals;

namespace tarvik::remote {

std::optional<std::pair<QHostAddress, quint16>> parseListen(const QString &text)
{
    const auto endpoint = rig::parseEndpoint(text.trimmed(), kDefaultListenPort);
    if (!endpoint)
        return std::nullopt;
    const QHostAddress address(endpoint->host == QStringLiteral("localhost")
                                   ? QStringLiteral("127.0.0.1")
                                   : endpoint->host);
    if (address.isNull())
        return std::nullopt;
    return std::pair{address, endpoint->port};
}

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

TokenFiles tokenFiles(const RemoteSettings &stored, const RemoteOverrides &run)
{
    return {run.tokenFile.isEmpty() ? stored.tokenFile : run.tokenFile, stored.viewTokenFile};
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
    options.tokenFiles = tokenFiles(stored, run);
    options.tokens = readTokens(options.tokenFiles);
    if (!options.tokens.failed.isEmpty()) {
        why = options.tokens.failed;
        return std::nullopt;
    }
    why = listenRefusal(options.address, options.tokens.any());
    if (!why.isEmpty())
        return std::nullopt;
    return options;
}

namespace {

// Where a browser reaches a listener: its own address, or for a wildcard the machine's
// first address that is not loopback or link-local (loopback when it has none), which
// the admission policy answers to. 0.0.0.0 is never a place to go.
QHostAddress reachableAddress(const QHostAddress &listen)
{
    if (!isWildcard(listen))
        return listen;
    const bool ipv4Only = listen == QHostAddress::AnyIPv4;
    for (QHostAddress a : QNetworkInterface::allAddresses()) {
        a.setScopeId({});
        const bool ipv4 = a.protocol() == QAbstractSocket::IPv4Protocol;
        if (!a.isLoopback() && !a.isLinkLocal() && (ipv4 || !ipv4Only))
            return a;
    }
    return QHostAddress(QHostAddress::LocalHost);
}

} // namespace

QString pageUrl(const RemoteOptions &options, quint16 port)
{
    const QString host = hostText(reachableAddress(options.address));
    return u"%1://%2:%3/"_s.arg(options.certFile.isEmpty() ? u"http"_s : u"https"_s, host)
        .arg(port);
}

} // namespace tarvik::remote

#include "remoteserver.h"

#include "command.h"
#include "connectionguard.h"
#include "dispatch.h"
#include "remoteconfig.h"
#include "statejson.h"
#include "station.h"

#include <QDateTime>
#include <QFile>
#include <QHttpServerRequest>
#include <QJsonDocument>
#include <QMetaEnum>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpSocket>
#include <QWebSocket>

#include <array>
#include <cstdio>

namespace tarvik::remote {
namespace {

constexpr qsizetype kMaxBody = ConnectionGuard::kMaxBodyBytes;

// What a page may load: only from this server, and never inside another site's frame.
constexpr char kPagePolicy[] =
    "default-src 'self'; connect-src 'self'; img-src 'self' data:; style-src 'self'; "
    "script-src 'self'; object-src 'none'; base-uri 'none'; frame-ancestors 'none'; "
    "form-action 'self'";

struct ContentType {
    const char *suffix;
    const char *type;
};
constexpr std::array<ContentType, 6> kContentTypes{{
    {".html", "text/html; charset=utf-8"},
    {".js", "text/javascript; charset=utf-8"},
    {".css", "text/css; charset=utf-8"},
    {".svg", "image/svg+xml"},
    {".png", "image/png"},
    {".json", "application/json"},
}};

bool isUpgrade(const QHttpServerRequest &request)
{
    return request.value("upgrade").compare("websocket", Qt::CaseInsensitive) == 0;
}

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

} // namespace

RemoteServer::RemoteServer(Station *station, const RemoteOptions &options, QObject *parent)
    : QAbstractHttpServer(parent)
    , m_station(station)
    , m_options(options)
    , m_guard(new ConnectionGuard(this))
    , m_policy(options)
{
    connect(this, &QAbstractHttpServer::newWebSocketConnection, this,
            &RemoteServer::acceptWebSockets);
    connect(m_station, &Station::stateChanged, this, &RemoteServer::broadcast);
    // The Remote lamp is the station's, like every lamp: it hears how many are connected.
    connect(this, &RemoteServer::clientsChanged, m_station, [this](const QStringList &clients) {
        if (m_serving)
            m_station->setRemoteClients(int(clients.size()));
    });
}

RemoteServer::~RemoteServer()
{
    // A server that was stopped has said so; another may serve by now, and this one's
    // end must not put the lamp out under it.
    if (m_station && std::exchange(m_serving, false))
        m_station->setRemoteClients(-1);
}

bool RemoteServer::start()
{
    m_error = listenRefusal(m_options.address, m_options.tokens.any());
    if (!m_error.isEmpty())
        return false;
    if (!m_options.certFile.isEmpty() && !loadTls())
        return false;
    if (!m_guard->listen(m_options.address, m_options.port)) {
        m_error = QStringLiteral("cannot listen on %1:%2: %3")
                      .arg(hostText(m_options.address))
                      .arg(m_options.port)
                      .arg(m_guard->errorString());
        return false;
    }
    bind(m_guard);
    m_policy.setListener(port(), m_guard->tls(), m_station->identity());
    m_serving = true;
    m_station->setRemoteClients(int(m_webSockets.size()));
    return true;
}

bool RemoteServer::loadTls()
{
    QFile certFile(m_options.certFile);
    QFile keyFile(m_options.keyFile);
    if (!certFile.open(QIODevice::ReadOnly) || !keyFile.open(QIODevice::ReadOnly)) {
        m_error = QStringLiteral("cannot read the certificate %1 or the key %2")
                      .arg(m_options.certFile, m_options.keyFile);
        return false;
    }
    const auto certificates = QSslCertificate::fromData(certFile.readAll(), QSsl::Pem);
    const QByteArray keyPem = keyFile.readAll();
    QSslKey key(keyPem, QSsl::Rsa);
    if (key.isNull())
        key = QSslKey(keyPem, QSsl::Ec);
    if (certificates.isEmpty() || key.isNull()) {
        m_error = QStringLiteral("%1 holds no PEM certificate or %2 no PEM RSA or EC key")
                      .arg(m_options.certFile, m_options.keyFile);
        return false;
    }
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificateChain(certificates);
    tls.setPrivateKey(key);
    tls.setPeerVerifyMode(QSslSocket::VerifyNone);
    m_guard->setSslConfiguration(tls);
    m_guard->setTls(true);
    return true;
}

quint16 RemoteServer::port() const
{
    return m_guard->serverPort();
}

void RemoteServer::stop()
{
    m_serving = false;
    closeWebSockets({}, [](const Grant &) { return true; });
    m_guard->close();
    m_station->setRemoteClients(-1);
}

void RemoteServer::closeWebSockets(const QString &why,
                                   const std::function<bool(const Grant &)> &which)
{
    // Each close edits m_webSockets through dropWebSocket(): loop over a copy.
    const QList<QWebSocket *> open = m_webSockets;
    for (QWebSocket *socket : open)
        if (which(m_grants.value(socket)))
            socket->close(why.isEmpty() ? QWebSocketProtocol::CloseCodeGoingAway
                                        : QWebSocketProtocol::CloseCodePolicyViolated,
                          why);
}

QString RemoteServer::reloadTokens(const TokenFiles &files)
{
    m_options.tokenFiles = files;
    Tokens tokens = readTokens(files);
    if (tokens.failed.isEmpty() && !tokens.any())
        tokens.failed = listenRefusal(m_options.address, false); // never open off loopback
    const bool wasClosed = m_policy.failedClosed();
    const AdmissionPolicy::Change change = m_policy.setTokens(tokens);
    if (!tokens.failed.isEmpty()) {
        m_tokenRetry.start();
        closeWebSockets(AdmissionPolicy::failedClosedText(), [](const Grant &) { return true; });
        return wasClosed ? QString()
                         : QStringLiteral("every API request is refused (%1 sessions ended) "
                                          "until the token file is good again: %2")
                               .arg(change.sessionsEnded)
                               .arg(tokens.failed);
    }
    if (change.changed.isEmpty())
        return {};
    closeWebSockets(QStringLiteral("the token changed; log in again"),
                    [&](const Grant &g) { return change.changed.contains(g.access); });
    return QStringLiteral("token changed; %1 sessions ended").arg(change.sessionsEnded);
}

// Failed closed, the files are tried again as requests come, at most every two
// seconds: a good file put in place is taken without waiting for a reload.
void RemoteServer::retryTokens()
{
    if (!m_policy.failedClosed() || !m_tokenRetry.hasExpired(2000))
        return;
    m_tokenRetry.start();
    const QString said = reloadTokens(m_options.tokenFiles);
    if (!said.isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(said));
}

QStringList RemoteServer::clients() const
{
    QStringList out;
    for (const QWebSocket *socket : m_webSockets)
        out << socket->peerAddress().toString();
    return out;
}

void RemoteServer::log(const QHostAddress &client, const QString &what, const QString &result) const
{
    // `what` and `result` may carry network text (a path, a header): escaped and cut.
    const QString line = QStringLiteral("%1 %2 %3 %4\n")
                             .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs),
                                  client.toString(), forLog(what), forLog(result));
    std::fputs(line.toLocal8Bit().constData(), stderr);
}

// ---- HTTP ---------------------------------------------------------------------

bool RemoteServer::handleRequest(const QHttpServerRequest &request, QTcpSocket *socket)
{
    m_guard->requestDone(socket);
    retryTokens();
    const QString path = request.url().path();
    const bool api = path.startsWith(QStringLiteral("/api/"));
    Reply reply;
    const bool tokenNeeded = isUpgrade(request) ? path == QStringLiteral("/api/v1/events")
                                                : api && path != QStringLiteral("/api/v1/login") &&
                                                      path != QStringLiteral("/api/v1/logout");
    const Grant grant =
        m_policy.admit({request.remoteAddress(), request.value("host"), request.value("origin"),
                        request.value("authorization"), request.value("cookie")},
                       tokenNeeded);
    const Refusal &refused = grant.refusal;
    if (refused.status != 0)
        reply = error(Status(refused.status), refused.text);
    else if (isUpgrade(request))
        reply = upgradeReply(request);
    else
        reply = api ? apiReply(request, grant) : staticReply(request);
    if (isUpgrade(request) && reply.status == Status::SwitchingProtocols)
        return true; // the module completes the handshake once this returns
    send(request, socket, reply);
    if (isUpgrade(request))
        socket->disconnectFromHost(); // refused: the module must not upgrade it
    if (api || refused.status != 0) {
        const QString method = QString::fromLatin1(
            QMetaEnum::fromType<QHttpServerRequest::Method>().valueToKey(int(request.method())));
        // A login's own token is in its body: it is said by the session it makes.
        const bool by = refused.status == 0 && (tokenNeeded || !grant.session.isEmpty());
        log(request.remoteAddress(), method.toUpper() + QLatin1Char(' ') + path,
            QString::number(int(reply.status)) +
                (by ? QStringLiteral(" by ") + grant.credential() : QString()));
    }
    return true;
}

void RemoteServer::missingHandler(const QHttpServerRequest &request, QTcpSocket *socket)
{
    send(request, socket, error(Status::NotFound, QStringLiteral("no such path")));
}

RemoteServer::Reply RemoteServer::apiReply(const QHttpServerRequest &request, const Grant &grant)
{
    const QString path = request.url().path();
    const bool post = request.method() == QHttpServerRequest::Method::Post;
    if (path == QStringLiteral("/api/v1/login"))
        return post ? loginReply(request)
                    : error(Status::MethodNotAllowed, QStringLiteral("use POST"));
    if (path == QStringLiteral("/api/v1/logout"))
        return post ? logoutReply(grant)
                    : error(Status::MethodNotAllowed, QStringLiteral("use POST"));
    const QString name = path.mid(int(sizeof "/api/v1/") - 1);
    const bool read = request.method() == QHttpServerRequest::Method::Get ||
                      request.method() == QHttpServerRequest::Method::Head;
    if (name == QStringLiteral("state"))
        return read ? stateReply(grant.access, !grant.session.isEmpty())
                    : error(Status::MethodNotAllowed, QStringLiteral("use GET"));
    if (name == QStringLiteral("events"))
        return error(Status::BadRequest, QStringLiteral("open a WebSocket here"));
    if (!path.startsWith(QStringLiteral("/api/v1/")) || !findCommand(name))
        return error(Status::NotFound, QStringLiteral("no such path"));
    if (!post)
        return error(Status::MethodNotAllowed, QStringLiteral("use POST"));
    return commandReply(name, request, grant);
}

// The module shows the application an upgrade request before it completes the
// handshake: a refused one is answered here and closed, so no WebSocket ever opens.
RemoteServer::Reply RemoteServer::upgradeReply(const QHttpServerRequest &request)
{
    if (request.url().path() != QStringLiteral("/api/v1/events"))
        return error(Status::NotFound, QStringLiteral("no WebSocket here"));
    if (m_webSockets.size() >= kMaxWebSockets)
        return error(Status::ServiceUnavailable, QStringLiteral("16 WebSocket clients already"));
    return {Status::SwitchingProtocols, {}, {}, {}};
}

RemoteServer::Reply RemoteServer::loginReply(const QHttpServerRequest &request)
{
    if (request.body().size() > kMaxBody)
        return error(Status::PayloadTooLarge, QStringLiteral("body over 4 KiB"));
    const auto login = m_policy.login(request.remoteAddress(), request.body());
    if (login.refusal.status != 0)
        return error(Status(login.refusal.status), login.refusal.text);
    Reply reply = stateReply(login.access, !login.setCookie.isEmpty());
    if (!login.setCookie.isEmpty())
        reply.headers.append({"Set-Cookie", login.setCookie});
    return reply;
}

// The session ends, and so do the WebSockets it opened.
RemoteServer::Reply RemoteServer::logoutReply(const Grant &grant)
{
    const QByteArray forget = m_policy.logout(grant);
    if (!grant.session.isEmpty())
        closeWebSockets(QStringLiteral("logged out"),
                        [&](const Grant &g) { return g.session == grant.session; });
    Reply reply{Status::Ok,
                json({{QStringLiteral("loggedOut"), !forget.isEmpty()}}),
                "application/json",
                {}};
    if (!forget.isEmpty())
        reply.headers.append({"Set-Cookie", forget});
    return reply;
}

RemoteServer::Reply RemoteServer::commandReply(const QString &name,
                                               const QHttpServerRequest &request,
                                               const Grant &grant)
{
    if (grant.access == Access::View)
        return error(Status::Forbidden, QStringLiteral("view-only token"));
    if (request.body().size() > kMaxBody)
        return error(Status::PayloadTooLarge, QStringLiteral("body over 4 KiB"));
    if (!m_policy.admitCommand(request.remoteAddress()))
        return error(Status::TooManyRequests, QStringLiteral("more than 20 commands a second"));
    const ParsedCommand parsed = parseCommand(name, request.body());
    if (!parsed.command)
        return error(Status::BadRequest, parsed.error);
    const CommandResult result = runCommand(*m_station, *parsed.command);
    if (result == CommandResult::OutOfRange)
        return error(Status::BadRequest, refusalText(result));
    // The radio's doing, not the station's: the same request may go once it receives.
    if (result == CommandResult::Transmitting || result == CommandResult::TransmitUnknown)
        return error(Status::Conflict, refusalText(result));
    if (result != CommandResult::Written)
        return error(Status::ServiceUnavailable, refusalText(result));
    return stateReply(grant.access, !grant.session.isEmpty());
}

RemoteServer::Reply RemoteServer::staticReply(const QHttpServerRequest &request) const
{
    const auto method = request.method();
    if (method != QHttpServerRequest::Method::Get && method != QHttpServerRequest::Method::Head)
        return error(Status::MethodNotAllowed, QStringLiteral("use GET"));
    QString path = request.url().path();
    if (path == QStringLiteral("/"))
        path = QStringLiteral("/index.html");
    QFile file(QStringLiteral(":/web") + path);
    if (path.contains(QStringLiteral("/.")) || !file.open(QIODevice::ReadOnly))
        return error(Status::NotFound, QStringLiteral("no such file"));
    Reply reply{Status::Ok, file.readAll(), "application/octet-stream", {}};
    for (const auto &t : kContentTypes)
        if (path.endsWith(QLatin1String(t.suffix)))
            reply.type = t.type;
    reply.headers = {{"Cache-Control", "no-cache"},
                     {"Content-Security-Policy", kPagePolicy},
                     {"X-Content-Type-Options", "nosniff"},
                     {"Referrer-Policy", "no-referrer"}};
    return reply;
}

// The state, and in a header what this client may do: the page disables its commands
// for a view token and offers Log out for a session. The state itself is every
// client's alike, as the pushes and the MQTT bridge carry it.
RemoteServer::Reply RemoteServer::stateReply(Access access, bool session) const
{
    const QByteArray may = access == Access::View ? "view" : "control";
    return {Status::Ok,
            json(state()),
            "application/json",
            {{"Tarvik-Access", session ? may + " session" : may}}};
}

RemoteServer::Reply RemoteServer::error(Status status, const QString &text)
{
    return {status, json({{QStringLiteral("error"), text}}), "application/json", {}};
}

void RemoteServer::send(const QHttpServerRequest &request, QTcpSocket *socket, const Reply &reply)
{
    QHttpServerResponder responder = makeResponder(request, socket);
    responder.writeStatusLine(reply.status);
    responder.writeHeader("Content-Type", reply.type);
    responder.writeHeader("Content-Length", QByteArray::number(reply.body.size()));
    if (reply.type == "application/json")
        responder.writeHeader("Cache-Control", "no-store");
    for (const auto &[key, value] : reply.headers)
        responder.writeHeader(key, value);
    if (request.method() != QHttpServerRequest::Method::Head)
        responder.writeBody(reply.body);
    else
        responder.writeBody(QByteArray());
}

QJsonObject RemoteServer::state() const
{
    return stateJson(m_station->state(), int(m_webSockets.size()), m_options.version);
}

// ---- WebSocket ----------------------------------------------------------------

void RemoteServer::acceptWebSockets()
{
    while (hasPendingWebSocketConnections()) {
        std::unique_ptr<QWebSocket> owned = nextPendingWebSocketConnection();
        if (!owned)
            continue;
        QWebSocket *socket = owned.release();
        socket->setParent(this);
        m_guard->release(socket->peerAddress(), socket->peerPort());
        const Grant grant = admitWebSocket(*socket);
        const QString refused =
            grant.refusal.status == 0
                ? QString()
                : QString::number(grant.refusal.status) + QLatin1Char(' ') + grant.refusal.text;
        log(socket->peerAddress(), QStringLiteral("WS open"),
            refused.isEmpty() ? QStringLiteral("101 by ") + grant.credential() : refused);
        if (!refused.isEmpty()) {
            socket->abort(); // before anything is sent or read
            socket->deleteLater();
            continue;
        }
        socket->setMaxAllowedIncomingMessageSize(quint64(kMaxBody));
        socket->setMaxAllowedIncomingFrameSize(quint64(kMaxBody));
        connect(socket, &QWebSocket::textMessageReceived, this,
                [this, socket](const QString &text) { webSocketMessage(socket, text.toUtf8()); });
        connect(socket, &QWebSocket::binaryMessageReceived, socket, &QWebSocket::abort);
        connect(socket, &QWebSocket::disconnected, this, [this, socket] { dropWebSocket(socket); });
        m_webSockets.append(socket);
        m_grants.insert(socket, grant);
        if (!broadcast()) // the others see one more client; the new one its first state
            socket->sendTextMessage(QString::fromUtf8(json(m_lastBroadcast)));
        Q_EMIT clientsChanged(clients());
    }
}

Grant RemoteServer::admitWebSocket(const QWebSocket &socket)
{
    const QNetworkRequest request = socket.request();
    if (request.url().path() != QStringLiteral("/api/v1/events"))
        return refusedGrant(404, QStringLiteral("no WebSocket here"));
    const Grant grant =
        m_policy.admit({socket.peerAddress(), request.rawHeader("Host"), socket.origin().toLatin1(),
                        request.rawHeader("Authorization"), request.rawHeader("Cookie")},
                       true);
    if (grant.refusal.status == 0 && m_webSockets.size() >= kMaxWebSockets)
        return refusedGrant(503, QStringLiteral("16 WebSocket clients already"));
    return grant;
}

void RemoteServer::webSocketMessage(QWebSocket *socket, const QByteArray &message)
{
    const Grant grant = m_grants.value(socket);
    const bool admitted = m_policy.admitCommand(socket->peerAddress());
    // A view token's client is counted like any other, so that its refusals are bounded
    // too, and nothing it sends is parsed.
    const MessageOutcome outcome =
        grant.access != Access::View ? runMessage(*m_station, admitted, message)
        : admitted ? MessageOutcome{QStringLiteral("?"), QStringLiteral("view-only token")}
                   : runMessage(*m_station, false, message);
    QJsonObject result = outcomeJson(outcome);
    result.insert(QStringLiteral("type"), QStringLiteral("result"));
    log(socket->peerAddress(), QStringLiteral("WS ") + outcome.command,
        (outcome.error.isEmpty() ? QStringLiteral("ok") : outcome.error) + QStringLiteral(" by ") +
            grant.credential());
    socket->sendTextMessage(QString::fromUtf8(json(result)));
}

void RemoteServer::dropWebSocket(QWebSocket *socket)
{
    if (!m_webSockets.removeOne(socket))
        return;
    m_grants.remove(socket);
    socket->deleteLater();
    broadcast();
    Q_EMIT clientsChanged(clients());
}

bool RemoteServer::broadcast()
{
    QJsonObject message = state();
    message.insert(QStringLiteral("type"), QStringLiteral("state"));
    if (message == m_lastBroadcast)
        return false; // a poll that changed nothing sends nothing
    m_lastBroadcast = message;
    const QString text = QString::fromUtf8(json(message));
    for (QWebSocket *socket : std::as_const(m_webSockets))
        socket->sendTextMessage(text);
    return true;
}

} // namespace tarvik::remote

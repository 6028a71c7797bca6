#pragma once

#include "admission.h"
#include "remoteconfig.h"

#include <QAbstractHttpServer>
#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QHttpServerResponder>
#include <QJsonObject>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>
#include <utility>

class QWebSocket;

namespace tarvik {

class Station;

namespace remote {

class ConnectionGuard;

// The HTTP and WebSocket API over one Station: a second front end beside the panel,
// which may host it too (construct, start(), watch clientsChanged()).
//
// Data flow: connections come through the ConnectionGuard (limits, in both plain and
// TLS mode), requests through the Qt HTTP module into handleRequest(), which shows
// each to the AdmissionPolicy (Host, Origin, token or session) before it routes it; a
// command is counted by the same policy's rate, parsed (command.h), handed to the
// Station through runCommand() and answered with the state after it. WebSocket
// upgrades are completed by the module; each new socket is shown to the policy the
// same way at once and closed unread when refused, and each of its commands is counted
// like an HTTP one. Every stateChanged() of the station that alters the JSON goes to
// each WebSocket client.
//
// Everything runs on the thread of the station's event loop: a command's frame is
// written whole by one call before the next command is read, so frames from several
// clients never interleave.
class RemoteServer : public QAbstractHttpServer
{
    Q_OBJECT
public:
    static constexpr int kMaxWebSockets = 16;

    RemoteServer(Station *station, const RemoteOptions &options, QObject *parent);
    ~RemoteServer() override;

    // Refuses a non-loopback address without a token, unreadable TLS files and a busy
    // port; errorString() says why.
    bool start();
    void stop();
    QString errorString() const { return m_error; }
    quint16 port() const;
    QStringList clients() const;
    // Reads the token files again and applies them at once: the sessions and WebSocket
    // clients of a token that changed end. What to log, empty when nothing changed.
    QString reloadTokens(const TokenFiles &files);

Q_SIGNALS:
    void clientsChanged(const QStringList &addresses);

protected:
    bool handleRequest(const QHttpServerRequest &request, QTcpSocket *socket) override;
    void missingHandler(const QHttpServerRequest &request, QTcpSocket *socket) override;

private:
    using Status = QHttpServerResponder::StatusCode;
    struct Reply {
        Status status = Status::Ok;
        QByteArray body;
        QByteArray type = "application/json";
        QList<std::pair<QByteArray, QByteArray>> headers;
    };

    bool loadTls();
    Reply apiReply(const QHttpServerRequest &request, const Grant &grant);
    Reply upgradeReply(const QHttpServerRequest &request);
    Reply loginReply(const QHttpServerRequest &request);
    Reply logoutReply(const Grant &grant);
    Reply commandReply(const QString &name, const QHttpServerRequest &request, const Grant &grant);
    Reply staticReply(const QHttpServerRequest &request) const;
    Reply stateReply(Access access, bool session) const;
    static Reply error(Status status, const QString &text);
    void send(const QHttpServerRequest &request, QTcpSocket *socket, const Reply &reply);

    void acceptWebSockets();
    Grant admitWebSocket(const QWebSocket &socket);
    void closeWebSockets(const QString &why, const std::function<bool(const Grant &)> &which);
    void retryTokens();
    void webSocketMessage(QWebSocket *socket, const QByteArray &message);
    void dropWebSocket(QWebSocket *socket);
    QJsonObject state() const;
    bool broadcast(); // false: nothing changed, nothing sent
    void log(const QHostAddress &client, const QString &what, const QString &result) const;

    QPointer<Station> m_station; // the host may end it first
    RemoteOptions m_options;
    ConnectionGuard *m_guard;
    QString m_error;
    AdmissionPolicy m_policy;
    QList<QWebSocket *> m_webSockets;
    QHash<QWebSocket *, Grant> m_grants; // how each WebSocket client was let in
    QElapsedTimer m_tokenRetry;          // failed closed: when the files were last tried
    bool m_serving = false;              // only a serving server speaks for the Remote lamp
    QJsonObject m_lastBroadcast;
};

} // namespace remote
} // namespace tarvik

#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QPointer>
#include <QSslServer>

#include <vector>

class QSslSocket;
class QTcpSocket;
class QTimer;

namespace tarvik::remote {

// The listening socket handed to the HTTP module (QAbstractHttpServer::bind), with the
// guards the 6.4 module lacks put in front of it.
//
// Each accepted connection is tracked here from its accept, before the module sees
// it: its bytes are counted as they arrive (this object's readyRead slot is connected
// first, so it runs before the module reads), and its deadline runs from the accept
// or from the last complete request. A connection past its deadline, or whose request
// outgrows the header or body limit, is closed; when all slots are taken, a new
// connection pushes out the one idle longest. A connection that became a WebSocket is
// released and no longer counted here.
//
// Under TLS the guard does the handshake itself rather than leave it to QSslServer,
// which in 6.4 cuts every connection from the socket to the server (the byte counter
// with them) when it hands a socket on, and counts handshakes under way as pending
// connections, so that silent sockets stop accept() until they time out. Here a
// handshake holds one of the 32 slots like any connection, must end within 5 s, and
// the socket is handed to the module only once it is encrypted.
class ConnectionGuard : public QSslServer
{
    Q_OBJECT
public:
    static constexpr int kMaxConnections = 32;
    static constexpr int kMaxHeaderBytes = 8 * 1024;
    static constexpr int kMaxBodyBytes = 4 * 1024;
    static constexpr int kDeadlineMs = 30'000;
    static constexpr int kHandshakeMs = 5'000;

    explicit ConnectionGuard(QObject *parent);

    void setTls(bool on) { m_tls = on; }
    bool tls() const { return m_tls; }
    // A whole request reached the module: the connection's deadline starts again.
    void requestDone(QTcpSocket *socket);
    // The connection from `address`:`port` became a WebSocket.
    void release(const QHostAddress &address, quint16 port);
    int connectionCount() const;

protected:
    void incomingConnection(qintptr descriptor) override;

private:
    struct Entry {
        QPointer<QTcpSocket> socket;
        qint64 since = 0;        // accept or last complete request, on m_clock
        qint64 lastActivity = 0; // last byte or request, on m_clock
        qint64 bytes = 0;        // of the request under way
        qint64 headerEnd = -1;   // where its header ended, when seen
        QByteArray tail;         // its last three bytes, for an end split across reads
        bool refused = false;
    };

    void track(QTcpSocket *socket);
    void startHandshake(QSslSocket *socket);
    Entry *find(const QTcpSocket *socket);
    void received(QTcpSocket *socket);
    void refuse(Entry &entry, const QByteArray &status, const char *error);
    void sweep();
    void makeRoom();

    std::vector<Entry> m_entries;
    QTimer *m_sweep;
    QElapsedTimer m_clock;
    bool m_tls = false;
};

} // namespace tarvik::remote

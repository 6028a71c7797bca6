#include "connectionguard.h"

#include <QSslSocket>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>

namespace tarvik::remote {

ConnectionGuard::ConnectionGuard(QObject *parent)
    : QSslServer(parent)
    , m_sweep(new QTimer(this))
{
    m_clock.start();
    m_sweep->setInterval(1000);
    connect(m_sweep, &QTimer::timeout, this, &ConnectionGuard::sweep);
    m_sweep->start();
}

void ConnectionGuard::incomingConnection(qintptr descriptor)
{
    makeRoom();
    QTcpSocket *socket = m_tls ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        return;
    }
    track(socket);
    if (auto *tls = qobject_cast<QSslSocket *>(socket))
        startHandshake(tls);
    else
        addPendingConnection(socket);
}

void ConnectionGuard::startHandshake(QSslSocket *socket)
{
    // Until the handshake ends the socket is ours to delete (a failed, timed-out or
    // pushed-out handshake ends here); once encrypted it belongs to the module, so what
    // watches the handshake goes with it.
    auto *watch = new QObject(socket);
    socket->setSslConfiguration(sslConfiguration());
    connect(socket, &QSslSocket::encrypted, watch, [this, socket, watch] {
        delete watch;
        addPendingConnection(socket);
    });
    connect(socket, &QSslSocket::disconnected, watch, [socket] { socket->deleteLater(); });
    QTimer::singleShot(kHandshakeMs, watch, [socket] { socket->abort(); });
    socket->startServerEncryption();
}

void ConnectionGuard::track(QTcpSocket *socket)
{
    const qint64 now = m_clock.elapsed();
    m_entries.push_back({socket, now, now, 0, -1, {}, false});
    connect(socket, &QTcpSocket::readyRead, this, [this, socket] { received(socket); });
}

ConnectionGuard::Entry *ConnectionGuard::find(const QTcpSocket *socket)
{
    const auto it = std::find_if(m_entries.begin(), m_entries.end(),
                                 [socket](const Entry &e) { return e.socket == socket; });
    return it == m_entries.end() ? nullptr : &*it;
}

void ConnectionGuard::received(QTcpSocket *socket)
{
    Entry *entry = find(socket);
    if (!entry || !socket->isOpen())
        return;
    if (entry->refused) {
        socket->readAll(); // the module never sees what follows a refusal
        return;
    }
    // The module reads each arrival whole, so what is available now is new.
    const QByteArray fresh = socket->peek(socket->bytesAvailable());
    entry->lastActivity = m_clock.elapsed();
    if (entry->headerEnd < 0) {
        const qsizetype at = (entry->tail + fresh).indexOf("\r\n\r\n");
        if (at >= 0)
            entry->headerEnd = entry->bytes - entry->tail.size() + at + 4;
        entry->tail = (entry->tail + fresh).right(3);
    }
    entry->bytes += fresh.size();
    if ((entry->headerEnd < 0 ? entry->bytes : entry->headerEnd) > kMaxHeaderBytes)
        refuse(*entry, "431 Request Header Fields Too Large", "headers over 8 KiB");
    else if (entry->headerEnd >= 0 && entry->bytes - entry->headerEnd > kMaxBodyBytes + 1024)
        refuse(*entry, "413 Payload Too Large", "body over 4 KiB");
}

void ConnectionGuard::refuse(Entry &entry, const QByteArray &status, const char *error)
{
    // The module has not got a whole request, so the answer is ours to write; it goes
    // out as a fixed text and the connection closes behind it.
    const QByteArray body = QByteArrayLiteral("{\"error\":\"") + error + "\"}";
    entry.refused = true;
    entry.socket->readAll();
    entry.socket->write("HTTP/1.1 " + status +
                        "\r\nContent-Type: application/json\r\nConnection: close\r\n"
                        "Content-Length: " +
                        QByteArray::number(body.size()) + "\r\n\r\n" + body);
    entry.socket->disconnectFromHost();
}

void ConnectionGuard::requestDone(QTcpSocket *socket)
{
    if (Entry *entry = find(socket)) {
        entry->since = entry->lastActivity = m_clock.elapsed();
        entry->bytes = 0;
        entry->headerEnd = -1;
        entry->tail.clear();
    }
}

void ConnectionGuard::release(const QHostAddress &address, quint16 port)
{
    std::erase_if(m_entries, [&](const Entry &e) {
        return e.socket && e.socket->peerPort() == port && e.socket->peerAddress() == address;
    });
}

int ConnectionGuard::connectionCount() const
{
    return int(std::count_if(m_entries.begin(), m_entries.end(), [](const Entry &e) {
        return e.socket && e.socket->state() != QAbstractSocket::UnconnectedState;
    }));
}

void ConnectionGuard::sweep()
{
    const qint64 now = m_clock.elapsed();
    for (Entry &e : m_entries) {
        if (e.socket && now - e.since > kDeadlineMs) {
            e.socket->abort();
            e.socket->deleteLater();
        }
    }
    std::erase_if(m_entries, [](const Entry &e) {
        return !e.socket || e.socket->state() == QAbstractSocket::UnconnectedState;
    });
}

void ConnectionGuard::makeRoom()
{
    std::erase_if(m_entries, [](const Entry &e) {
        return !e.socket || e.socket->state() == QAbstractSocket::UnconnectedState;
    });
    if (int(m_entries.size()) < kMaxConnections)
        return;
    // Idle or trickling connections must never lock the operator out.
    const auto idlest =
        std::min_element(m_entries.begin(), m_entries.end(), [](const Entry &a, const Entry &b) {
            return a.lastActivity < b.lastActivity;
        });
    idlest->socket->abort();
    idlest->socket->deleteLater();
    m_entries.erase(idlest);
}

} // namespace tarvik::remote

#pragma once

// tarvik-station as a process, as its tests and the MQTT tests run it: on a pseudo-terminal
// of its own, with a settings folder and a loopback port of its own, and raw HTTP to it.

#include "frames.h"
#include "ptypeer.h"
#include "rigctld.h"

#include <QDeadlineTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslSocket>

#include <memory>

namespace tarvik::test {

using namespace Qt::StringLiterals;

// A connection as a client opens it: over TLS, with its handshake done.
inline std::unique_ptr<QTcpSocket> connectTo(quint16 port, bool tls,
                                             const QHostAddress &at = QHostAddress::LocalHost)
{
    auto s = std::make_unique<QSslSocket>();
    s->setPeerVerifyMode(QSslSocket::VerifyNone);
    if (tls)
        s->connectToHostEncrypted(at.toString(), port);
    else
        s->connectToHost(at, port);
    tls ? s->waitForEncrypted(5000) : s->waitForConnected(5000);
    return s;
}

// One tarvik-station process on its own pseudo-terminal, port and settings folder.
struct Station {
    PtyPeer peer;
    QProcess process;
    quint16 port = freeLoopbackPort();
    QHostAddress address{QHostAddress::LocalHost};

    bool start(const QString &xdg, QStringList args, const QStringList &vars = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(u"XDG_CONFIG_HOME"_s, xdg);
        for (const QString &var : vars)
            env.insert(var.section(u'=', 0, 0), var.section(u'=', 1));
        process.setProcessEnvironment(env);
        args << u"--port"_s << peer.slavePath();
        if (!args.contains(u"--listen"_s))
            args << u"--listen"_s << u"%1:%2"_s.arg(address.toString()).arg(port);
        process.start(QStringLiteral(TARVIK_STATION), args);
        for (QDeadlineTimer d(10000); !d.hasExpired() && process.state() != QProcess::NotRunning;
             QTest::qWait(20))
            if (connectTo(port, false, address)->state() == QTcpSocket::ConnectedState)
                return true;
        return false;
    }
    // The bytes the peer got, polls left out.
    QByteArray frames(int count, int timeoutMs = 3000)
    {
        QByteArray got;
        for (QDeadlineTimer d(timeoutMs); got.size() < count && !d.hasExpired();)
            got = QByteArray(got + peer.readExactly(1, 50)).replace(kRequest, "");
        return got;
    }
    ~Station()
    {
        process.terminate();
        process.waitForFinished(5000);
    }
};

struct Response {
    int status = 0;
    QJsonObject json;
    QByteArray head;
};

// A raw request, so that Host, Origin and sizes are exactly what a test says.
inline Response send(quint16 port, const QByteArray &method, const QByteArray &path,
                     const QByteArray &body = {}, const QByteArray &headers = {}, bool tls = false,
                     const QHostAddress &at = QHostAddress::LocalHost)
{
    const auto s = connectTo(port, tls, at);
    const QByteArray host = headers.contains("Host:")
                                ? QByteArray()
                                : "Host: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    s->write(method + ' ' + path + " HTTP/1.1\r\n" + host + headers +
             "Content-Length: " + QByteArray::number(body.size()) + "\r\n\r\n" + body);
    QByteArray in;
    for (QDeadlineTimer d(5000); !d.hasExpired();) {
        s->waitForReadyRead(100);
        in += s->readAll();
        const qsizetype end = in.indexOf("\r\n\r\n");
        const qsizetype length = in.mid(in.indexOf("Content-Length: ") + 16).split('\r')[0].toInt();
        if (end > 0 && in.size() >= end + 4 + length)
            return {in.mid(9, 3).toInt(), QJsonDocument::fromJson(in.mid(end + 4)).object(),
                    in.left(end)};
        if (s->state() != QAbstractSocket::ConnectedState && s->bytesAvailable() == 0)
            break;
    }
    return {in.mid(9, 3).toInt(), {}, {}};
}

} // namespace tarvik::test

#include "rigctld.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

namespace tarvik::test {

constexpr int kWaitMs = 5000;

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

Rigctld::Rigctld()
    : m_port(freeLoopbackPort())
{}

Rigctld::~Rigctld()
{
    kill();
}

bool Rigctld::start()
{
    m_process.start(QStringLiteral("rigctld"),
                    QStringLiteral("-m 1 -P RIG -T 127.0.0.1 -t %1").arg(m_port).split(u' '));
    if (!m_process.waitForStarted(kWaitMs)) {
        qWarning("rigctld: %s", qPrintable(m_process.errorString()));
        return false;
    }
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(20)) {
        QTcpSocket socket;
        socket.connectToHost(QHostAddress::LocalHost, m_port);
        if (socket.waitForConnected(100))
            return true;
    }
    return false;
}

void Rigctld::kill()
{
    m_process.kill();
    m_process.waitForFinished(kWaitMs);
}

bool Rigctld::set(const QByteArray &command)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, m_port);
    socket.waitForConnected(kWaitMs);
    socket.write(command + '\n');
    while (!socket.canReadLine() && socket.waitForReadyRead(kWaitMs))
        ;
    const QByteArray answer = socket.readLine();
    if (answer != "RPRT 0\n")
        qWarning("rigctld on port %u answered \"%s\" to \"%s\" (%s)", m_port, answer.constData(),
                 command.constData(), qPrintable(socket.errorString()));
    return answer == "RPRT 0\n";
}

} // namespace tarvik::test

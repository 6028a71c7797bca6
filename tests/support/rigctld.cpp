#include "rigctld.h"

#include <QDeadlineTimer>
#include <QTcpServer>
#include <QTest>

namespace tarvik::test {

constexpr int kWaitMs = 5000;

quint16 freeLoopbackPort()
{
    QTcpServer probe;
    return probe.listen(QHostAddress::LocalHost) ? probe.serverPort() : 0;
}

bool Rigctld::start(const QString &extra)
{
    m_process.start(QStringLiteral("rigctld"),
                    (QStringLiteral("-m 1 -P RIG -T 127.0.0.1 -t %1 ").arg(m_port) + extra)
                        .split(u' ', Qt::SkipEmptyParts));
    if (!m_process.waitForStarted(kWaitMs)) {
        qWarning("rigctld: %s", qPrintable(m_process.errorString()));
        return false;
    }
    // The first connection it accepts is kept for set(): rigctld now and then drops a
    // client that connects while another one leaves, unanswered.
    for (QDeadlineTimer deadline(kWaitMs); !deadline.hasExpired(); QTest::qWait(20)) {
        m_control.abort();
        m_control.connectToHost(QHostAddress::LocalHost, m_port);
        if (m_control.waitForConnected(100))
            return true;
    }
    return false;
}

void Rigctld::kill()
{
    m_control.abort();
    m_process.kill();
    m_process.waitForFinished(kWaitMs);
}

bool Rigctld::set(const QByteArray &command)
{
    m_control.write(command + '\n');
    while (!m_control.canReadLine() && m_control.waitForReadyRead(kWaitMs))
        ;
    const QByteArray answer = m_control.readLine();
    if (answer != "RPRT 0\n")
        qWarning("rigctld on port %u answered \"%s\" to \"%s\" (%s)", m_port, answer.constData(),
                 command.constData(), qPrintable(m_control.errorString()));
    return answer == "RPRT 0\n";
}

} // namespace tarvik::test

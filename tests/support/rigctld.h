#pragma once

#include <QByteArray>
#include <QProcess>
#include <QTcpSocket>

namespace tarvik::test {

// A loopback TCP port that nobody listens on at this moment.
quint16 freeLoopbackPort();

// A real rigctld with its dummy rig (-m 1) on a loopback port of its own, with PTT it
// can report (-P RIG). The test moves the rig over rigctld's own protocol.
class Rigctld
{
public:
    ~Rigctld() { kill(); }

    quint16 port() const { return m_port; }
    // Starts it, again on the same port after kill(), and waits until it accepts.
    // `extra`: more of rigctld's options, such as "-C cache_timeout=0".
    bool start(const QString &extra = {});
    void kill();
    // One set command such as "F 14074000" or "T 1": true when it answers "RPRT 0".
    bool set(const QByteArray &command);

private:
    QProcess m_process;
    QTcpSocket m_control;
    quint16 m_port = freeLoopbackPort(); // start() brings rigctld up on it
};

} // namespace tarvik::test

#include "ptypeer.h"

#include <QDeadlineTimer>
#include <QTest>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace tarvik::test {

PtyPeer::PtyPeer()
{
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        closeMaster();
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw from the start, so nothing written is echoed before the port is set up.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    termios t{};
    if (slave >= 0 && ::tcgetattr(slave, &t) == 0) {
        ::cfmakeraw(&t);
        ::tcsetattr(slave, TCSANOW, &t);
    }
    if (slave >= 0)
        ::close(slave);
}

void PtyPeer::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPeer::write(const QByteArray &bytes)
{
    for (qsizetype done = 0; done < bytes.size();) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        if (n > 0)
            done += n;
        else
            QTest::qWait(1);
    }
}

QByteArray PtyPeer::readAvailable()
{
    QByteArray out;
    char buf[4096];
    for (ssize_t n; (n = ::read(m_master, buf, sizeof buf)) > 0;)
        out.append(buf, n);
    return out;
}

QByteArray PtyPeer::readExactly(int count, int timeoutMs)
{
    QByteArray out;
    for (QDeadlineTimer deadline(timeoutMs); out.size() < count && !deadline.hasExpired();) {
        out += readAvailable();
        if (out.size() < count)
            QTest::qWait(2);
    }
    return out;
}

QByteArray PtyPeer::collect(int ms)
{
    QTest::qWait(ms);
    return readAvailable();
}

termios PtyPeer::attributes() const
{
    termios t{};
    ::tcgetattr(m_master, &t);
    return t;
}

} // namespace tarvik::test

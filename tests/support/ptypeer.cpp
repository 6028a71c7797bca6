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
    if (m_master < 0)
        return;
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        ::close(m_master);
        m_master = -1;
        return;
    }
    m_slavePath = QString::fromLocal8Bit(::ptsname(m_master));
    // Raw from the start, so nothing the test writes is echoed back before the
    // port under test has configured the line.
    const int slave = ::open(::ptsname(m_master), O_RDWR | O_NOCTTY);
    if (slave >= 0) {
        termios t{};
        if (::tcgetattr(slave, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(slave, TCSANOW, &t);
        }
        ::close(slave);
    }
}

PtyPeer::~PtyPeer()
{
    closeMaster();
}

void PtyPeer::closeMaster()
{
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

void PtyPeer::write(const QByteArray &bytes)
{
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
        if (n > 0)
            done += n;
        else if (n < 0 && errno != EAGAIN && errno != EINTR)
            return;
        else
            QTest::qWait(1);
    }
}

QByteArray PtyPeer::readAvailable()
{
    QByteArray out;
    char buf[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buf, sizeof buf);
        if (n <= 0)
            break;
        out.append(buf, n);
    }
    return out;
}

QByteArray PtyPeer::readExactly(int count, int timeoutMs)
{
    QByteArray out;
    QDeadlineTimer deadline(timeoutMs);
    while (out.size() < count && !deadline.hasExpired()) {
        out += readAvailable();
        if (out.size() < count)
            QTest::qWait(2);
    }
    return out;
}

QByteArray PtyPeer::collect(int ms)
{
    QByteArray out;
    QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        out += readAvailable();
        QTest::qWait(5);
    }
    out += readAvailable();
    return out;
}

termios PtyPeer::attributes() const
{
    termios t{};
    ::tcgetattr(m_master, &t);
    return t;
}

speed_t PtyPeer::baud() const
{
    const termios t = attributes();
    return ::cfgetospeed(&t);
}

} // namespace tarvik::test

#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QString>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <termios.h>
#include <type_traits>
#include <unistd.h>

namespace tarvik::test {

// The far end of a pseudo-terminal: the code under test opens slavePath() with a real
// QSerialPort; the test reads and writes the master side and reads the line settings
// the slave was given (tcgetattr on the master returns the slave's termios).
class PtyPeer
{
public:
    PtyPeer()
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
    ~PtyPeer() { closeMaster(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    void write(const QByteArray &bytes)
    {
        for (qsizetype done = 0; done < bytes.size();) {
            const ssize_t n = ::write(m_master, bytes.constData() + done, bytes.size() - done);
            if (n < 0 && errno != EAGAIN && errno != EINTR)
                return;
            done += n > 0 ? n : 0;
            if (n <= 0)
                QTest::qWait(1);
        }
    }

    QByteArray readAvailable()
    {
        QByteArray out;
        char buf[4096];
        for (ssize_t n; (n = ::read(m_master, buf, sizeof buf)) > 0;)
            out.append(buf, n);
        return out;
    }

    // Ends the moment `count` bytes have come, the event loop running meanwhile.
    QByteArray readExactly(int count, int timeoutMs = 5000)
    {
        QByteArray out = readAvailable();
        for (QDeadlineTimer deadline(timeoutMs); out.size() < count && !deadline.hasExpired();) {
            QTest::qWait(2);
            out += readAvailable();
        }
        return out;
    }

    // Everything that comes within `ms`: only for proving that nothing does.
    QByteArray collect(int ms)
    {
        QTest::qWait(ms);
        return readAvailable();
    }

    termios attributes() const
    {
        termios t{};
        ::tcgetattr(m_master, &t);
        return t;
    }

    void closeMaster() // the slave sees a hang-up
    {
        if (m_master >= 0)
            ::close(m_master);
        m_master = -1;
    }

private:
    int m_master = -1;
    QString m_slavePath;
};

// One poll of a Station on the peer's line: `early` waits in its receive buffer before
// the request, `reply` answers the request (empty: silence). A poll that its reply does
// not end has its window cut short once the station has read every byte.
template <class PolledStation>
void pollOnce(PolledStation &station, PtyPeer &peer, const QByteArray &reply,
              const QByteArray &early = {})
{
    auto &line = *station.port().serialPort(); // QSerialPort, where a test polls
    peer.write(early);
    QTRY_COMPARE(line.bytesAvailable(), early.size());
    auto *t = station.template findChild<QTimer *>(QStringLiteral("pollTimer"));
    auto *wait = station.template findChild<QTimer *>(QStringLiteral("replyDeadline"));
    const int interval = t->interval();
    t->setSingleShot(true);
    t->start(0);
    QTRY_VERIFY(!t->isActive());
    QCOMPARE(peer.readExactly(3).size(), 3);
    // Connected after the station's slot: when it fires, the station has read the bytes.
    QSignalSpy arrived(&line, &std::remove_reference_t<decltype(line)>::readyRead);
    peer.write(reply);
    QTRY_VERIFY(!wait->isActive() ||
                ((reply.isEmpty() || !arrived.isEmpty()) && line.bytesAvailable() == 0));
    if (wait->isActive())
        wait->start(0);
    QTRY_VERIFY(!wait->isActive());
    t->setSingleShot(false);
    t->setInterval(interval);
    peer.readAvailable();
}

} // namespace tarvik::test

#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

namespace tarvik::test {

// The far end of a pseudo-terminal: the code under test opens slavePath() with a real
// QSerialPort, the test reads and writes the master side and checks the line settings
// the slave was given (tcgetattr on the master returns the slave's termios).
class PtyPeer
{
public:
    PtyPeer();
    ~PtyPeer();
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Writes to the panel's side of the line.
    void write(const QByteArray &bytes);
    // Everything waiting on the master now, without blocking.
    QByteArray readAvailable();
    // Reads until `count` bytes have come, the event loop running meanwhile.
    QByteArray readExactly(int count, int timeoutMs = 3000);
    // Lets the event loop run for `ms` and returns what came in that time.
    QByteArray collect(int ms);

    termios attributes() const;
    speed_t baud() const;

    // Closes the master: the slave sees a hang-up.
    void closeMaster();

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace tarvik::test

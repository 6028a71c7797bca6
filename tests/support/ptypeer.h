#pragma once

#include <QByteArray>
#include <QString>

#include <termios.h>

namespace tarvik::test {

// The far end of a pseudo-terminal: the code under test opens slavePath() with a real
// QSerialPort; the test reads and writes the master side and reads the line settings
// the slave was given (tcgetattr on the master returns the slave's termios).
class PtyPeer
{
public:
    PtyPeer();
    ~PtyPeer() { closeMaster(); }
    PtyPeer(const PtyPeer &) = delete;
    PtyPeer &operator=(const PtyPeer &) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }
    void write(const QByteArray &bytes);
    QByteArray readAvailable();
    // Ends the moment `count` bytes have come, the event loop running meanwhile.
    QByteArray readExactly(int count, int timeoutMs = 5000);
    // Everything that comes within `ms`: only for proving that nothing does.
    QByteArray collect(int ms);
    termios attributes() const;
    void closeMaster(); // the slave sees a hang-up

private:
    int m_master = -1;
    QString m_slavePath;
};

} // namespace tarvik::test

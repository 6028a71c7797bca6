#pragma once

// A Mosquitto broker of the test's own, and mosquitto_sub watching it as any client would.

#include "rigctld.h" // freeLoopbackPort(), QProcess, QTcpSocket

#include <QDeadlineTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

#include <pwd.h>
#include <unistd.h>

namespace tarvik::test {

using namespace Qt::StringLiterals;

inline const QStringList kLogin{u"-u"_s, u"tarvik"_s, u"-P"_s, u"secret-word"_s};

// A broker of the test's own, on loopback, taking only the user "tarvik" (kLogin).
struct Broker {
    quint16 port = freeLoopbackPort();
    QProcess process;

    bool start(const QString &dir)
    {
        // The login, and a client's password file (dir/password): its first line only.
        QFile password(dir + u"/password"_s);
        if (!password.open(QIODevice::WriteOnly) ||
            password.write("secret-word\nnot the password\n") <= 0 ||
            !password.setPermissions(QFile::ReadOwner | QFile::WriteOwner) ||
            QProcess::execute(u"mosquitto_passwd"_s, {u"-b"_s, u"-c"_s, dir + u"/passwd"_s,
                                                      u"tarvik"_s, u"secret-word"_s}) != 0)
            return false;
        QFile conf(dir + u"/broker.conf"_s);
        conf.open(QIODevice::WriteOnly);
        // As root the broker would become the "mosquitto" user, who cannot read the folder.
        conf.write(u"listener %1 127.0.0.1\nallow_anonymous false\npassword_file %2/passwd\n"
                   "persistence true\npersistence_location %2/\nuser %3\n"_s.arg(port)
                       .arg(dir, QString::fromLocal8Bit(::getpwuid(::getuid())->pw_name))
                       .toUtf8());
        conf.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(u"mosquitto"_s, {u"-c"_s, conf.fileName()});
        for (QDeadlineTimer d(10000); !d.hasExpired() && process.state() != QProcess::NotRunning;
             QTest::qWait(20)) {
            QTcpSocket s;
            s.connectToHost(QHostAddress::LocalHost, port);
            if (s.waitForConnected(200))
                return true;
        }
        return false;
    }
    // The station ids in the client ids (tarvik-<station id>-<run>) the broker has logged.
    QSet<QByteArray> stationIds()
    {
        static const QRegularExpression id(u" as (tarvik-[0-9a-f]+)-"_s);
        QSet<QByteArray> out;
        for (auto m = id.globalMatch(QString::fromUtf8(log += process.readAll())); m.hasNext();)
            out.insert(m.next().captured(1).toUtf8());
        return out;
    }
    QByteArray log;
    ~Broker()
    {
        process.kill();
        process.waitForFinished(5000);
    }
};

// A mosquitto_sub on `topic`, as "topic payload" lines.
struct Watch {
    QProcess process;
    QByteArray seen;

    Watch(quint16 port, const QString &topic)
    {
        process.start(u"mosquitto_sub"_s,
                      QStringList{u"-p"_s, QString::number(port), u"-v"_s, u"-t"_s, topic} +
                          kLogin);
    }
    QList<QByteArray> lines()
    {
        seen += process.readAllStandardOutput();
        QList<QByteArray> out = seen.split('\n');
        out.removeAll(QByteArray());
        return out;
    }
    bool saw(const QByteArray &line) { return lines().contains(line); }
    QList<QByteArray> on(const QByteArray &topic)
    {
        QList<QByteArray> out;
        for (const QByteArray &line : lines())
            if (line.startsWith(topic + ' '))
                out.append(line.mid(topic.size() + 1));
        return out;
    }
    ~Watch() { process.kill(), process.waitForFinished(2000); }
};

} // namespace tarvik::test

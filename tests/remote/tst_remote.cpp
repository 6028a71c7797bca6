// The running tarvik-station, driven over HTTP and WebSocket as a client would, with the
// real serial port on a pseudo-terminal: the bytes each command writes, what is refused
// (and that a refusal writes nothing), the limits, and the process's start and end.

#include "stationprocess.h"

#include <QSignalSpy>
#include <QSslSocket>
#include <QTemporaryDir>
#include <QWebSocket>

#include <csignal>
#include <memory>
#include <vector>

using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kToken = "test-token-0123456789abcdefghij";

bool said(const QSignalSpy &messages, const QString &text)
{
    for (const auto &m : messages)
        if (m[0].toString().contains(text))
            return true;
    return false;
}

const QByteArray kAuth = "Authorization: Bearer " + kToken + "\r\n";

} // namespace

class tst_Remote : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Station> m_station; // with a token, loopback: every path needs it

    QString writeToken(const QString &name, QFile::Permissions mode)
    {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(kToken + '\n');
        f.setPermissions(mode);
        return f.fileName();
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_station = std::make_unique<Station>();
        const QString token = writeToken(u"token"_s, QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(m_station->start(m_dir.filePath(u"main"_s), {u"--token-file"_s, token}));
    }

    // Each endpoint once, over HTTP or as a WebSocket message: the frame it writes. Every
    // variant of each frame is the station's own test.
    void commandFrames()
    {
        QWebSocket ws;
        QNetworkRequest request(QUrl(u"ws://127.0.0.1:%1/api/v1/events"_s.arg(m_station->port)));
        request.setRawHeader("Authorization", "Bearer " + kToken);
        QSignalSpy messages(&ws, &QWebSocket::textMessageReceived);
        ws.open(request);
        QTRY_VERIFY(messages.size() >= 1);
        const struct {
            const char *path, *body, *freq, *dir, *code;
        } rows[] = {
            {"band", "{\"band\":\"20\"}", "157048", "00", "31"},
            {"frequency", "{\"hz\":21074000}", "202808", "00", "31"},
            {"step", "{\"direction\":\"up\"}", "203b90", "00", "31"},
            {"pattern", "{\"pattern\":\"180\"}", "203b90", "40", "31"},
            {"home", "", "000000", "40", "53"},
            {"calibrate", "{}", "000000", "40", "56"},
            {"transceiver", "{\"enabled\":true}", "000000", "40", "52"},
            {"ws", "{\"command\":\"band\",\"band\":\"6\"}", "4c4b40", "40", "31"},
        };
        for (const auto &row : rows) {
            m_station->peer.readAvailable();
            if (QByteArray(row.path) == "ws") {
                messages.clear();
                ws.sendTextMessage(QString::fromLatin1(row.body));
                QTRY_VERIFY(messages.size() >= 1);
                QTRY_VERIFY2(said(messages, u"\"ok\":true"_s), row.body);
            } else {
                const auto r = send(m_station->port, "POST", "/api/v1/" + QByteArray(row.path),
                                    row.body, kAuth);
                QCOMPARE(r.status, 200);
                QVERIFY(r.json.contains(u"frequencyText"_s));
            }
            QCOMPARE(m_station->frames(11).toHex(' '),
                     frame(row.freq, row.dir, row.code).toHex(' '));
            QCOMPARE(m_station->frames(1, 100), QByteArray()); // once
        }
        QCOMPARE(send(m_station->port, "GET", "/api/v1/state", {}, kAuth).json[u"band"_s], u"6"_s);
    }

    // What is refused, and that a refusal writes nothing to the serial line.
    void refused_data()
    {
        QTest::addColumn<QByteArray>("request"); // method and path
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("status");
        const QByteArray band = "{\"band\":\"20\"}",
                         big = "{\"x\":\"" + QByteArray(4100, 'x') + "\"}";
        const struct {
            const char *tag, *request;
            QByteArray body, headers;
            int status;
        } rows[] = {
            {"no token", "POST /api/v1/band", band, "", 401},
            {"wrong token", "POST /api/v1/band", band, "Authorization: Bearer " + kToken + "x\r\n",
             401},
            {"no token for the state", "GET /api/v1/state", "", "", 401},
            {"foreign Origin", "POST /api/v1/band", band, kAuth + "Origin: http://example.org\r\n",
             403},
            {"foreign Host", "POST /api/v1/band", band,
             kAuth + "Host: rebound.example.org:8732\r\n", 403},
            {"body over 4 KiB", "POST /api/v1/band", big, kAuth, 413},
            {"headers over 8 KiB", "POST /api/v1/band", band,
             kAuth + "X: " + QByteArray(9000, 'x') + "\r\n", 431},
            {"malformed JSON", "POST /api/v1/band", "{\"band\":", kAuth, 400},
            {"unknown band", "POST /api/v1/band", "{\"band\":\"11\"}", kAuth, 400},
            {"below 1.8 MHz", "POST /api/v1/frequency", "{\"hz\":1799999}", kAuth, 400},
            {"no such path", "POST /api/v1/tune", band, kAuth, 404},
            {"GET a command", "GET /api/v1/band", "", kAuth, 405},
            {"POST a page", "POST /index.html", band, "", 405},
        };
        for (const auto &r : rows)
            QTest::newRow(r.tag) << QByteArray(r.request) << r.body << r.headers << r.status;
    }
    void refused()
    {
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, headers);
        QFETCH(int, status);
        m_station->peer.readAvailable();
        const QList<QByteArray> line = request.split(' ');
        const Response r = send(m_station->port, line[0], line[1], body, headers);
        QCOMPARE(r.status, status);
        QVERIFY(r.json.value(u"error"_s).isString());
        QCOMPARE(m_station->frames(1, 300), QByteArray());
    }

    // Past 20 commands a second from one address: 429, and no frame for it.
    void commandRate()
    {
        QTest::qWait(1100);
        m_station->peer.readAvailable();
        int accepted = 0, limited = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 30; ++i) {
            const int status = send(m_station->port, "POST", "/api/v1/home", {}, kAuth).status;
            accepted += status == 200;
            limited += status == 429;
        }
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(accepted, 20);
        QCOMPARE(limited, 10);
        QCOMPARE(m_station->frames(11 * accepted + 1, 1000).size(), 11 * accepted);
        QTest::qWait(1100);
    }

    // A status the controller sends reaches a watching client; a refused upgrade is
    // closed before any message.
    void webSocket_data()
    {
        QTest::addColumn<QByteArray>("origin");
        QTest::addColumn<QByteArray>("authorization");
        QTest::addColumn<bool>("accepted");
        const QByteArray bearer = "Bearer " + kToken;
        QTest::newRow("own origin, token") << "http://127.0.0.1:PORT"_ba << bearer << true;
        QTest::newRow("no origin, token") << ""_ba << bearer << true;
        QTest::newRow("foreign origin") << "http://example.org"_ba << bearer << false;
        QTest::newRow("no token") << "http://127.0.0.1:PORT"_ba
                                  << ""_ba << false;
    }
    void webSocket()
    {
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, authorization);
        QFETCH(bool, accepted);
        QWebSocket ws(
            QString::fromLatin1(origin).replace(u"PORT"_s, QString::number(m_station->port)));
        QNetworkRequest request(QUrl(u"ws://127.0.0.1:%1/api/v1/events"_s.arg(m_station->port)));
        if (!authorization.isEmpty())
            request.setRawHeader("Authorization", authorization);
        QSignalSpy messages(&ws, &QWebSocket::textMessageReceived);
        QSignalSpy closed(&ws, &QWebSocket::disconnected);
        ws.open(request);
        if (!accepted) {
            QTRY_COMPARE(closed.size(), 1);
            QCOMPARE(messages.size(), 0);
            return;
        }
        QTRY_VERIFY(said(messages, u"\"type\":\"state\""_s));
        // The controller reports 18.100 MHz, reversed: answered at the next poll.
        QVERIFY(m_station->peer.readExactly(3, 2000).endsWith(kRequest));
        m_station->peer.write(QByteArray::fromHex("4041001b9e500040000000"));
        QTRY_VERIFY(said(messages, u"\"frequencyHz\":18100000"_s));
        QVERIFY(said(messages, u"\"pattern\":\"180\""_s));
        QVERIFY(said(messages, u"\"link\":\"answering\""_s));
    }

    // Connections that send nothing never lock the operator out.
    void idleConnections()
    {
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < 100; ++i) {
            idle.push_back(std::make_unique<QTcpSocket>());
            idle.back()->connectToHost(QHostAddress::LocalHost, m_station->port);
            QVERIFY(idle.back()->waitForConnected(2000));
        }
        QTest::qWait(200);
        m_station->peer.readAvailable();
        QCOMPARE(send(m_station->port, "POST", "/api/v1/band", "{\"band\":\"15\"}", kAuth).status,
                 200);
        QCOMPARE(m_station->frames(11).toHex(), frame("201ea8", "40").toHex()); // 180 rides on
    }

    // Off loopback a token is needed, in a file only its owner reads.
    void startRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("message");
        const QString open =
            writeToken(u"open-token"_s, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        QTest::newRow("all addresses, no token")
            << QStringList{u"--listen"_s, u"0.0.0.0:%1"_s.arg(freeLoopbackPort())}
            << u"--make-token"_s;
        QTest::newRow("token readable by others")
            << QStringList{u"--token-file"_s, open} << u"chmod 600"_s;
        QTest::newRow("bad profile") << QStringList{u"--profile"_s, u"../x"_s} << u"--profile"_s;
    }
    void startRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, message);
        Station s;
        QVERIFY(!s.start(m_dir.filePath(u"refused"_s), args));
        QVERIFY(s.process.state() == QProcess::NotRunning || s.process.waitForFinished(5000));
        QVERIFY(s.process.exitCode() != 0);
        QVERIFY2(s.process.readAllStandardError().contains(message.toUtf8()), qPrintable(message));
    }

    // Two controllers, two stations, two settings files; SIGTERM stores each.
    void profilesAndSigterm()
    {
        const QString xdg = m_dir.filePath(u"profiles"_s);
        Station north, south;
        QVERIFY(north.start(xdg, {u"--profile"_s, u"north"_s}));
        QVERIFY(south.start(xdg, {u"--profile"_s, u"south-2"_s}));
        for (Station *s : {&north, &south}) {
            s->peer.readAvailable();
            const QByteArray pattern =
                s == &north ? "{\"pattern\":\"180\"}" : "{\"pattern\":\"bidirectional\"}";
            QCOMPARE(send(s->port, "POST", "/api/v1/pattern", pattern).status, 200);
            QCOMPARE(s->frames(11).mid(7, 1).toHex(), s == &north ? "40"_ba : "80"_ba);
        }
        for (Station *s : {&north, &south}) {
            ::kill(pid_t(s->process.processId()), SIGTERM);
            QVERIFY(s->process.waitForFinished(5000));
            QCOMPARE(s->process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(s->process.exitCode(), 0);
        }
        for (const auto &[name, dir] :
             {std::pair{"north", "sndDir=0040"}, std::pair{"south-2", "sndDir=0080"}}) {
            QFile f(xdg + u"/TarvikDesk/TarvikDesk-%1.conf"_s.arg(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray text = f.readAll();
            QVERIFY2(text.contains(dir) && text.contains("[Remote]"), text.constData());
        }
        QVERIFY(!QFile::exists(xdg + u"/TarvikDesk/TarvikDesk.conf"_s));
    }

    // With --cert and --key the same API answers over TLS only.
    void tls()
    {
        const QString cert = m_dir.filePath(u"cert.pem"_s), key = m_dir.filePath(u"key.pem"_s);
        QProcess openssl;
        openssl.start(u"openssl"_s,
                      {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s,
                       u"1"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s, key, u"-out"_s, cert});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        Station s;
        QVERIFY(s.start(m_dir.filePath(u"tls"_s), {u"--cert"_s, cert, u"--key"_s, key}));
        QSslSocket socket;
        socket.setPeerVerifyMode(QSslSocket::VerifyNone);
        socket.connectToHostEncrypted(u"127.0.0.1"_s, s.port);
        QVERIFY(socket.waitForEncrypted(5000));
        socket.write("GET /api/v1/state HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(s.port) +
                     "\r\n\r\n");
        QByteArray in;
        for (QDeadlineTimer d(5000); !in.contains("\"version\"") && !d.hasExpired();)
            in += socket.waitForReadyRead(100) ? socket.readAll() : QByteArray();
        QVERIFY2(in.startsWith("HTTP/1.1 200"), in.constData());
        QCOMPARE(send(s.port, "GET", "/api/v1/state").status, 0); // plain text is not answered
    }
};

QTEST_GUILESS_MAIN(tst_Remote)
#include "tst_remote.moc"

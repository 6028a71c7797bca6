// The running tarvik-station, driven over HTTP and WebSocket as a client would, with the
// real serial port on a pseudo-terminal: the bytes each command writes, what is refused
// (and that a refusal writes nothing), admission and limits over HTTP and TLS, the log,
// and the process's start and end.

#include "stationprocess.h"

#include <QDir>
#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QWebSocket>

#include <algorithm>
#include <csignal>
#include <cstring>
#include <memory>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>
#include <vector>

using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {

const QByteArray kToken = "test-token-0123456789abcdefghij";
const QByteArray kView = "view-token-0123456789abcdefghij";
const QList<QByteArray> kCommands{"band", "frequency", "step",        "pattern",
                                  "home", "calibrate", "transceiver", "follow"};

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// How many of the messages hold `text`.
int said(const QSignalSpy &messages, const QString &text)
{
    return int(std::count_if(messages.begin(), messages.end(),
                             [&](const auto &m) { return m[0].toString().contains(text); }));
}

const QByteArray kAuth = "Authorization: Bearer " + kToken + "\r\n";
const QByteArray kLogin = "{\"token\":\"" + kToken + "\"}";

// Opens `ws` on the events path, with `authorization` when it is given.
void openEvents(QWebSocket &ws, quint16 port, const QByteArray &authorization)
{
    QNetworkRequest request(QUrl(u"ws://127.0.0.1:%1/api/v1/events"_s.arg(port)));
    if (!authorization.isEmpty())
        request.setRawHeader("Authorization", authorization);
    ws.open(request);
}

QByteArray setCookie(const Response &r)
{
    return r.head.mid(r.head.indexOf("Set-Cookie: ") + 12).split('\r')[0];
}

} // namespace

class tst_Remote : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    std::unique_ptr<Station> m_station; // with a token, loopback: every path needs it
    std::unique_ptr<Station> m_tls;     // the same over TLS
    QString m_tokenFile;

    Station &station(bool tls) { return tls ? *m_tls : *m_station; }

    QString writeToken(const QString &name, QFile::Permissions mode,
                       const QByteArray &token = kToken)
    {
        QFile f(m_dir.filePath(name));
        f.open(QIODevice::WriteOnly);
        f.write(token + '\n');
        f.setPermissions(mode);
        return f.fileName();
    }
    // A settings folder `name` whose TarvikDesk.conf holds `conf`.
    QString settings(const QString &name, const QByteArray &conf)
    {
        const QString xdg = m_dir.filePath(name);
        QDir().mkpath(xdg + u"/TarvikDesk"_s);
        writeFile(xdg + u"/TarvikDesk/TarvikDesk.conf"_s, conf);
        return xdg;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_station = std::make_unique<Station>();
        m_tokenFile = writeToken(u"token"_s, QFile::ReadOwner | QFile::WriteOwner);
        const QByteArray view =
            "[Remote]\nViewTokenFile=" + writeToken(u"view"_s, QFile::ReadOwner, kView).toUtf8();
        QVERIFY(m_station->start(settings(u"main"_s, view), {u"--token-file"_s, m_tokenFile}));
        const QString cert = m_dir.filePath(u"cert.pem"_s), key = m_dir.filePath(u"key.pem"_s);
        QProcess openssl;
        openssl.start(u"openssl"_s,
                      {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s,
                       u"1"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s, key, u"-out"_s, cert});
        QVERIFY(openssl.waitForFinished(60000) && openssl.exitCode() == 0);
        m_tls = std::make_unique<Station>();
        QVERIFY(m_tls->start(settings(u"tls"_s, view),
                             {u"--token-file"_s, m_tokenFile, u"--cert"_s, cert, u"--key"_s, key}));
    }

    // Each endpoint once, and the frame it writes: every variant of each frame is the
    // station's own test, and a WebSocket message takes MQTT's path to it. Then what is
    // refused and what the admission policy lets in, over plain HTTP and TLS, and that
    // none of it writes to the serial line.
    void requests_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QByteArray>("request"); // method and path
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QByteArray>("headers");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("written");
        const QByteArray band = "{\"band\":\"20\"}",
                         big = "{\"x\":\"" + QByteArray(4100, 'x') + "\"}",
                         tunnel = kAuth + "Host: localhost:9000\r\n";
        const struct {
            bool tls;
            const char *tag, *request;
            QByteArray body, headers;
            int status;
            QByteArray written = {};
        } rows[] = {
            {false, "band", "POST /api/v1/band", band, kAuth, 200, frame("157048")},
            {false, "frequency", "POST /api/v1/frequency", "{\"hz\":21074000}", kAuth, 200,
             frame("202808")},
            {false, "step", "POST /api/v1/step", "{\"direction\":\"up\"}", kAuth, 200,
             frame("203b90")},
            {false, "pattern", "POST /api/v1/pattern", "{\"pattern\":\"180\"}", kAuth, 200,
             frame("203b90", "40")},
            {false, "home", "POST /api/v1/home", "", kAuth, 200, frame("000000", "40", "53")},
            {false, "calibrate", "POST /api/v1/calibrate", "{}", kAuth, 200,
             frame("000000", "40", "56")},
            {false, "transceiver", "POST /api/v1/transceiver", "{\"enabled\":true}", kAuth, 200,
             frame("000000", "40", "52")},
            {false, "no token", "POST /api/v1/band", band, "", 401},
            {false, "wrong token", "POST /api/v1/band", band,
             "Authorization: Bearer " + kToken + "x\r\n", 401},
            {false, "no token for the state", "GET /api/v1/state", "", "", 401},
            {false, "foreign Origin", "POST /api/v1/band", band,
             kAuth + "Origin: http://example.org\r\n", 403},
            {false, "tunnel localhost:9000, its Origin", "GET /api/v1/state", "",
             tunnel + "Origin: http://localhost:9000\r\n", 200},
            {false, "tunnel, Origin on another port", "GET /api/v1/state", "",
             tunnel + "Origin: http://localhost:9001\r\n", 403},
            {true, "tls: tunnel [::1]:9000, its Origin", "GET /api/v1/state", "",
             kAuth + "Host: [::1]:9000\r\nOrigin: https://[::1]:9000\r\n", 200},
            {false, "body over 4 KiB", "POST /api/v1/band", big, kAuth, 413},
            {false, "headers over 8 KiB", "POST /api/v1/band", band,
             kAuth + "X: " + QByteArray(9000, 'x') + "\r\n", 431},
            {false, "malformed JSON", "POST /api/v1/band", "{\"band\":", kAuth, 400},
            {false, "band 60, not 6", "POST /api/v1/band", "{\"band\":\"60\"}", kAuth, 400},
            {false, "band 1, not 10", "POST /api/v1/band", "{\"band\":\"1\"}", kAuth, 400},
            {false, "below 1.8 MHz", "POST /api/v1/frequency", "{\"hz\":1799999}", kAuth, 400},
            {false, "no such path", "POST /api/v1/tune", band, kAuth, 404},
            {false, "GET a command", "GET /api/v1/band", "", kAuth, 405},
            {false, "POST a page", "POST /index.html", band, "", 405},
        };
        for (const auto &r : rows) {
            QTest::newRow(r.tag) << r.tls << QByteArray(r.request) << r.body << r.headers
                                 << r.status << r.written;
            if (r.status == 413 || r.status == 431) // the size limits in both modes
                QTest::addRow("tls: %s", r.tag) << true << QByteArray(r.request) << r.body
                                                << r.headers << r.status << QByteArray();
        }
        const QByteArray view = "Authorization: Bearer " + kView + "\r\n";
        for (const bool tls : {false, true}) {
            QTest::addRow("%sview token: GET state", tls ? "tls: " : "")
                << tls << "GET /api/v1/state"_ba << QByteArray() << view << 200 << QByteArray();
            for (const QByteArray &name : kCommands)
                QTest::addRow("%sview token: %s", tls ? "tls: " : "", name.constData())
                    << tls << "POST /api/v1/" + name << "{}"_ba << view << 403 << QByteArray();
        }
    }
    void requests()
    {
        QFETCH(bool, tls);
        QFETCH(QByteArray, request);
        QFETCH(QByteArray, body);
        QFETCH(QByteArray, headers);
        QFETCH(int, status);
        QFETCH(QByteArray, written);
        station(tls).peer.readAvailable();
        const QList<QByteArray> line = request.split(' ');
        const Response r = send(station(tls).port, line[0], line[1], body, headers, tls);
        QCOMPARE(r.status, status);
        QVERIFY(r.json.value(status == 200 ? u"version"_s : u"error"_s).isString());
        QCOMPARE(
            station(tls).frames(int(written.size()) + 1, written.isEmpty() ? 300 : 1000).toHex(' '),
            written.toHex(' ')); // once, or never
    }

    // Past 20 commands a second from one address, over HTTP and WebSocket together: 429
    // or an error result, and no frame for it.
    void commandRate()
    {
        QWebSocket ws;
        QSignalSpy messages(&ws, &QWebSocket::textMessageReceived);
        openEvents(ws, m_station->port, "Bearer " + kToken);
        QTRY_VERIFY(messages.size() >= 1);
        QTest::qWait(1100);
        m_station->peer.readAvailable();
        messages.clear();
        int accepted = 0;
        QElapsedTimer clock;
        clock.start();
        for (int i = 0; i < 15; ++i)
            ws.sendTextMessage(u"{\"command\":\"home\"}"_s);
        for (int i = 0; i < 15; ++i)
            accepted += send(m_station->port, "POST", "/api/v1/home", {}, kAuth).status == 200;
        QTRY_COMPARE(said(messages, u"\"type\":\"result\""_s), 15);
        QVERIFY(clock.elapsed() < 1000);
        QCOMPARE(accepted + said(messages, u"\"ok\":true"_s), 20);
        QCOMPARE(m_station->frames(11 * 20 + 1, 1000).size(), 11 * 20);
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
        QTest::newRow("view token: pushes, every command refused") << ""_ba
                                                                   << "Bearer " + kView << true;
    }
    void webSocket()
    {
        QFETCH(QByteArray, origin);
        QFETCH(QByteArray, authorization);
        QFETCH(bool, accepted);
        QWebSocket ws(
            QString::fromLatin1(origin).replace(u"PORT"_s, QString::number(m_station->port)));
        QSignalSpy messages(&ws, &QWebSocket::textMessageReceived);
        QSignalSpy closed(&ws, &QWebSocket::disconnected);
        openEvents(ws, m_station->port, authorization);
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
        if (!authorization.contains(kView))
            return;
        ws.sendTextMessage(u"{\"command\":\"home\"}"_s); // not even parsed: one will do
        QTRY_VERIFY(said(messages, u"\"error\":\"view-only token\""_s));
        QCOMPARE(m_station->frames(1, 300), QByteArray());
    }

    // A station of its own, on a read-only settings file: under root too the file stays
    // byte for byte, the station running on values in memory and deriving its id, and
    // saying so once in its log and in the state. While the radio transmits a moving
    // command is refused with 409 and writes nothing. SIGHUP reads the token file again:
    // the old token, its session and its WebSocket are refused or closed at once, saying
    // why; a missing file fails closed. The log says so and never holds a token, and a
    // path that decodes to a newline and a forged line stays one log line.
    void ownStation()
    {
        Rigctld rig;
        QVERIFY(rig.start() && rig.set("T 0"));
        const QFile::Permissions own = QFile::ReadOwner | QFile::WriteOwner;
        const QString file = writeToken(u"rotated"_s, own);
        const QByteArray stored = "; kept as written\n[StartUp]\nComPort=1\n";
        const QString xdg = settings(u"rotation"_s, stored);
        const QString conf = xdg + u"/TarvikDesk/TarvikDesk.conf"_s;
        QVERIFY(QFile::setPermissions(conf, QFile::ReadOwner | QFile::ReadGroup));
        Station s;
        QVERIFY(
            s.start(xdg, {u"--token-file"_s, file, u"--rig"_s, u"127.0.0.1:%1"_s.arg(rig.port())}));
        send(s.port, "GET",
             "/api/x%0A2026-01-01T00:00:00.000Z%2010.0.0.5%20POST%20/api/v1/home%20200");
        const auto changed =
            send(s.port, "POST", "/api/v1/pattern", "{\"pattern\":\"180\"}", kAuth);
        QCOMPARE(changed.json.value(u"settingsWritable"_s), QJsonValue(false));
        s.peer.readAvailable();
        QVERIFY(rig.set("T 1"));
        QTRY_COMPARE(send(s.port, "GET", "/api/v1/state", {}, kAuth).json[u"ptt"_s], u"on"_s);
        const auto keyed = send(s.port, "POST", "/api/v1/band", "{\"band\":\"20\"}", kAuth);
        QCOMPARE(keyed.status, 409);
        QCOMPARE(keyed.json[u"error"_s], u"transmitting"_s);
        QCOMPARE(s.frames(1, 300), QByteArray());
        const auto login = setCookie(send(s.port, "POST", "/api/v1/login", kLogin));
        const QByteArray cookie = "Cookie: " + login.left(login.indexOf(';')) + "\r\n";
        QWebSocket ws;
        QSignalSpy closed(&ws, &QWebSocket::disconnected);
        openEvents(ws, s.port, "Bearer " + kToken);
        QTRY_COMPARE(ws.state(), QAbstractSocket::ConnectedState);
        const QByteArray fresh = kToken.toUpper(),
                         freshAuth = "Authorization: Bearer " + fresh + "\r\n";
        QVERIFY(QFile::remove(file) && writeToken(u"rotated"_s, own, fresh) == file);
        ::kill(pid_t(s.process.processId()), SIGHUP);
        QTRY_COMPARE(closed.size(), 1);
        QCOMPARE(ws.closeReason(), u"the token changed; log in again"_s);
        for (const QByteArray &h : {kAuth, cookie, freshAuth})
            QCOMPARE(send(s.port, "GET", "/api/v1/state", {}, h).status,
                     h.contains(fresh) ? 200 : 401);
        QVERIFY(QFile::remove(file));
        ::kill(pid_t(s.process.processId()), SIGHUP);
        QByteArray log;
        QTRY_VERIFY(
            (log += s.process.readAllStandardError()).contains("every API request is refused"));
        QCOMPARE(send(s.port, "GET", "/api/v1/state", {}, freshAuth).status, 401);
        ::kill(pid_t(s.process.processId()), SIGTERM);
        QVERIFY(s.process.waitForFinished(5000));
        log += s.process.readAllStandardError();
        QVERIFY2(log.contains("token changed; 1 sessions ended") && !log.contains(kToken) &&
                     !log.contains(fresh) &&
                     log.count("cannot be written (the file is read-only (mode 0440))") == 1 &&
                     log.contains("derived it from the machine id") &&
                     log.contains(" GET /api/x\\x0a2026-01-01T00:00:00.000Z 10.0.0.5 POST"),
                 log.constData());
        for (const QByteArray &line : log.split('\n'))
            QVERIFY2(!line.startsWith("2026-01-01T"), line);
        QFile f(conf);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), stored);
    }

    // 32 idle connections and one more: the idlest is pushed out, the newcomer answered.
    // 40 sockets that never start a TLS handshake do not hold a client up.
    void crowd_data()
    {
        QTest::addColumn<bool>("tls");
        QTest::addColumn<int>("silent");
        QTest::newRow("plain: 33rd connection") << false << 0;
        QTest::newRow("tls: 33rd connection") << true << 0;
        QTest::newRow("tls: 40 silent sockets") << true << 40;
    }
    void crowd()
    {
        QFETCH(bool, tls);
        QFETCH(int, silent);
        std::vector<std::unique_ptr<QTcpSocket>> idle;
        for (int i = 0; i < (silent ? silent : 32); ++i)
            idle.push_back(connectTo(station(tls).port, tls && !silent));
        const QDeadlineTimer soon(2500);
        QCOMPARE(send(station(tls).port, "GET", "/api/v1/state", {}, kAuth, tls).status, 200);
        if (silent)
            QVERIFY2(!soon.hasExpired(), "held up behind the handshakes");
        else
            QTRY_COMPARE(idle.front()->state(), QAbstractSocket::UnconnectedState);
    }

    // A handshake that never starts is cut at 5 s; a request that never ends at 30 s,
    // over plain HTTP and TLS alike.
    void deadlines()
    {
        const auto silent = connectTo(m_tls->port, false);
        std::unique_ptr<QTcpSocket> unfinished[] = {connectTo(m_station->port, false),
                                                    connectTo(m_tls->port, true)};
        for (const auto &s : unfinished)
            s->write("GET /api/v1/state HTTP/1.1\r\n");
        QTRY_COMPARE_WITH_TIMEOUT(silent->state(), QAbstractSocket::UnconnectedState, 10000);
        QCOMPARE(unfinished[0]->state(), unfinished[1]->state()); // both still open
        QCOMPARE(unfinished[1]->state(), QAbstractSocket::ConnectedState);
        for (const auto &s : unfinished)
            QTRY_COMPARE_WITH_TIMEOUT(s->state(), QAbstractSocket::UnconnectedState, 40000);
    }

    // Starts that are refused, each saying why and how to mend it, the MQTT password never
    // in what it says: `conf` is the settings file.
    void startRefused_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("conf");
        QTest::addColumn<QString>("message");
        const QString open =
            writeToken(u"open-token"_s, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther);
        const QString own = writeToken(u"own-token"_s, QFile::ReadOwner);
        const auto mqtt = [](const char *url, const char *prefix) {
            return QStringList{u"--mqtt"_s, QString::fromLatin1(url), u"--mqtt-prefix"_s,
                               QString::fromLatin1(prefix)};
        };
        const QByteArray password = "[Mqtt]\nUserName=tarvik\nPasswordFile=";
        QTest::newRow("all addresses, no token")
            << QStringList{u"--listen"_s, u"0.0.0.0:%1"_s.arg(freeLoopbackPort())} << QByteArray()
            << u"--make-token"_s;
        QTest::newRow("token readable by others")
            << QStringList{u"--token-file"_s, open} << QByteArray() << u"chmod 600"_s;
        QTest::newRow("bad profile")
            << QStringList{u"--profile"_s, u"../x"_s} << QByteArray() << u"--profile"_s;
        QTest::newRow("MQTT password over mqtt:// off loopback")
            << mqtt("mqtt://192.0.2.1:1883", "a") << password + own.toUtf8()
            << u"Use mqtts://192.0.2.1:8883"_s;
        QTest::newRow("MQTT password file others read")
            << mqtt("mqtt://127.0.0.1:1", "a") << password + open.toUtf8() << u"chmod 600"_s;
        QTest::newRow("MQTT wildcard prefix")
            << mqtt("mqtt://127.0.0.1:1", "a/#") << QByteArray() << u"MQTT prefix \"a/#\""_s;
        QTest::newRow("not MQTT") << mqtt("http://127.0.0.1:1", "a") << QByteArray()
                                  << u"mqtt://HOST"_s;
    }
    void startRefused()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, conf);
        QFETCH(QString, message);
        Station s;
        QVERIFY(!s.start(settings(u"refused/"_s + QString::number(qHash(message)), conf), args));
        QVERIFY(s.process.state() == QProcess::NotRunning || s.process.waitForFinished(5000));
        const QByteArray err = s.process.readAllStandardError();
        QVERIFY2(s.process.exitCode() != 0 && err.contains(message.toUtf8()), err.constData());
        QVERIFY(!err.contains(kToken));
    }

    // Two controllers, two stations on one port of two loopback addresses, reached as two
    // tunnels are (Host 127.0.0.1:9000, :9001): one cookie jar keeps both sessions. Each
    // stores only what it changed when SIGTERM ends it: edits made on disk meanwhile
    // stand. SIGHUP reads the file again, and may move the listener under a lit Remote
    // lamp; systemd hears READY=1 and the watchdog.
    void twoStations()
    {
        const QString xdg = m_dir.filePath(u"profiles"_s);
        const QString conf = xdg + u"/TarvikDesk/TarvikDesk-%1.conf"_s;
        QVERIFY(QDir().mkpath(xdg + u"/TarvikDesk"_s));
        const QByteArray stored = "; kept as written\n[StartUp]\nComPort=1\nPoll=500\n";
        const QByteArray hosts = "[Remote]\nHosts=shack.vpn,rig.vpn:1\n";
        QVERIFY(writeFile(conf.arg(u"north"_s), stored + hosts));
        Station north, south;
        south.address = QHostAddress(u"127.0.0.2"_s);
        south.port = north.port;
        const QByteArray southListen =
            "[Remote]\nListen=127.0.0.2:" + QByteArray::number(south.port) + '\n';
        QVERIFY(writeFile(conf.arg(u"south-2"_s), stored + southListen));
        const QString notifyPath = m_dir.filePath(u"notify"_s);
        const int notify = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        std::strncpy(address.sun_path, QFile::encodeName(notifyPath).constData(),
                     sizeof address.sun_path - 1);
        QVERIFY(::bind(notify, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0);
        QVERIFY(north.start(xdg, {u"--profile"_s, u"north"_s, u"--token-file"_s, m_tokenFile},
                            {u"NOTIFY_SOCKET="_s + notifyPath, u"WATCHDOG_USEC=200000"_s}));
        QVERIFY(south.start(xdg, {u"--profile"_s, u"south-2"_s, u"--token-file"_s, m_tokenFile,
                                  u"--listen"_s, QString()})); // the stored Listen
        QByteArray heard;
        for (QDeadlineTimer d(5000); !heard.contains("WATCHDOG=1") && !d.hasExpired();) {
            char buffer[256];
            const auto n = ::recv(notify, buffer, sizeof buffer, 0);
            heard += n > 0 ? QByteArray(buffer, n) + '|' : (QTest::qWait(20), QByteArray());
        }
        ::close(notify);
        QVERIFY2(heard.startsWith("READY=1|WATCHDOG=1|"), heard.constData());

        QMap<QByteArray, QByteArray> jar;
        for (Station *s : {&north, &south}) {
            const QByteArray cookie =
                setCookie(send(s->port, "POST", "/api/v1/login", kLogin, {}, false, s->address));
            jar[cookie.left(cookie.indexOf('='))] = cookie.left(cookie.indexOf(';'));
        }
        QVERIFY2(jar.size() == 2, jar.keys().join(' '));
        const QByteArray cookies = "Cookie: " + jar.values().join("; ") + "\r\n";
        // [Remote] Hosts with a port or none.
        const auto state = [&](Station &target, const QByteArray &host) {
            return send(target.port, "GET", "/api/v1/state", {}, cookies + "Host: " + host + "\r\n",
                        false, target.address);
        };
        QCOMPARE(state(north, "shack.vpn:9").status, 200);
        QCOMPARE(state(north, "rig.vpn:1").status, 200);
        QCOMPARE(state(north, "rig.vpn:2").status, 403);
        QCOMPARE(state(north, "127.0.0.1:9000").status, 200);
        QCOMPARE(state(south, "127.0.0.1:9001").status, 200);
        for (Station *s : {&north, &south}) { // what each stores at the end
            const QByteArray pattern = s == &north ? "180" : "bidirectional";
            QCOMPARE(send(s->port, "POST", "/api/v1/pattern", "{\"pattern\":\"" + pattern + "\"}",
                          cookies, false, s->address)
                         .status,
                     200);
        }
        const QByteArray edited = QByteArray(stored)
                                      .replace("ComPort=1", "ComPort=/dev/ttyUSB0")
                                      .replace("Poll=500", "Poll=1000");
        QVERIFY(writeFile(conf.arg(u"north"_s), edited + hosts));
        const quint16 moved = freeLoopbackPort();
        const QByteArray southWild = "[Remote]\nListen=0.0.0.0:" + QByteArray::number(moved) + '\n';
        QVERIFY(writeFile(conf.arg(u"south-2"_s), edited + southWild));

        // A reload applies the new poll interval (two requests a second apart) and the
        // wildcard listener, saying where it serves: never 0.0.0.0.
        ::kill(pid_t(south.process.processId()), SIGHUP);
        QByteArray log;
        QTRY_VERIFY2((log += south.process.readAllStandardError()).contains("Poll 500 -> 1000") &&
                         log.contains(':' + QByteArray::number(moved) + '/'),
                     log.constData());
        log = log.mid(log.indexOf("Poll 500 -> 1000"));
        const QByteArray at = log.mid(log.indexOf("://") + 3).split('/')[0];
        QVERIFY2(!at.startsWith("0.0.0.0"), at);
        const Response r = send(moved, "GET", "/api/v1/state", {}, kAuth + "Host: " + at + "\r\n");
        QCOMPARE(r.json[u"lamps"_s][u"Remote lamp"_s][u"words"_s], u"No remote clients"_s);
        south.peer.readAvailable();
        QVERIFY(south.peer.readExactly(3) == kRequest);
        QElapsedTimer gap;
        gap.start();
        QVERIFY(south.peer.readExactly(3, 3000) == kRequest);
        QVERIFY2(gap.elapsed() > 800, QByteArray::number(gap.elapsed()).constData());

        for (Station *s : {&north, &south}) {
            ::kill(pid_t(s->process.processId()), SIGTERM);
            QVERIFY(s->process.waitForFinished(5000));
            QCOMPARE(s->process.exitStatus(), QProcess::NormalExit);
            QCOMPARE(s->process.exitCode(), 0);
        }
        for (const auto &[name, kept] :
             {std::pair{"north", edited + "sndDir=0040\n" + hosts},
              std::pair{"south-2", edited + "sndDir=0080\n" + southWild}}) {
            QFile f(conf.arg(QLatin1String(name)));
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), kept);
        }
        QVERIFY(!QFile::exists(xdg + u"/TarvikDesk/TarvikDesk.conf"_s));
        // The cookie is out of scripts' and other sites' reach; under TLS it is kept to this
        // host and sent over TLS only.
        const auto c = setCookie(send(m_tls->port, "POST", "/api/v1/login", kLogin, {}, true));
        QVERIFY2(c.startsWith("__Host-tarvik_session_") &&
                     c.contains("; HttpOnly; SameSite=Strict; Path=/") && c.endsWith("; Secure"),
                 c.constData());
    }
};

QTEST_GUILESS_MAIN(tst_Remote)
#include "tst_remote.moc"

// tarvik-station on a Mosquitto broker of the test's own on loopback, driven with
// mosquitto_pub and watched with mosquitto_sub as any MQTT client would. (The starts
// refused for the broker's settings are among tst_remote's refused starts.)

#include "broker.h"
#include "commport.h"
#include "discovery.h"
#include "lookrows.h"
#include "mqttconfig.h"
#include "rigctld.h"
#include "statejson.h"
#include "station.h"
#include "stationprocess.h"

#include <QDir>
#include <QJsonArray>
#include <QTemporaryDir>

#include <csignal>
#include <memory>

using namespace tarvik::test;

namespace {

void publish(quint16 port, const QString &topic, const QByteArray &lines, bool retain = false)
{
    QProcess pub;
    pub.start(u"mosquitto_pub"_s, QStringList{u"-p"_s, QString::number(port), u"-t"_s, topic,
                                              u"-l"_s, retain ? u"-r"_s : u"--quiet"_s} +
                                      kLogin);
    pub.write(lines + '\n');
    pub.closeWriteChannel();
    pub.waitForFinished(5000);
}

} // namespace

class tst_Mqtt : public QObject
{
    Q_OBJECT
    QTemporaryDir m_dir;
    Broker m_broker;
    Rigctld m_rig;                      // the main station's radio, keyed as a row needs it
    std::unique_ptr<Station> m_station; // prefix tarvik/test, logged in
    std::unique_ptr<Watch> m_watch;     // everything under tarvik/test

    QString settings(const QString &name, const QByteArray &more = {})
    {
        QDir().mkpath(m_dir.filePath(name + u"/TarvikDesk"_s));
        QFile conf(m_dir.filePath(name + u"/TarvikDesk/TarvikDesk.conf"_s));
        conf.open(QIODevice::WriteOnly);
        conf.write("[Mqtt]\nUserName=tarvik\nPasswordFile=" +
                   m_dir.filePath(u"password"_s).toUtf8() + '\n' + more);
        return m_dir.filePath(name);
    }
    bool startStation(Station &s, const QString &prefix, const QString &name)
    {
        return s.start(settings(name), {u"--mqtt"_s, u"mqtt://127.0.0.1:%1"_s.arg(m_broker.port),
                                        u"--mqtt-prefix"_s, prefix, u"--rig"_s,
                                        u"127.0.0.1:%1"_s.arg(m_rig.port())});
    }
    QByteArray m_log; // the main station's, so far
    QByteArray log() { return m_log += m_station->process.readAllStandardError(); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_broker.start(m_dir.path()));
        m_station = std::make_unique<Station>();
        QVERIFY(m_rig.start() && startStation(*m_station, u"tarvik/test"_s, u"main"_s));
        m_watch = std::make_unique<Watch>(m_broker.port, u"tarvik/test/#"_s);
        QTRY_VERIFY(m_watch->saw("tarvik/test/availability online"));
    }

    // The retained state is GET /api/v1/state's, and only a change publishes it again.
    void state()
    {
        QTRY_VERIFY_WITH_TIMEOUT(
            !m_watch->on("tarvik/test/state").isEmpty() &&
                QJsonDocument::fromJson(m_watch->on("tarvik/test/state").constLast()).object() ==
                    send(m_station->port, "GET", "/api/v1/state").json,
            10000);
        const QList<QByteArray> states = m_watch->on("tarvik/test/state");
        for (qsizetype i = 1; i < states.size(); ++i)
            QVERIFY2(states[i] != states[i - 1], states[i].constData());
    }

    // Each command's frame on the line (or none) and its result, with its id.
    void commands_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<QByteArray>("written");
        QTest::addColumn<QByteArray>("result");
        const auto row = [](const char *tag, const QByteArray &payload, const QByteArray &written,
                            const char *result) {
            QTest::newRow(tag) << payload << written << QByteArray(result);
        };
        const QByteArray none, home = "{\"command\":\"home\"}";
        row("band", R"({"command":"band","band":"20","id":"a1"})", frame("157048"),
            R"({"id":"a1","ok":true})");
        row("frequency", R"({"command":"frequency","hz":21074000,"id":2})", frame("202808"),
            R"({"id":2,"ok":true})");
        row("bad JSON", R"({"command":"band","band":)", none,
            R"({"error":"the message is not a JSON object","ok":false})");
        row("unknown command", R"({"command":"tune","id":3})", none,
            R"({"error":"\"command\" names no command","id":3,"ok":false})");
        row("over 4 KiB", R"({"command":"home","x":")" + QByteArray(4100, 'x') + "\"}", none,
            R"({"error":"message over 4 KiB","ok":false})");
        row("while transmitting", home, none, R"({"error":"transmitting","ok":false})");
        row("past 20 a second", (home + '\n').repeated(25).trimmed(),
            frame("000000", "00", "53").repeated(20),
            R"({"error":"more than 20 commands a second","ok":false})");
    }
    void commands()
    {
        QFETCH(QByteArray, payload);
        QFETCH(QByteArray, written);
        QFETCH(QByteArray, result);
        if (payload.contains('\n'))
            QTest::qWait(1100); // the earlier rows' commands out of the second
        const bool keyed = qstrcmp(QTest::currentDataTag(), "while transmitting") == 0;
        QVERIFY(m_rig.set(keyed ? "T 1" : "T 0"));
        QTRY_COMPARE(send(m_station->port, "GET", "/api/v1/state").json[u"ptt"_s],
                     keyed ? u"on"_s : u"off"_s);
        m_station->peer.readAvailable();
        m_watch->seen.clear();
        publish(m_broker.port, u"tarvik/test/command"_s, payload);
        QTRY_VERIFY(m_watch->on("tarvik/test/result").join('\n').contains(result));
        QCOMPARE(m_station->frames(int(written.size()) + 1, 1000).toHex(' '), written.toHex(' '));
    }

    // Every template, rendered as Home Assistant does (render.py), shows a value its entity
    // takes in each state of the looks table, the line closed, and the line never opened.
    void rendering_data()
    {
        QTest::addColumn<QByteArrayList>("replies");
        for (const LookRow &row : lookRows())
            QTest::newRow(row.tag) << row.replies;
        QTest::newRow("closed") << QByteArrayList{frame("157048"), "closed"};
        QTest::newRow("waiting") << QByteArrayList{};
    }
    void rendering()
    {
        QFETCH(QByteArrayList, replies);
        PtyPeer peer;
        tarvik::Station station(nullptr);
        tarvik::StationSettings settings;
        const bool waiting = qstrcmp(QTest::currentDataTag(), "waiting") == 0;
        settings.comPort = waiting ? m_dir.filePath(u"none"_s) : peer.slavePath();
        settings.pollMs = 10000;
        station.applySettings(settings);
        station.start();
        for (const QByteArray &reply : replies)
            reply == "closed" ? station.suspend() : pollOnce(station, peer, reply);
        QJsonObject docs;
        for (const auto &[topic, doc] : tarvik::mqtt::discoveryDocuments({}))
            docs.insert(topic, QJsonDocument::fromJson(doc).object());
        const QJsonObject given{{u"documents"_s, docs},
                                {u"state"_s, tarvik::remote::stateJson(station.state(), 0, {})}};
        QProcess render;
        render.setProcessChannelMode(QProcess::MergedChannels);
        render.start(u"/usr/bin/python3"_s, {QStringLiteral(TARVIK_SOURCE "/tests/mqtt/render.py"),
                                             QString::fromUtf8(QJsonDocument(given).toJson())});
        QVERIFY(render.waitForFinished(20000));
        QVERIFY2(render.exitCode() == 0, render.readAll().constData());
    }

    // Every document is where Home Assistant looks, for this station's device (what its
    // templates show is rendering's); each button's press moves the antenna.
    void discovery()
    {
        Watch ha(m_broker.port, u"homeassistant/#"_s);
        QTRY_COMPARE(ha.lines().size(), 14);
        for (const QByteArray &line : ha.lines()) {
            const QList<QByteArray> topic = line.left(line.indexOf(' ')).split('/');
            const QJsonObject doc =
                QJsonDocument::fromJson(line.mid(line.indexOf(' ') + 1)).object();
            const QString kind = QString::fromUtf8(topic[1]);
            QVERIFY2(topic.size() == 5 && topic[2] == "tarvik_test" && topic[4] == "config", line);
            QCOMPARE(doc[u"unique_id"_s].toString(),
                     u"tarvik_test_"_s + QString::fromUtf8(topic[3]));
            QCOMPARE(doc[u"device"_s][u"model"_s], u"Tarvik controller"_s);
            QCOMPARE(doc[u"device"_s][u"name"_s], u"Tarvik tarvik/test"_s);
            const bool reads = kind != u"button"_s, writes = !kind.endsWith(u"sensor"_s);
            QCOMPARE(doc[u"state_topic"_s].toString().section(u'/', 0, 1),
                     reads ? u"tarvik/test"_s : u""_s);
            QCOMPARE(doc[u"command_topic"_s].toString(), writes ? u"tarvik/test/command"_s : u""_s);
            if (kind != u"button"_s)
                continue;
            m_station->peer.readAvailable();
            publish(m_broker.port, u"tarvik/test/command"_s,
                    doc[u"payload_press"_s].toString().toUtf8());
            QCOMPARE(m_station->frames(11).size(), 11);
        }
    }

    // While the broker is away the station polls and obeys; once back, it is published
    // again within 6 s, after the first back-off step each time. A retained command runs
    // once: the broker keeps it across its restart, and the station refuses and clears it.
    void brokerAway_data()
    {
        QTest::addColumn<int>("outage");
        QTest::newRow("first") << 1;
        QTest::newRow("second") << 2;
    }
    void brokerAway()
    {
        QFETCH(int, outage);
        m_station->peer.readAvailable();
        if (outage == 1) {
            publish(m_broker.port, u"tarvik/test/command"_s, R"({"command":"home"})", true);
            QCOMPARE(m_station->frames(11).size(), 11);
        }
        m_broker.process.terminate(); // it keeps what is retained
        QVERIFY(m_broker.process.waitForFinished(5000));
        QTRY_COMPARE(log().count("; trying again in 1 s"), outage);
        QVERIFY(m_station->peer.readExactly(3, 3000).endsWith(kRequest));
        m_station->peer.readAvailable();
        QCOMPARE(send(m_station->port, "POST", "/api/v1/band", "{\"band\":\"15\"}").status, 200);
        QCOMPARE(m_station->frames(11).toHex(' '), frame("201ea8").toHex(' '));
        QVERIFY(m_broker.start(m_dir.path()));
        Watch back(m_broker.port, u"tarvik/test/#"_s);
        QTRY_VERIFY_WITH_TIMEOUT(back.saw("tarvik/test/availability online") &&
                                     !back.on("tarvik/test/state").isEmpty(),
                                 6000);
        QCOMPARE(m_station->frames(11, 1500).size(), 0);
        QCOMPARE(log().count("refused a retained command and cleared it"), 1);
        m_watch = std::make_unique<Watch>(m_broker.port, u"tarvik/test/#"_s);
    }

    // A second station on a taken prefix says so within 5 s, and publishes nothing there
    // even as it dies; the first goes on obeying.
    void secondStation()
    {
        Station second;
        QVERIFY(startStation(second, u"tarvik/test"_s, u"second"_s));
        QTRY_COMPARE_WITH_TIMEOUT(send(second.port, "GET", "/api/v1/state")
                                      .json[u"lamps"_s][u"Remote lamp"_s][u"note"_s]
                                      .toString(),
                                  u"MQTT: tarvik/test is used by another station"_s, 5000);
        ::kill(pid_t(second.process.processId()), SIGKILL);
        m_station->peer.readAvailable();
        publish(m_broker.port, u"tarvik/test/command"_s, R"({"command":"home"})");
        QCOMPARE(m_station->frames(11).size(), 11);
        QVERIFY(!m_watch->saw("tarvik/test/availability offline"));
    }

    // SIGHUP moves a station to its new prefix, leaving only "offline" on the old one.
    void sighup()
    {
        Station s;
        const QStringList broker{u"--mqtt"_s, u"mqtt://127.0.0.1:%1"_s.arg(m_broker.port)};
        const QSet<QByteArray> others = m_broker.stationIds();
        QVERIFY(s.start(settings(u"hup"_s, "Prefix=tarvik/old\n"), broker));
        Watch moved(m_broker.port, u"tarvik/new/availability"_s),
            first(m_broker.port, u"tarvik/old/#"_s);
        QTRY_VERIFY(first.saw("tarvik/old/availability online"));
        const QSet<QByteArray> own = m_broker.stationIds() - others; // none shared with them
        QCOMPARE(own.size(), 1);
        settings(u"hup"_s, "Prefix=tarvik/new\n");
        ::kill(pid_t(s.process.processId()), SIGHUP);
        QTRY_VERIFY(moved.saw("tarvik/new/availability online"));
        QCOMPARE(m_broker.stationIds() - others, own); // the prefix plays no part in it
        // Only "offline" is left retained there: no state, claim or discovery document.
        Watch old(m_broker.port, u"tarvik/old/#"_s),
            ha(m_broker.port, u"homeassistant/+/tarvik_old/#"_s);
        QTest::qWait(1000);
        QCOMPARE(old.lines() + ha.lines(), {"tarvik/old/availability offline"});
    }

    // A station that dies says "offline" through its will, one that stops says it
    // itself; its discovery documents stay either way.
    void offline_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("kill -9") << SIGKILL;
        QTest::newRow("SIGTERM") << SIGTERM;
    }
    void offline()
    {
        QFETCH(int, signal);
        Station s;
        QVERIFY(startStation(s, u"tarvik/will"_s, u"will"_s));
        Watch will(m_broker.port, u"tarvik/will/availability"_s);
        QTRY_VERIFY(will.saw("tarvik/will/availability online"));
        ::kill(pid_t(s.process.processId()), signal);
        // Said after "online": the row before leaves an "offline" retained.
        QTRY_COMPARE(will.lines().constLast(), "tarvik/will/availability offline");
        Watch ha(m_broker.port, u"homeassistant/+/tarvik_will/+/config"_s);
        QTRY_COMPARE(ha.lines().size(), 14);
        QVERIFY(!s.process.readAllStandardError().contains("secret-word"));
    }
};

QTEST_GUILESS_MAIN(tst_Mqtt)
#include "tst_mqtt.moc"

#pragma once

#include "mqttconfig.h"
#include "ratelimiter.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QString>

#include <memory>

class QHostInfo;
class QSocketNotifier;
class QTimer;
struct mosquitto;
struct mosquitto_message;

namespace tarvik {

class Station;
struct StationState;

namespace mqtt {

// The station on an MQTT broker: a front end beside the panel and the HTTP API, hosted
// by either (construct, start(), watch statusChanged()).
//
// Data flow: the Mosquitto client library does the protocol; this class drives it from
// the Qt event loop, with no thread of its own. Two QSocketNotifiers on the client's
// socket call mosquitto_loop_read and mosquitto_loop_write, a timer calls
// mosquitto_loop_misc (keep-alive), and the library's callbacks only note what came.
// Station::stateChanged becomes a retained <prefix>/state when the JSON changed; a
// message on <prefix>/command goes through the remote API's one message path (rate,
// parse, Station) and is answered on <prefix>/result. The will says "offline" on
// <prefix>/availability when the station dies; a clean stop says it itself.
//
// Each connection attempt has a client of its own, destroyed when the connection is
// lost, so nothing of an old session survives; the next attempt waits 1, 2, 5, then
// 10 s. The broker's name is looked up without blocking before each attempt.
//
// One station per prefix: a first connection, without a will, reads the retained claim
// on <prefix>/claim and the availability; only a prefix that is free, or claimed by this
// station's own earlier run, is taken, by a second connection that carries the will and
// retains its claim (docs/MQTT.md, "One station per prefix").
class MqttBridge : public QObject
{
    Q_OBJECT
public:
    static constexpr int kCommandsPerSecond = 20;

    MqttBridge(Station *station, const MqttOptions &options, QObject *parent);
    ~MqttBridge() override;

    void start();
    // "offline" on the availability topic, then a clean disconnect; waits at most a
    // moment for the bytes to leave.
    void stop();
    // As stop(), and the prefix is left clean: "offline", while the retained state, the
    // claim and the discovery documents are cleared (the station moves elsewhere).
    void leave();
    bool isConnected() const { return m_connected; }
    // For the operator: "connected to ...", "connecting to ...", or why not.
    QString status() const { return m_status; }

Q_SIGNALS:
    void statusChanged(const QString &status);

private:
    struct ClientDeleter {
        void operator()(mosquitto *client) const;
    };

    enum class Phase { Probe, Hold };
    // What a callback decided, done once the library has returned.
    enum class Next { Stay, Hold, Refuse, Yield };

    void lookUp();
    void attempt(const QHostInfo &info);
    bool configure(mosquitto *client);
    void drop();
    void watchSocket();
    void afterLoop(int rc);
    void lose(const QString &why);
    void onConnect(int rc);
    void onMessage(const mosquitto_message &message);
    void onClaim(const QByteArray &where, const QByteArray &payload, bool retained);
    void decide(bool answered);
    void hold();
    void refuse();
    void publishController(bool always);
    void clearLegacy(const QByteArray &where, const QByteArray &payload);
    void flush();
    void command(const QByteArray &payload);
    void refuseRetained();
    void subscribe(const QByteArray &filter, int qos);
    void publish(const QByteArray &where, const QByteArray &payload, bool retain);
    void publishState(bool always);
    void setStatus(const QString &status);
    QByteArray topic(const char *leaf) const;
    QByteArray clientId() const;

    QPointer<Station> m_station; // may go before the bridge when both belong to one owner
    MqttOptions m_options;
    std::unique_ptr<mosquitto, ClientDeleter> m_client;
    QSocketNotifier *m_read = nullptr;
    QSocketNotifier *m_write = nullptr;
    QTimer *m_misc;     // keep-alive, and the connect deadline
    QTimer *m_retry;    // the next attempt
    int m_lookup = -1;  // the pending QHostInfo lookup
    QTimer *m_ask;      // how long a claim's holder has to answer
    int m_attempts = 0; // failed ones since the last connection: the back-off step
    Phase m_phase = Phase::Probe;
    Next m_next = Next::Stay;
    QByteArray m_claim;  // "<station id> <run>": ours
    QByteArray m_theirs; // the claim found on the prefix, while probing
    bool m_theirsOnline = false;
    bool m_holding = false; // our claim came back: the prefix is ours
    bool m_retainedSeen = false;
    int m_controller = -1; // the controller's availability last published
    qint64 m_connectDeadline = 0;
    bool m_connected = false;
    bool m_running = false;
    QList<QByteArray> m_filters; // subscribed on this connection
    int m_drainMid = 0;          // the unsubscribe that closes it, until acknowledged
    QString m_lost;              // noted by a callback, acted on after the library returns
    QByteArray m_publishedState;
    remote::RateLimiter m_rate{kCommandsPerSecond};
    QString m_status;
};

} // namespace mqtt
} // namespace tarvik

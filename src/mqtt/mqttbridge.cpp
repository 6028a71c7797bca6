#include "mqttbridge.h"

#include "discovery.h"
#include "dispatch.h"
#include "statejson.h"
#include "station.h"

#include <mosquitto.h>
#include <openssl/ssl.h>

#include <QDateTime>
#include <QFile>
#include <QHostInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <poll.h>

using namespace Qt::StringLiterals;

namespace tarvik::mqtt {
namespace {

constexpr std::array<int, 4> kBackOffSeconds{1, 2, 5, 10};
constexpr int kKeepAliveSeconds = 30;
constexpr qint64 kConnectTimeoutMs = 10000;

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The library's words for a failure, for MOSQ_ERR_ERRNO the system's, without a full
// stop: they go inside a sentence.
QString errorText(int rc)
{
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

bool tlsPending(mosquitto *client)
{
    auto *ssl = static_cast<SSL *>(mosquitto_ssl_get(client));
    return ssl && SSL_pending(ssl) > 0;
}

void log(const QString &what)
{
    std::fprintf(stderr, "%s MQTT %s\n",
                 qPrintable(QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs)),
                 qPrintable(what));
}

} // namespace

void MqttBridge::ClientDeleter::operator()(mosquitto *client) const
{
    mosquitto_destroy(client);
}

MqttBridge::MqttBridge(Station *station, const MqttOptions &options, QObject *parent)
    : QObject(parent)
    , m_station(station)
    , m_options(options)
    , m_misc(new QTimer(this))
    , m_retry(new QTimer(this))
{
    [[maybe_unused]] static const int initialised = mosquitto_lib_init();
    m_misc->setInterval(1000);
    m_retry->setSingleShot(true);
    connect(m_misc, &QTimer::timeout, this, [this] {
        if (!m_connected && QDateTime::currentMSecsSinceEpoch() > m_connectDeadline)
            lose(u"no answer from the broker"_s);
        else if (m_client)
            afterLoop(mosquitto_loop_misc(m_client.get()));
    });
    connect(m_retry, &QTimer::timeout, this, &MqttBridge::lookUp);
    connect(station, &Station::stateChanged, this, [this] { publishState(false); });
}

// Its owner may be half destroyed by now: it hears nothing more.
MqttBridge::~MqttBridge()
{
    blockSignals(true);
    stop();
}

void MqttBridge::start()
{
    if (m_running)
        return;
    m_running = true;
    m_attempts = 0;
    lookUp();
}

void MqttBridge::stop()
{
    m_running = false;
    m_retry->stop();
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup);
    m_lookup = -1;
    if (m_client && m_connected) {
        publish(topic("availability"), "offline", true, 1);
        mosquitto *client = m_client.get();
        mosquitto_disconnect(client);
        // The last bytes go now or not at all: a broker that does not take them in a
        // second gets the will instead.
        for (int i = 0; i < 20 && mosquitto_socket(client) >= 0 && mosquitto_want_write(client);
             ++i) {
            pollfd out{mosquitto_socket(client), POLLOUT, 0};
            ::poll(&out, 1, 50);
            mosquitto_loop_write(client, 1);
        }
    }
    if (m_client)
        lose({});
    setStatus(u"off"_s);
}

// ---- connecting --------------------------------------------------------------------

void MqttBridge::lookUp()
{
    setStatus(u"connecting to %1"_s.arg(m_options.url));
    m_lookup = QHostInfo::lookupHost(m_options.host, this, &MqttBridge::attempt);
}

void MqttBridge::attempt(const QHostInfo &info)
{
    m_lookup = -1;
    if (!m_running)
        return;
    if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
        return lose(u"cannot find %1: %2"_s.arg(m_options.host, info.errorString()));
    // In plain text an address found is used, so that connecting never waits on a
    // look-up, each in turn over failed attempts ("localhost" may be ::1 to a broker on
    // 127.0.0.1 only); over TLS the library checks the certificate against the name.
    const QList<QHostAddress> found = info.addresses();
    const QByteArray host =
        (m_options.tls ? m_options.host : found[m_attempts % found.size()].toString()).toUtf8();
    const QByteArray id =
        QByteArray("tarvik-" + m_options.prefix.toUtf8()).replace('/', '-').left(64);
    m_client.reset(mosquitto_new(id.constData(), true, this));
    mosquitto *client = m_client.get();
    if (!client)
        return lose(errorText(MOSQ_ERR_ERRNO));
    mosquitto_int_option(client, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    mosquitto_connect_callback_set(client, [](mosquitto *, void *self, int rc) {
        static_cast<MqttBridge *>(self)->onConnect(rc);
    });
    mosquitto_disconnect_callback_set(client, [](mosquitto *, void *self, int rc) {
        auto *bridge = static_cast<MqttBridge *>(self);
        if (bridge->m_lost.isEmpty())
            bridge->m_lost = rc == 0 ? u"disconnected"_s : errorText(rc);
    });
    mosquitto_message_callback_set(client, [](mosquitto *, void *self, const mosquitto_message *m) {
        static_cast<MqttBridge *>(self)->onMessage(*m);
    });
    int rc = MOSQ_ERR_SUCCESS;
    if (!m_options.userName.isEmpty())
        rc = mosquitto_username_pw_set(
            client, m_options.userName.toUtf8().constData(),
            m_options.password.isEmpty() ? nullptr : m_options.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && m_options.tls)
        rc = m_options.caFile.isEmpty()
                 ? mosquitto_int_option(client, MOSQ_OPT_TLS_USE_OS_CERTS, 1)
                 : mosquitto_tls_set(client, QFile::encodeName(m_options.caFile).constData(),
                                     nullptr, nullptr, nullptr, nullptr);
    const QByteArray availability = topic("availability");
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_will_set(client, availability.constData(), 7, "offline", 1, true);
    if (rc == MOSQ_ERR_SUCCESS)
        rc = mosquitto_connect_async(client, host.constData(), m_options.port, kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        return lose(errorText(rc));
    m_connectDeadline = QDateTime::currentMSecsSinceEpoch() + kConnectTimeoutMs;
    m_misc->start();
    watchSocket();
}

void MqttBridge::watchSocket()
{
    const int fd = mosquitto_socket(m_client.get());
    if (fd < 0)
        return lose(u"no socket"_s);
    m_read = new QSocketNotifier(fd, QSocketNotifier::Read, this);
    m_write = new QSocketNotifier(fd, QSocketNotifier::Write, this);
    // Over TLS whole packets may wait already decrypted, which no notifier announces:
    // they are read before the event loop goes back to waiting.
    connect(m_read, &QSocketNotifier::activated, this, [this] {
        if (!m_client)
            return;
        int rc = MOSQ_ERR_SUCCESS;
        do {
            rc = mosquitto_loop_read(m_client.get(), 1);
        } while (rc == MOSQ_ERR_SUCCESS && m_lost.isEmpty() && tlsPending(m_client.get()));
        afterLoop(rc);
    });
    connect(m_write, &QSocketNotifier::activated, this, [this] {
        if (m_client)
            afterLoop(mosquitto_loop_write(m_client.get(), 1));
    });
    afterLoop(MOSQ_ERR_SUCCESS);
}

// After every call into the library: what its callbacks noted is acted on here, where
// the client may be destroyed, and the socket is watched for writing only while the
// library has bytes to send.
void MqttBridge::afterLoop(int rc)
{
    if (!m_client)
        return;
    if (rc != MOSQ_ERR_SUCCESS && m_lost.isEmpty())
        m_lost = errorText(rc);
    if (!m_lost.isEmpty() || mosquitto_socket(m_client.get()) < 0)
        return lose(m_lost.isEmpty() ? u"the broker closed the connection"_s : m_lost);
    if (m_write)
        m_write->setEnabled(mosquitto_want_write(m_client.get()));
}

// The client goes with its socket; a running bridge tries again after the back-off.
void MqttBridge::lose(const QString &why)
{
    const bool wasConnected = m_connected;
    m_connected = false;
    m_lost.clear();
    for (QSocketNotifier *notifier : {m_read, m_write}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_read = m_write = nullptr;
    m_client.reset();
    m_misc->stop();
    if (!m_running)
        return;
    const int seconds =
        kBackOffSeconds[std::min<std::size_t>(m_attempts, kBackOffSeconds.size() - 1)];
    ++m_attempts;
    m_retry->start(seconds * 1000);
    const QString status =
        u"cannot reach %1: %2; trying again in %3 s"_s.arg(m_options.url, why).arg(seconds);
    if (wasConnected || m_attempts == 1)
        log(status);
    setStatus(status);
}

void MqttBridge::onConnect(int rc)
{
    if (rc != 0) {
        m_lost = u"the broker refused the connection: "_s +
                 QString::fromUtf8(mosquitto_connack_string(rc));
        return;
    }
    m_connected = true;
    m_attempts = 0;
    mosquitto_subscribe(m_client.get(), nullptr, topic("command").constData(), 0);
    publish(topic("availability"), "online", true, 1);
    if (m_options.discovery)
        for (const auto &[where, document] : discoveryDocuments(m_options))
            publish(where.toUtf8(), document, true, 1);
    publishState(true);
    const QString status = u"connected to %1 as %2"_s.arg(m_options.url, m_options.prefix);
    log(status);
    setStatus(status);
}

// ---- messages ----------------------------------------------------------------------

void MqttBridge::onMessage(const mosquitto_message &message)
{
    if (message.topic && topic("command") == message.topic && message.payloadlen >= 0)
        command(QByteArray(static_cast<const char *>(message.payload), message.payloadlen));
}

// MQTT hides who published, so every command counts against the one limit of the topic.
void MqttBridge::command(const QByteArray &payload)
{
    const remote::MessageOutcome outcome = remote::runMessage(
        *m_station, m_rate.admit(QHostAddress(), QDateTime::currentMSecsSinceEpoch()), payload);
    QJsonObject result = remote::outcomeJson(outcome);
    if (payload.size() <= remote::kMaxMessageBytes) {
        const QJsonValue id = QJsonDocument::fromJson(payload).object().value(u"id"_s);
        if (id.isString() || id.isDouble())
            result.insert(u"id"_s, id);
    }
    log(u"command %1 %2"_s.arg(outcome.command, outcome.error.isEmpty() ? u"ok"_s : outcome.error));
    publish(topic("result"), json(result), false);
}

void MqttBridge::publish(const QByteArray &where, const QByteArray &payload, bool retain, int qos)
{
    if (!m_connected)
        return;
    const int rc = mosquitto_publish(m_client.get(), nullptr, where.constData(),
                                     int(payload.size()), payload.constData(), qos, retain);
    if (rc != MOSQ_ERR_SUCCESS && m_lost.isEmpty())
        m_lost = errorText(rc);
    if (m_write)
        m_write->setEnabled(mosquitto_want_write(m_client.get()));
}

// A poll that changes nothing publishes nothing; a new connection always gets the state.
void MqttBridge::publishState(bool always)
{
    const QByteArray state = json(remote::stateJson(
        m_station->state(), std::max(0, m_station->state().remoteClients), m_options.version));
    if (!m_connected || (!always && state == m_publishedState))
        return;
    m_publishedState = state;
    publish(topic("state"), state, true);
}

void MqttBridge::setStatus(const QString &status)
{
    if (status == m_status)
        return;
    m_status = status;
    Q_EMIT statusChanged(status);
}

QByteArray MqttBridge::topic(const char *leaf) const
{
    return (m_options.prefix + u'/' + QLatin1StringView(leaf)).toUtf8();
}

} // namespace tarvik::mqtt

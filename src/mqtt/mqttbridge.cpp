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
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <malloc.h>
#include <poll.h>
#include <vector>

using namespace Qt::StringLiterals;

namespace tarvik::mqtt {
namespace {

constexpr std::array<int, 4> kBackOffSeconds{1, 2, 5, 10};
// A broker that stops answering is noticed one keep-alive after its last word, when the
// ping it was sent goes unanswered for another: within 20 s.
constexpr int kKeepAliveSeconds = 10;
constexpr qint64 kConnectTimeoutMs = 10000;
constexpr int kAnswerMs = 2000;    // for a claim's holder to say it is there
constexpr int kRefusedRetryS = 10; // a prefix another station holds is tried again after this

QByteArray json(const QJsonObject &object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

// The library's words for a failure, for MOSQ_ERR_ERRNO the system's, without a full
// stop: they go inside a sentence.
QString errorText(int rc)
{
    if (rc == MOSQ_ERR_KEEPALIVE)
        return u"broker not answering"_s;
    QString text = rc == MOSQ_ERR_ERRNO ? QString::fromLocal8Bit(std::strerror(errno))
                                        : QString::fromUtf8(mosquitto_strerror(rc));
    if (text.endsWith(u'.'))
        text.chop(1);
    return text;
}

QByteArray randomHex(int bytes)
{
    QByteArray raw(bytes, Qt::Uninitialized);
    for (char &c : raw)
        c = char(QRandomGenerator::system()->bounded(256));
    return raw.toHex();
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
    , m_ask(new QTimer(this))
{
    [[maybe_unused]] static const int initialised = mosquitto_lib_init();
    // A station made without an id (in a test) still has one no other has; the run part
    // tells this run from another of the same station, such as the panel beside it.
    const QByteArray id =
        station->identity().isEmpty() ? randomHex(16) : station->identity().toLatin1();
    m_claim = id + ' ' + randomHex(4);
    m_misc->setInterval(1000);
    m_retry->setSingleShot(true);
    m_ask->setSingleShot(true);
    m_ask->setInterval(kAnswerMs);
    connect(m_ask, &QTimer::timeout, this, [this] {
        decide(false);
        afterLoop(MOSQ_ERR_SUCCESS);
    });
    connect(m_misc, &QTimer::timeout, this, [this] {
        if (!m_connected && QDateTime::currentMSecsSinceEpoch() > m_connectDeadline)
            lose(u"no answer from the broker"_s);
        else if (m_client)
            afterLoop(mosquitto_loop_misc(m_client.get()));
    });
    connect(m_retry, &QTimer::timeout, this, &MqttBridge::lookUp);
    connect(station, &Station::stateChanged, this, [this] {
        publishState(false);
        publishController(false);
    });
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
    m_ask->stop();
    if (m_lookup >= 0)
        QHostInfo::abortHostLookup(m_lookup);
    m_lookup = -1;
    if (m_client && m_holding) {
        publish(topic("controller"), "offline", true);
        publish(topic("availability"), "offline", true);
    }
    flush();
    if (m_client)
        lose({});
    if (m_station)
        m_station->setMqttNote({});
    setStatus(u"off"_s);
}

void MqttBridge::leave()
{
    if (m_client && m_holding) {
        for (const char *leaf : {"state", "controller", "claim"})
            publish(topic(leaf), {}, true);
        if (m_options.discovery)
            for (const auto &document : discoveryDocuments(m_options))
                publish(document.first.toUtf8(), {}, true);
        publish(topic("availability"), "offline", true);
        log(u"left %1: its state, claim and discovery documents cleared"_s.arg(m_options.prefix));
        m_holding = false; // said all there is to say
    }
    stop();
}

// A clean disconnect, whose last bytes go now or not at all: a broker that does not take
// them in a second gets the will instead.
void MqttBridge::flush()
{
    if (!m_client || !m_connected)
        return;
    mosquitto *client = m_client.get();
    // The library closes the socket as soon as DISCONNECT is written. Closed with unread
    // bytes waiting (the echo of our own "offline" or empty claim), it would be reset, and
    // the broker would drop what it had not read yet: the last clearings, the DISCONNECT.
    // So first everything is unsubscribed; once the broker acknowledges that, it has taken
    // all we sent before and sends nothing more, and what it sent has been read here.
    mosquitto_message_callback_set(client, nullptr);
    std::vector<char *> filters;
    for (QByteArray &filter : m_filters)
        filters.push_back(filter.data());
    m_drainMid = -1;
    if (filters.empty() ||
        mosquitto_unsubscribe_multiple(client, &m_drainMid, int(filters.size()), filters.data(),
                                       nullptr) != MOSQ_ERR_SUCCESS)
        m_drainMid = 0;
    const qint64 deadline = QDateTime::currentMSecsSinceEpoch() + 1000;
    while (m_drainMid != 0 && mosquitto_socket(client) >= 0) {
        const qint64 left = deadline - QDateTime::currentMSecsSinceEpoch();
        pollfd io{mosquitto_socket(client),
                  short(POLLIN | (mosquitto_want_write(client) ? POLLOUT : 0)), 0};
        if (left <= 0 || ::poll(&io, 1, int(left)) < 0)
            break;
        if ((io.revents & POLLOUT) && mosquitto_loop_write(client, 1) != MOSQ_ERR_SUCCESS)
            break;
        if ((io.revents & (POLLIN | POLLHUP | POLLERR)) &&
            mosquitto_loop_read(client, 1) != MOSQ_ERR_SUCCESS)
            break;
    }
    mosquitto_disconnect(client);
    for (int i = 0; i < 20 && mosquitto_socket(client) >= 0 && mosquitto_want_write(client); ++i) {
        pollfd out{mosquitto_socket(client), POLLOUT, 0};
        ::poll(&out, 1, 50);
        mosquitto_loop_write(client, 1);
    }
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
    m_client.reset(mosquitto_new(clientId().constData(), true, this));
    if (!m_client)
        return lose(errorText(MOSQ_ERR_ERRNO));
    if (!configure(m_client.get()))
        return;
    const int rc = mosquitto_connect_async(m_client.get(), host.constData(), m_options.port,
                                           kKeepAliveSeconds);
    if (rc != MOSQ_ERR_SUCCESS)
        return lose(errorText(rc));
    m_connectDeadline = QDateTime::currentMSecsSinceEpoch() + kConnectTimeoutMs;
    m_misc->start();
    watchSocket();
}

// The callbacks, the login, TLS, and the will, which only a connection that takes the
// prefix carries: a station that finds the prefix taken must never say "offline" there.
bool MqttBridge::configure(mosquitto *client)
{
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
    mosquitto_unsubscribe_callback_set(client, [](mosquitto *, void *self, int mid) {
        auto *bridge = static_cast<MqttBridge *>(self);
        if (mid == bridge->m_drainMid)
            bridge->m_drainMid = 0;
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
    if (rc == MOSQ_ERR_SUCCESS && m_phase == Phase::Hold)
        rc = mosquitto_will_set(client, availability.constData(), 7, "offline", 1, true);
    if (rc != MOSQ_ERR_SUCCESS)
        lose(errorText(rc));
    return rc == MOSQ_ERR_SUCCESS;
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
    const Next next = std::exchange(m_next, Next::Stay);
    if (next == Next::Hold) {
        // The prefix is free: the connection that takes it, with the will, follows at once.
        flush();
        drop();
        m_phase = Phase::Hold;
        return lookUp();
    }
    if (next == Next::Refuse)
        return refuse();
    if (m_write)
        m_write->setEnabled(mosquitto_want_write(m_client.get()));
}

void MqttBridge::drop()
{
    m_connected = m_holding = false;
    m_filters.clear();
    m_lost.clear();
    m_next = Next::Stay;
    for (QSocketNotifier *notifier : {m_read, m_write}) {
        if (notifier) {
            notifier->setEnabled(false);
            notifier->deleteLater();
        }
    }
    m_read = m_write = nullptr;
    m_client.reset();
    m_misc->stop();
    m_ask->stop();
}

// The client goes with its socket; a running bridge tries again after the back-off.
void MqttBridge::lose(const QString &why)
{
    const bool wasConnected = m_connected;
    drop();
    m_phase = Phase::Probe;
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

// Another station holds the prefix: this one says so, leaves without a word there and
// looks again later.
void MqttBridge::refuse()
{
    flush();
    drop();
    m_phase = Phase::Probe;
    const QString note = u"MQTT: %1 is used by another station"_s.arg(m_options.prefix);
    if (m_station->state().mqttNote != note)
        log(note.mid(6) + u"; trying again every %1 s"_s.arg(kRefusedRetryS));
    m_station->setMqttNote(note);
    setStatus(note.mid(6) + u"; trying again in %1 s"_s.arg(kRefusedRetryS));
    m_retry->start(kRefusedRetryS * 1000);
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
    m_retainedSeen = false;
    m_theirs.clear();
    m_theirsOnline = false;
    for (const char *leaf : {"claim/#", "availability"})
        subscribe(topic(leaf), 1);
    // Whatever is retained comes before the echo of what is published after subscribing.
    if (m_phase == Phase::Probe)
        publish(topic("claim/ask"), m_claim, false);
    else
        publish(topic("claim"), m_claim, true);
}

// Our claim came back as the last one on the prefix: the station is on it.
void MqttBridge::hold()
{
    m_holding = true;
    if (m_options.commands)
        subscribe(topic("command"), 0);
    publish(topic("availability"), "online", true);
    publishController(true);
    if (m_options.discovery) {
        for (const auto &[where, document] : discoveryDocuments(m_options))
            publish(where.toUtf8(), document, true);
        if (const QString old = legacyNodeId(m_options.prefix); old != nodeId(m_options.prefix))
            subscribe(u"homeassistant/+/%1/+/config"_s.arg(old).toUtf8(), 0);
    }
    publishState(true);
    m_station->setMqttNote({});
    const QString status = u"connected to %1 as %2"_s.arg(m_options.url, m_options.prefix);
    log(status);
    setStatus(status);
}

// ---- the claim on the prefix ---------------------------------------------------------

void MqttBridge::onClaim(const QByteArray &where, const QByteArray &payload, bool retained)
{
    const bool claim = where == topic("claim"), asked = where == topic("claim/ask");
    if (m_phase == Phase::Probe) {
        if (claim)
            m_theirs = payload;
        else if (where == topic("availability"))
            m_theirsOnline = payload == "online";
        else if (asked && payload == m_claim &&
                 (m_theirs.isEmpty() || !m_theirsOnline || m_theirs == m_claim))
            m_next = Next::Hold;
        else if (asked && payload == m_claim)
            m_ask->start();
        else if (where == topic("claim/here") && payload == m_theirs && m_ask->isActive())
            decide(true);
        return;
    }
    if (claim && payload == m_claim) {
        if (!m_holding)
            hold();
    } else if (claim && m_holding && payload.isEmpty())
        publish(topic("claim"), m_claim, true);
    else if (claim && m_holding && !retained)
        m_next = Next::Refuse; // a later claim than ours: the prefix is no longer ours
    else if (m_holding && where == topic("availability") && payload == "offline")
        publish(topic("availability"), "online", true); // an earlier run's will
    else if (m_holding && asked && payload != m_claim)
        publish(topic("claim/here"), m_claim, false);
}

// A claimed prefix whose holder is online: a holder that answers is another station;
// one that does not is an earlier run of this one only when the station id is ours.
void MqttBridge::decide(bool answered)
{
    m_ask->stop();
    const bool ours = m_theirs.split(' ').constFirst() == m_claim.split(' ').constFirst();
    m_next = !answered && ours ? Next::Hold : Next::Refuse;
}

// An earlier version's documents for this station, under a node another prefix may share:
// only those that name this prefix go.
void MqttBridge::clearLegacy(const QByteArray &where, const QByteArray &payload)
{
    if (payload.isEmpty() || payload.size() > 16 * 1024)
        return;
    const QJsonObject doc = QJsonDocument::fromJson(payload).object();
    if (doc.value(u"availability_topic"_s).toString().toUtf8() != topic("availability"))
        return;
    publish(where, {}, true);
    log(u"cleared the old-style discovery document %1"_s.arg(QString::fromUtf8(where)));
}

// ---- messages ----------------------------------------------------------------------

void MqttBridge::onMessage(const mosquitto_message &message)
{
    if (!message.topic || message.payloadlen < 0)
        return;
    const QByteArray where(message.topic);
    const auto *bytes = static_cast<const char *>(message.payload);
    if (where == topic("command")) {
        if (message.payloadlen == 0)
            return; // the echo of a cleared retained command, or nothing at all
        // Past the limit only the length matters: the rest is not copied, and the heap
        // the library read it into goes back to the system once it is freed.
        const int kept = std::min(message.payloadlen, int(remote::kMaxMessageBytes) + 1);
        if (message.payloadlen > kept)
            QTimer::singleShot(0, this, [] { ::malloc_trim(0); });
        if (message.retain)
            return refuseRetained();
        return command(QByteArray(bytes, kept));
    }
    const QByteArray payload(bytes, std::min(message.payloadlen, 16 * 1024));
    if (where.startsWith("homeassistant/"))
        clearLegacy(where, payload);
    else
        onClaim(where, payload, message.retain);
}

// A retained command would run again at every connection, long after it was meant: it
// is answered, never run, and cleared from the broker.
void MqttBridge::refuseRetained()
{
    publish(topic("result"),
            json({{u"ok"_s, false}, {u"error"_s, u"a retained command is never run"_s}}), false);
    publish(topic("command"), {}, true);
    if (!std::exchange(m_retainedSeen, true))
        log(u"refused a retained command and cleared it from %1"_s.arg(
            QString::fromUtf8(topic("command"))));
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

void MqttBridge::subscribe(const QByteArray &filter, int qos)
{
    m_filters.append(filter);
    mosquitto_subscribe(m_client.get(), nullptr, filter.constData(), qos);
}

// Always QoS 0: every connection is a new clean session, so QoS 1 would retry nothing,
// while its messages beyond the library's in-flight window would wait for
// acknowledgements that a clean disconnect never reads.
void MqttBridge::publish(const QByteArray &where, const QByteArray &payload, bool retain)
{
    if (!m_connected)
        return;
    const int rc = mosquitto_publish(m_client.get(), nullptr, where.constData(),
                                     int(payload.size()), payload.constData(), 0, retain);
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
    if (!m_holding || (!always && state == m_publishedState))
        return;
    m_publishedState = state;
    publish(topic("state"), state, true);
}

// "online" while the controller answers; its readings are unavailable otherwise.
void MqttBridge::publishController(bool always)
{
    const StationState &s = m_station->state();
    const int online = s.link == LinkCondition::Answering && !s.silent ? 1 : 0;
    if (!m_holding || (!always && online == m_controller))
        return;
    m_controller = online;
    publish(topic("controller"), online ? "online" : "offline", true);
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

// Made from the station id and the run, never from the prefix: no other client has it.
QByteArray MqttBridge::clientId() const
{
    return "tarvik-" + QByteArray(m_claim).replace(' ', '-');
}

} // namespace tarvik::mqtt

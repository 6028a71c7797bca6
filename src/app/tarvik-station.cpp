// tarvik-station: the headless station. The command line and the settings file decide
// the port, the listening address, the token and the broker; the Station runs the
// controller, the RemoteServer serves it and the MqttBridge publishes it. Signals arrive
// as events: SIGTERM and SIGINT end the event loop, after which the settings this run
// changed are stored; SIGHUP reads the settings file again and applies it. systemd hears
// READY=1 once the API listens, and a watchdog ping from the event loop.

#include "commport.h"
#include "controllersimulator.h"
#include "mqttbridge.h"
#include "remoteconfig.h"
#include "remoteserver.h"
#include "servicenotify.h"
#include "settings.h"
#include "settingsstore.h"
#include "station.h"
#include "stationcli.h"
#include "stationid.h"
#include "token.h"
#include "unixsignals.h"

#include <tarvik/version.h>

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <memory>
#include <optional>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

int fail(const QString &text)
{
    std::fprintf(stderr, "tarvik-station: %s\n", qPrintable(text));
    return 1;
}

void say(const QString &text)
{
    std::fprintf(stderr, "tarvik-station: %s\n", qPrintable(text));
}

// "Poll 500 -> 1000, ComPort 1 -> /dev/ttyUSB0": what a reload changed.
QString changes(const tarvik::SettingValues &before, const tarvik::SettingValues &after)
{
    QStringList out;
    for (qsizetype i = 0; i < before.size() && i < after.size(); ++i)
        if (before[i].second != after[i].second)
            out += u"%1 %2 -> %3"_s.arg(tarvik::latin1(tarvik::settingKey(after[i].first).name),
                                        before[i].second, after[i].second);
    return out.isEmpty() ? u"nothing changed"_s : out.join(u", "_s);
}

// The one controller and its API, and what a reload does to them.
struct Service {
    tarvik::StationOptions cli;
    tarvik::SettingsStore *store = nullptr;
    tarvik::Station *station = nullptr;
    tarvik::RemoteSettings remote;
    tarvik::remote::RemoteServer *server = nullptr;
    std::optional<tarvik::mqtt::MqttOptions> mqtt;
    tarvik::mqtt::MqttBridge *bridge = nullptr;

    tarvik::remote::RemoteOverrides overrides() const
    {
        return {cli.listen, cli.tokenFile, cli.certFile, cli.keyFile};
    }

    QString serve(const tarvik::RemoteSettings &settings)
    {
        QString why;
        const auto options = tarvik::remote::remoteOptions(settings, overrides(), why);
        if (!options)
            return why;
        auto *next = new tarvik::remote::RemoteServer(station, *options, station->parent());
        if (server)
            server->stop();
        if (!next->start()) {
            next->deleteLater();
            if (server)
                server->start();
            return next->errorString();
        }
        if (server)
            server->deleteLater();
        server = next;
        remote = settings;
        say(u"serving %1 for %2"_s.arg(tarvik::remote::pageUrl(*options, server->port()),
                                       station->state().portName));
        return {};
    }

    // What this run changed is stored first, so that reading the file again loses none
    // of it; an edit made on disk meanwhile stands beside it.
    void reload()
    {
        store->saveChanges(tarvik::settingValues(station->settings()));
        store->reload();
        const tarvik::StationSettings next = tarvik::readStationSettings(*store);
        const tarvik::RemoteSettings nextRemote = tarvik::readRemoteSettings(*store);
        say(u"settings read again: "_s +
            changes(tarvik::settingValues(station->settings()) + tarvik::settingValues(remote),
                    tarvik::settingValues(next) + tarvik::settingValues(nextRemote)));
        station->reloadSettings(next);
        store->remember(tarvik::settingValues(next));
        reloadRemote(nextRemote);
        reloadMqtt();
    }
    void reloadMqtt();

    // The token files are read again whatever the settings say: a token is rotated by
    // rewriting its file, which changes no setting. A server that moved read them anew.
    void reloadRemote(const tarvik::RemoteSettings &nextRemote)
    {
        const bool moved = nextRemote.listen != remote.listen || nextRemote.hosts != remote.hosts;
        if (moved) {
            const QString why = serve(nextRemote);
            if (why.isEmpty())
                return;
            say(u"the API stays where it was: "_s + why);
        }
        if (const QString said =
                server->reloadTokens(tarvik::remote::tokenFiles(nextRemote, overrides()));
            !said.isEmpty())
            say(said);
        if (!moved)
            remote = nextRemote;
    }

    // A bridge by the options now in use.
    void publish(const std::optional<tarvik::mqtt::MqttOptions> &next)
    {
        if (bridge) {
            if (tarvik::mqtt::leavesPrefix(*mqtt, next))
                bridge->leave();
            else
                bridge->stop();
            delete bridge;
            bridge = nullptr;
        }
        mqtt = next;
        if (mqtt) {
            bridge = new tarvik::mqtt::MqttBridge(station, *mqtt, station->parent());
            bridge->start();
        }
    }
};

// False, with `why`, when the broker's settings are refused; `options` stays empty when
// nothing is to be published.
bool mqttWanted(const Service &service, std::optional<tarvik::mqtt::MqttOptions> &options,
                QString &why)
{
    const tarvik::MqttSettings settings = tarvik::readMqttSettings(*service.store);
    if (!settings.enabled && service.cli.mqttUrl.isEmpty())
        return true;
    options = tarvik::mqtt::mqttOptions(settings, {service.cli.mqttUrl, service.cli.mqttPrefix},
                                        service.cli.profile, why);
    return options.has_value();
}

// [Mqtt] and the password file read again; the broker is left alone unless they changed.
void Service::reloadMqtt()
{
    std::optional<tarvik::mqtt::MqttOptions> next;
    if (QString why; !mqttWanted(*this, next, why))
        return say(u"MQTT stays as it was: "_s + why);
    if (next == mqtt)
        return say(u"MQTT: nothing changed"_s);
    say(u"MQTT: "_s + (!next   ? u"off"_s
                       : !mqtt ? u"on, "_s + next->url
                               : tarvik::mqtt::mqttChanges(*mqtt, *next)));
    publish(next);
}

// The state follows whether the settings file takes this run's changes, and the log
// says it once a run: at the start when the file's mode or mount forbids writing it,
// else at the first write that fails.
void watchSettingsFile(tarvik::SettingsStore *store, tarvik::Station *station)
{
    station->watchSettingsFile(store);
    auto said = std::make_shared<bool>(false);
    auto sayNotWritable = [store, said](const QString &why) {
        if (!std::exchange(*said, true))
            say(u"the settings file %1 cannot be written (%2): this run keeps its settings in "
                u"memory"_s.arg(store->filePath(), why));
    };
    if (const QString why = store->whyNotWritable(); !why.isEmpty())
        sayNotWritable(why);
    QObject::connect(store, &tarvik::SettingsStore::writeFailed, station, [store, sayNotWritable] {
        const QString why = store->whyNotWritable();
        sayNotWritable(why.isEmpty() ? u"the write failed"_s : why);
    });
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(u"TarvikDesk"_s);
    QCoreApplication::setApplicationName(u"TarvikDesk"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));
    Service service;
    service.cli = tarvik::parseStationOptions(app);
    const tarvik::StationOptions &cli = service.cli;
    if (!cli.makeToken.isEmpty()) {
        const QString error = tarvik::remote::makeTokenFile(cli.makeToken);
        return error.isEmpty() ? 0 : fail(error);
    }

    auto *store = service.store =
        new tarvik::SettingsStore(tarvik::settingsPathFor(cli.profile), &app);
    // The broker is checked before anything starts, so that a refused password ends the
    // program before the controller is touched.
    std::optional<tarvik::mqtt::MqttOptions> mqttOptions;
    if (QString why; !mqttWanted(service, mqttOptions, why))
        return fail(why);

    QString device = cli.port;
    if (cli.simulate) {
        auto *simulator = new tarvik::ControllerSimulator(&app);
        if (!simulator->start())
            return fail(u"cannot start the simulated controller: "_s + simulator->errorString());
        device = simulator->devicePath();
    }

    auto *station = service.station = new tarvik::Station(&app);
    watchSettingsFile(store, station);
    const tarvik::StationIdentity identity = tarvik::stationIdentity(*store, cli.profile);
    if (!identity.note.isEmpty())
        say(identity.note);
    station->setIdentity(identity.id);
    const tarvik::StationSettings stored = tarvik::readStationSettings(*store);
    station->applySettings(stored);
    store->remember(tarvik::settingValues(stored));
    auto save = [store, station] {
        store->saveChanges(tarvik::settingValues(station->settings()));
    };
    QObject::connect(station, &tarvik::Station::settingsChanged, store, save);
    if (!device.isEmpty())
        station->setPortOverride(device);
    if (!cli.traceFile.isEmpty())
        station->startTrace(cli.traceFile);
    if (!station->start())
        say(u"the serial port did not open (%1); trying it again until it does"_s.arg(
            station->port().openErrorString()));
    if (cli.rig)
        station->followRigForThisRun(*cli.rig);
    if (const QString why = service.serve(tarvik::readRemoteSettings(*store)); !why.isEmpty())
        return fail(why);

    service.publish(mqttOptions);

    auto *notifier = new tarvik::ServiceNotifier(&app);
    notifier->ready();
    tarvik::onUnixSignals(&app, [&service, notifier](int signal) {
        if (signal != SIGHUP)
            return QCoreApplication::quit();
        notifier->reloading();
        service.reload();
        notifier->ready();
    });
    const int code = app.exec();
    if (service.bridge)
        service.bridge->stop();
    service.server->stop();
    station->stop();
    save();
    return code;
}

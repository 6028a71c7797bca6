// tarvik-station: the headless station. The command line and the settings file decide
// the port, the listening address, the token and the broker; the Station runs the
// controller, the RemoteServer serves it and the MqttBridge publishes it. SIGTERM and SIGINT end
// the event loop through a pipe, after which the settings are stored in one write.

#include "commport.h"
#include "controllersimulator.h"
#include "mqttbridge.h"
#include "remoteconfig.h"
#include "remoteserver.h"
#include "settings.h"
#include "settingsstore.h"
#include "station.h"
#include "stationcli.h"
#include "token.h"

#include <tarvik/version.h>

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

int g_signalPipe[2] = {-1, -1};

void onSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto n = ::write(g_signalPipe[1], &byte, 1);
}

// A signal only writes a byte; the event loop reads it and quits, so the ending runs
// as ordinary code.
void quitOnSignals(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] { QCoreApplication::quit(); });
    struct sigaction action {
    };
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
}

int fail(const QString &text)
{
    std::fprintf(stderr, "tarvik-station: %s\n", qPrintable(text));
    return 1;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setOrganizationName(u"TarvikDesk"_s);
    QCoreApplication::setApplicationName(u"TarvikDesk"_s);
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));
    const tarvik::StationOptions cli = tarvik::parseStationOptions(app);
    if (!cli.makeToken.isEmpty()) {
        const QString error = tarvik::remote::makeTokenFile(cli.makeToken);
        return error.isEmpty() ? 0 : fail(error);
    }

    auto *store = new tarvik::SettingsStore(tarvik::settingsPathFor(cli.profile), &app);
    const tarvik::RemoteSettings remoteSettings = tarvik::readRemoteSettings(*store);
    QString why;
    const auto options = tarvik::remote::remoteOptions(
        remoteSettings, {cli.listen, cli.tokenFile, cli.certFile, cli.keyFile}, why);
    if (!options)
        return fail(why);
    // The broker is checked before anything starts, so that a refused password ends the
    // program before the controller is touched.
    const tarvik::MqttSettings mqttSettings = tarvik::readMqttSettings(*store);
    std::optional<tarvik::mqtt::MqttOptions> mqttOptions;
    if (mqttSettings.enabled || !cli.mqttUrl.isEmpty()) {
        mqttOptions = tarvik::mqtt::mqttOptions(mqttSettings, {cli.mqttUrl, cli.mqttPrefix},
                                                cli.profile, why);
        if (!mqttOptions)
            return fail(why);
    }

    QString device = cli.port;
    if (cli.simulate) {
        auto *simulator = new tarvik::ControllerSimulator(&app);
        if (!simulator->start())
            return fail(u"cannot start the simulated controller: "_s + simulator->errorString());
        device = simulator->devicePath();
    }

    auto *station = new tarvik::Station(&app);
    station->applySettings(tarvik::readStationSettings(*store));
    auto save = [store, station, remoteSettings, mqttSettings] {
        store->setValues(tarvik::settingValues(station->settings()) +
                         tarvik::settingValues(remoteSettings) +
                         tarvik::settingValues(mqttSettings));
    };
    QObject::connect(station, &tarvik::Station::settingsChanged, store, save);
    if (!device.isEmpty())
        station->setPortOverride(device);
    if (!cli.traceFile.isEmpty())
        station->startTrace(cli.traceFile);
    if (!station->start())
        std::fprintf(stderr, "tarvik-station: the serial port did not open: %s\n",
                     qPrintable(station->port().openErrorString()));
    if (cli.rig)
        station->followRigForThisRun(*cli.rig);

    auto *server = new tarvik::remote::RemoteServer(station, *options, &app);
    if (!server->start())
        return fail(server->errorString());
    std::fprintf(stderr, "tarvik-station: serving %s for %s\n",
                 qPrintable(tarvik::remote::pageUrl(*options, server->port())),
                 qPrintable(station->state().portName));
    tarvik::mqtt::MqttBridge *bridge = nullptr;
    if (mqttOptions) {
        bridge = new tarvik::mqtt::MqttBridge(station, *mqttOptions, &app);
        QObject::connect(
            server, &tarvik::remote::RemoteServer::clientsChanged, bridge,
            [bridge](const QStringList &clients) { bridge->setClients(int(clients.size())); });
        bridge->start();
    }

    quitOnSignals(app);
    const int code = app.exec();
    if (bridge)
        bridge->stop();
    server->stop();
    station->stop();
    save();
    return code;
}

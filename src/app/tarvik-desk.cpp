// tarvik-desk: the control panel. Everything lives in the libraries; this only wires
// the command line, the settings store, the optional simulated controller, the Station
// and the main window over it (which may serve the remote API) together.

#include "aboutbox.h"
#include "controllersimulator.h"
#include "deskcommandline.h"
#include "mainwindow.h"
#include "settingsstore.h"
#include "station.h"
#include "stationid.h"
#include "unixsignals.h"

#include <tarvik/version.h>

#include <QApplication>
#include <QIcon>

#include <csignal>
#include <cstdio>

int main(int argc, char *argv[])
{
    tarvik::withoutDisplayForPrintingOptions(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvik Desk"));
    QApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));
    // Ties the windows to the menu entry (tarvik-desk.desktop) and shows the installed
    // icon; run from the build tree, the drawn one stands in.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvik-desk"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tarvik-desk"), tarvik::AboutBox::antennaIcon()));
    const tarvik::DeskOptions options = tarvik::parseDeskOptions(app);

    auto *store = new tarvik::SettingsStore(tarvik::SettingsStore::defaultPath(), &app);
    auto *station = new tarvik::Station(&app);
    const tarvik::StationIdentity identity = tarvik::stationIdentity(*store, {});
    if (!identity.note.isEmpty())
        std::fprintf(stderr, "tarvik-desk: %s\n", qPrintable(identity.note));
    station->setIdentity(identity.id);

    if (options.simulate) {
        auto *simulator = new tarvik::ControllerSimulator(&app);
        if (!simulator->start()) {
            std::fprintf(stderr, "tarvik-desk: cannot start the simulated controller: %s\n",
                         qPrintable(simulator->errorString()));
            return 1;
        }
        station->setPortOverride(simulator->devicePath());
    } else if (!options.port.isEmpty()) {
        station->setPortOverride(options.port);
    }

    tarvik::MainWindow window(station, store);
    window.listenForThisRun(options.listen);
    window.publishForThisRun({options.mqttUrl, options.mqttPrefix});
    QObject::connect(&window, &tarvik::MainWindow::serving, &app, [](const QString &url) {
        std::printf("Web panel: %s\n", qPrintable(url));
        std::fflush(stdout);
    });
    QObject::connect(&window, &tarvik::MainWindow::notServing, &app, [](const QString &why) {
        std::fprintf(stderr, "tarvik-desk: %s; the panel runs on without the remote API\n",
                     qPrintable(why));
    });
    // Before the port opens, so that the trace begins with it.
    if (!options.traceFile.isEmpty())
        window.startTrace(options.traceFile);
    window.start();
    if (options.rig)
        station->followRigForThisRun(*options.rig);
    window.show();
    // A desktop session that logs out ends the panel with SIGTERM: it closes as by Exit,
    // storing where the window was. A reload means nothing to the panel.
    tarvik::onUnixSignals(&app, [&window](int signal) {
        if (signal != SIGHUP)
            window.close();
    });
    return app.exec();
}

// tarvik-desk: the control panel. Everything but the command line lives in the
// libraries; this only wires the settings store, the optional simulated controller
// and the main window together.

#include "controllersimulator.h"
#include "frm_main.h"
#include "settingsstore.h"

#include <tarvik/version.h>

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvik Desk"));
    QApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Control panel for the Tarvik HF antenna controller."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Use the serial device NAME for this run only; the stored port is kept."),
        QStringLiteral("NAME"));
    const QCommandLineOption simulateOption(
        QStringLiteral("simulate"),
        QStringLiteral("Run against the built-in simulated controller on a pseudo-terminal."));
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    parser.process(app);

    auto *store = new tarvik::SettingsStore(tarvik::SettingsStore::defaultPath(), &app);

    QString device = parser.value(portOption);
    if (parser.isSet(simulateOption)) {
        auto *simulator = new tarvik::ControllerSimulator(&app);
        if (!simulator->start()) {
            std::fprintf(stderr, "tarvik-desk: cannot start the simulated controller: %s\n",
                         qPrintable(simulator->errorString()));
            return 1;
        }
        device = simulator->devicePath();
    }

    tarvik::frm_main window(store);
    if (!device.isEmpty())
        window.setPortOverride(device);
    window.Form_Load();
    window.show();
    return app.exec();
}

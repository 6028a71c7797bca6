// tarvik-desk: the control panel. Everything but the command line lives in the
// libraries; this only wires the settings store, the optional simulated controller
// and the main window together.

#include "controllersimulator.h"
#include "frm_main.h"
#include "frmabout.h"
#include "rigendpoint.h"
#include "settingsstore.h"

#include <tarvik/version.h>

#include <QApplication>
#include <QCommandLineParser>
#include <QIcon>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>

namespace {
// --help and --version only print; they must work over ssh and in scripts, where
// there is no display for the window system to connect to.
void withoutDisplayForPrintingOptions(int argc, char *argv[])
{
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        for (const char *o : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], o) == 0) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                return;
            }
        }
    }
}
} // namespace

int main(int argc, char *argv[])
{
    withoutDisplayForPrintingOptions(argc, argv);
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationName(QStringLiteral("TarvikDesk"));
    QApplication::setApplicationDisplayName(QStringLiteral("Tarvik Desk"));
    QApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));
    // Ties the windows to the menu entry (tarvik-desk.desktop) and shows the installed
    // icon; run from the build tree, the drawn one stands in.
    QGuiApplication::setDesktopFileName(QStringLiteral("tarvik-desk"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QStringLiteral("tarvik-desk"), tarvik::frmAbout::antennaIcon()));

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
    const QCommandLineOption rigOption(
        QStringLiteral("rig"),
        QStringLiteral("Follow the radio through the rigctld at HOST[:PORT] (port 4532 by "
                       "default) for this run only; the stored place is kept."),
        QStringLiteral("HOST[:PORT]"));
    parser.addOption(portOption);
    parser.addOption(simulateOption);
    parser.addOption(rigOption);
    parser.process(app);

    std::optional<tarvik::rig::Endpoint> rig;
    if (parser.isSet(rigOption)) {
        rig = tarvik::rig::parseEndpoint(parser.value(rigOption));
        if (!rig) {
            std::fprintf(stderr, "tarvik-desk: --rig wants HOST[:PORT], not \"%s\"\n",
                         qPrintable(parser.value(rigOption)));
            return 2;
        }
    }

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
    if (rig)
        window.followRigForThisRun(*rig);
    window.show();
    return app.exec();
}

// tarvik-desk: the control panel. Everything lives in the libraries; this only wires
// the command line, the settings store, the optional simulated controller, the trace
// and the main window together.

#include "controllersimulator.h"
#include "frm_main.h"
#include "frmabout.h"
#include "panelcli.h"
#include "settingsstore.h"

#include <tarvik/version.h>

#include <QApplication>
#include <QIcon>

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
        QIcon::fromTheme(QStringLiteral("tarvik-desk"), tarvik::frmAbout::antennaIcon()));
    const tarvik::PanelOptions options = tarvik::parsePanelOptions(app);

    auto *store = new tarvik::SettingsStore(tarvik::SettingsStore::defaultPath(), &app);

    QString device = options.port;
    if (options.simulate) {
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
    // Before the port opens, so that the trace begins with it.
    if (!options.traceFile.isEmpty())
        window.startTrace(options.traceFile);
    window.Form_Load();
    if (options.rig)
        window.followRigForThisRun(*options.rig);
    window.show();
    return app.exec();
}

// tarvik-sim: a simulated controller for trying the panel without the hardware.
//
// Creates a pseudo-terminal, prints the device the panel should open, and then logs
// every frame that comes down the line and every byte it sends back, in the format of
// the panel's serial trace, until it gets SIGINT or SIGTERM.

#include "controllersimulator.h"
#include "simcommandline.h"

#include <tarvik/version.h>

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvik-sim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));
    QTextStream out(stdout);
    QTextStream err(stderr);

    const auto options = tarvik::parseSimulatorOptions(app, err);
    if (!options)
        return 2;
    if (!tarvik::quitOnSignals(app, err))
        return 1;

    tarvik::ControllerSimulator sim(&app);
    sim.setMode(options->mode);
    sim.setFaultRate(options->faultRate);
    if (!sim.start()) {
        err << "tarvik-sim: cannot create a pseudo-terminal: " << sim.errorString() << Qt::endl;
        return 1;
    }
    const QString &linkPath = options->linkPath;
    if (!linkPath.isEmpty() && !tarvik::linkDevice(linkPath, sim.devicePath(), err))
        return 1;

    out << sim.devicePath() << Qt::endl;
    err << "tarvik-sim " << tarvik::version::text << ": mode "
        << tarvik::ControllerSimulator::modeName(options->mode) << ", device " << sim.devicePath()
        << (linkPath.isEmpty() ? QString() : QStringLiteral(", link ") + linkPath) << Qt::endl;
    tarvik::logTraffic(sim, out);

    const int rc = app.exec();
    err << tarvik::runSummary(sim) << Qt::endl;
    if (!linkPath.isEmpty())
        tarvik::unlinkDevice(linkPath, sim.devicePath());
    return rc;
}

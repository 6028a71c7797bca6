#pragma once

#include "controllersimulator.h"

#include <QString>

#include <optional>

class QCoreApplication;
class QTextStream;

namespace tarvik {

// tarvik-sim's side of the simulator: its command line, the --link symlink to the
// device, the log of the line, and a clean end on SIGINT or SIGTERM.
//
// The signal handler only writes a byte into a socket pair; the event loop picks it
// up and quits, so shutdown (and removal of the link) happens in ordinary code.

struct SimulatorOptions {
    ControllerSimulator::Mode mode = ControllerSimulator::Mode::Normal;
    QString linkPath; // empty: no link
    double faultRate = 0.0;
};

// Reads the command line. A value it cannot use is reported on `err`; the result is
// then empty and the program ends with status 2.
std::optional<SimulatorOptions> parseSimulatorOptions(QCoreApplication &app, QTextStream &err);

// Makes SIGINT and SIGTERM quit the application's event loop. False, reported on
// `err`, when the handlers cannot be installed.
bool quitOnSignals(QCoreApplication &app, QTextStream &err);

// Points `linkPath` at the device. A link left behind by a run that was killed is
// replaced; a real file is not. False, reported on `err`, when that fails.
bool linkDevice(const QString &linkPath, const QString &device, QTextStream &err);
// Removes the link only while it still points at our device; anything else at that
// path belongs to someone else.
void unlinkDevice(const QString &linkPath, const QString &device);

// The line as the panel's serial trace shows it, on `out`: an RX line for every frame
// that comes down the line with a FRAME line saying what it meant, and a TX line for
// every write back.
void logTraffic(ControllerSimulator &sim, QTextStream &out);

// One line for scripts that drive a long run.
QString runSummary(const ControllerSimulator &sim);

} // namespace tarvik

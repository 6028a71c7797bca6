#pragma once

#include "rigendpoint.h"

#include <QString>

#include <optional>

class QApplication;

namespace tarvik {

// tarvik-desk's command line. --help, --version and an unusable --rig print and end
// the program here.
struct DeskOptions {
    QString port; // --port: a device for this run only; empty: the stored port
    bool simulate = false;
    QString traceFile;                // --trace: empty for no trace
    std::optional<rig::Endpoint> rig; // --rig: the rigctld to follow this run
    QString listen;                   // --listen: serve the API this run; empty: as stored
    QString mqttUrl;                  // --mqtt: publish on this broker this run
    QString mqttPrefix;               // --mqtt-prefix
};

// Call before the QApplication exists: --help and --version only print, and must work
// over ssh and in scripts, where there is no display for the window system.
void withoutDisplayForPrintingOptions(int argc, char *argv[]);

DeskOptions parseDeskOptions(QApplication &app);

} // namespace tarvik

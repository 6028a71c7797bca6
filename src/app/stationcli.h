#pragma once

#include "rigendpoint.h"

#include <QString>

#include <optional>

class QCoreApplication;

namespace tarvik {

// tarvik-station's command line. --help, --version and unusable values print and end
// the program here.
struct StationOptions {
    QString port; // --port: a device for this run only
    bool simulate = false;
    QString traceFile;
    std::optional<rig::Endpoint> rig;
    QString listen;    // --listen: empty for the stored [Remote] Listen
    QString tokenFile; // --token-file: empty for the stored [Remote] TokenFile
    QString profile;   // --profile: empty for the panel's own settings file
    QString certFile;
    QString keyFile;
    QString makeToken;  // --make-token FILE: write a token and end
    QString mqttUrl;    // --mqtt: a broker for this run, whatever [Mqtt] Enabled says
    QString mqttPrefix; // --mqtt-prefix: empty for the stored or default prefix
};

StationOptions parseStationOptions(QCoreApplication &app);

// Letters, digits, '-' and '_', 1 to 32 of them: a file name part that cannot escape.
bool isProfileName(const QString &name);

// The settings file: the panel's, or TarvikDesk-NAME.conf beside it for a profile.
QString settingsPathFor(const QString &profile);

} // namespace tarvik

#pragma once

// Who this station is, apart from every other station on the same broker or behind the
// same browser: 32 lower-case hexadecimal digits, made once at random and kept in the
// settings as "Station"/"Id". The MQTT client id and the page's session cookie are
// named after it, so two stations never share either, whatever their prefixes or ports.

#include <QString>

namespace tarvik {

class SettingsStore;

struct StationIdentity {
    QString id;
    // Empty when the id came from the settings file; otherwise why it did not, for the
    // log ("made a new station id", or why it had to be derived from the machine).
    QString note;
};

// The stored id when it has the right shape; else a new random one, stored at once. Where
// the file cannot take it, an id derived from /etc/machine-id and the profile, so that the
// same station on the same machine keeps one id across runs all the same.
StationIdentity stationIdentity(SettingsStore &store, const QString &profile);

bool isStationId(const QString &text);

// The id derived from a machine id and a profile (exposed for the tests).
QString derivedStationId(const QByteArray &machineId, const QString &profile);

} // namespace tarvik

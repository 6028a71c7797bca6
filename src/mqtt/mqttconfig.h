#pragma once

#include "settings.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvik::mqtt {

// How tarvik-station and the panel decide which broker the station speaks to: the stored
// [Mqtt] section with what the command line gives for one run laid over it. Both call
// mqttOptions(), so the rule about passwords is one rule.

struct MqttOptions {
    QString url; // as given, for the operator
    QString host;
    quint16 port = 1883;
    bool tls = false;
    QString prefix; // topics are <prefix>/availability, /state, /command, /result
    QString userName;
    QByteArray password; // from the password file; never logged
    QString caFile;      // empty: the system's certificate authorities
    bool discovery = true;
    bool commands = true; // false: publishes, but takes no command from the broker
    QString deviceName;   // Home Assistant's name for the station
    QString version;

    bool operator==(const MqttOptions &) const = default;
};

// "Url mqtt://a -> mqtt://b, password": what differs between two option sets, said
// without any secret; empty when nothing does.
QString mqttChanges(const MqttOptions &before, const MqttOptions &after);

// Whether a bridge publishing by `now` leaves its prefix clean as it goes (offline, its
// retained state and discovery documents cleared): when it moves to another prefix, or
// `next` is none (MQTT turned off). So that no dashboard goes on showing a station that is
// elsewhere; the station's reload and the panel's Preferences follow this one rule.
bool leavesPrefix(const MqttOptions &now, const std::optional<MqttOptions> &next);

// What a command line sets for one run; an empty field leaves the stored value.
struct MqttOverrides {
    QString url;
    QString prefix;
};

// "tarvik/<profile>", or "tarvik/station" without a profile.
QString defaultPrefix(const QString &profile);

// The options, or none with `why` set, said for the operator: a URL that is not
// mqtt:// or mqtts://, a prefix with wildcards, a password file others may read, or a
// password that would cross the network in plain text.
std::optional<MqttOptions> mqttOptions(const MqttSettings &stored, const MqttOverrides &run,
                                       const QString &profile, QString &why);

} // namespace tarvik::mqtt

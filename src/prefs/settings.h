#pragma once

// The settings as values. Start-up reads the whole file into these once, then applies
// them; a save turns them back into key/value pairs and writes the file once.
//
// The defaults are the key table's. Each reader gives every key that is missing or cannot be used
// its default from the key table (settingskeys.h), for this run; the next save writes the value in
// use.

#include "latin1.h"
#include "settingskeys.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tarvik {

class SettingsStore;

// Key/value pairs for one SettingsStore::setValues() call: one write of the file.
using SettingValues = QList<std::pair<Key, QString>>;

// The "Follow" section: whether and how the antenna follows the radio through rigctld.
struct FollowSettings {
    bool enabled = defaultNumber(Key::FollowEnabled) == 1;
    QString host = latin1(settingKey(Key::FollowHost).defaultValue);
    int port = defaultNumber(Key::FollowPort);
    int thresholdKHz = defaultNumber(Key::FollowThreshold);
    int settleMs = defaultNumber(Key::FollowSettle);

    bool operator==(const FollowSettings &) const = default;
};

// The "Interlock" section: whether commands that move the elements wait for the radio
// to stop transmitting.
struct InterlockSettings {
    std::optional<bool> enabled; // none: armed exactly when following (or --rig)
    int holdAfterTxMs = defaultNumber(Key::InterlockHoldAfterTx);
    bool refuseWhenUnknown = settingKey(Key::InterlockWhenUnknown).defaultValue == "refuse";

    bool operator==(const InterlockSettings &) const = default;
};

// What the station itself runs by: the line, the pattern, the poll, the antenna type,
// following. Shared by the panel and the headless station.
struct StationSettings {
    QString comPort = latin1(settingKey(Key::ComPort).defaultValue);       // "1".."32767" or a path
    QString lineSettings = latin1(settingKey(Key::Settings).defaultValue); // "Settings"
    QString sndDir = latin1(settingKey(Key::SndDir).defaultValue);         // four hex digits
    int pollMs = defaultNumber(Key::Poll);                                 // kPollMin..kPollMax
    bool largeAntenna = settingKey(Key::Vastor).defaultValue == "True";    // "Vastor"
    // Kept as read, for older versions.
    QString retracted = latin1(settingKey(Key::Retracted).defaultValue);
    FollowSettings follow;
    InterlockSettings interlock;

    bool operator==(const StationSettings &) const = default;
};

// What only the desktop window keeps.
struct WindowSettings {
    std::optional<double> leftTwips; // none: where the window manager put it
    std::optional<double> topTwips;
    bool onTop = defaultNumber(Key::OnTop) == 1;
    QString style = latin1(settingKey(Key::Style).defaultValue); // the stored view, as stored
    QString height;                                              // kept as read, for older versions

    bool operator==(const WindowSettings &) const = default;
};

// The "Remote" section: the HTTP and WebSocket API.
struct RemoteSettings {
    bool enabled = defaultNumber(Key::RemoteEnabled) == 1;
    QString listen = latin1(settingKey(Key::RemoteListen).defaultValue); // ADDRESS:PORT
    QString tokenFile;                                                   // empty: no token
    QString viewTokenFile; // a token that watches but never commands; empty: none
    QStringList hosts;     // extra names accepted in Host

    bool operator==(const RemoteSettings &) const = default;
};

// The "Mqtt" section: the station on an MQTT broker. The prefix, when empty, is chosen
// by the host from the profile.
struct MqttSettings {
    bool enabled = defaultNumber(Key::MqttEnabled) == 1;
    QString url = latin1(settingKey(Key::MqttUrl).defaultValue); // mqtt://HOST:PORT, mqtts://...
    QString prefix;
    QString userName;
    QString passwordFile; // mode 0600
    QString caFile;       // empty: the system's certificate authorities
    bool discovery = defaultNumber(Key::MqttDiscovery) == 1;
    bool commands = defaultNumber(Key::MqttCommands) == 1; // false: a read-only twin

    bool operator==(const MqttSettings &) const = default;
};

StationSettings readStationSettings(const SettingsStore &store);
WindowSettings readWindowSettings(const SettingsStore &store);
RemoteSettings readRemoteSettings(const SettingsStore &store);
FollowSettings readFollowSettings(const SettingsStore &store);
InterlockSettings readInterlockSettings(const SettingsStore &store);
MqttSettings readMqttSettings(const SettingsStore &store);

SettingValues settingValues(const StationSettings &value);
SettingValues settingValues(const WindowSettings &value);
SettingValues settingValues(const RemoteSettings &value);
SettingValues settingValues(const FollowSettings &value);
SettingValues settingValues(const InterlockSettings &value);
SettingValues settingValues(const MqttSettings &value);

// Writes the default of every key that is missing or empty, in one write; the window
// edges default to where the window is (in twips). False when the write failed.
bool fillMissingSettings(SettingsStore &store, double windowLeftTwips, double windowTopTwips);

// Text forms shared with the setup dialog.
QString boolText(bool value);    // "True" / "False"
QString twipsText(double value); // a window edge: "2475", "2475.5"

} // namespace tarvik

#pragma once

// The settings as values. Start-up reads the whole file into these once, then applies
// them; a save turns them back into key/value pairs and writes the file once.
//
// Each reader gives every key that is missing or cannot be used its default from the
// key table (settingskeys.h), for this run; the next save writes the value in use.

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
    bool enabled = false;
    QString host = QStringLiteral("127.0.0.1");
    int port = 4532;
    int thresholdKHz = 20;
    int settleMs = 500;

    bool operator==(const FollowSettings &) const = default;
};

// What the station itself runs by: the line, the pattern, the poll, the antenna type,
// following. Shared by the panel and the headless station.
struct StationSettings {
    QString comPort = QStringLiteral("1");               // "1".."32767" or a device path
    QString lineSettings = QStringLiteral("4800,n,8,1"); // "Settings"
    QString sndDir = QStringLiteral("0000");             // four hex digits
    int pollMs = 500;                                    // kPollMin..kPollMax
    bool largeAntenna = false;                           // "Vastor"
    QString retracted = QStringLiteral("0");             // kept as read, for older versions
    FollowSettings follow;

    bool operator==(const StationSettings &) const = default;
};

// What only the desktop window keeps.
struct WindowSettings {
    std::optional<double> leftTwips; // none: where the window manager put it
    std::optional<double> topTwips;
    bool onTop = false;
    QString style = QStringLiteral("0"); // the stored view, as stored
    QString height;                      // kept as read, for older versions

    bool operator==(const WindowSettings &) const = default;
};

// The "Remote" section: the HTTP and WebSocket API.
struct RemoteSettings {
    bool enabled = false;
    QString listen = QStringLiteral("127.0.0.1:8732"); // ADDRESS:PORT
    QString tokenFile;                                 // empty: no token
    QStringList hosts;                                 // extra names accepted in Host

    bool operator==(const RemoteSettings &) const = default;
};

StationSettings readStationSettings(const SettingsStore &store);
WindowSettings readWindowSettings(const SettingsStore &store);
RemoteSettings readRemoteSettings(const SettingsStore &store);
FollowSettings readFollowSettings(const SettingsStore &store);

SettingValues settingValues(const StationSettings &value);
SettingValues settingValues(const WindowSettings &value);
SettingValues settingValues(const RemoteSettings &value);
SettingValues settingValues(const FollowSettings &value);

// Writes the default of every key that is missing or empty, in one write; the window
// edges default to where the window is (in twips). False when the write failed.
bool fillMissingSettings(SettingsStore &store, double windowLeftTwips, double windowTopTwips);

// Text forms shared with the setup dialog.
QString boolText(bool value); // "True" / "False"

} // namespace tarvik

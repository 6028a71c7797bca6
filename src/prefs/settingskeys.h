#pragma once

#include <array>
#include <string_view>

namespace tarvik {

// Every key the panel keeps, with the section it lives in and its default.
// Section and key names match without regard to case: "StartUp" and "Startup"
// are one section.
enum class Key {
    ComPort,
    Settings,
    PositionLeft,
    PositionTop,
    Retracted,
    SndDir,
    Poll,
    Vastor,
    OnTop,
    Style,
    Height,
    FollowEnabled,
    FollowHost,
    FollowPort,
    FollowThreshold,
    FollowSettle,
    RemoteEnabled,
    RemoteListen,
    RemoteTokenFile,
    RemoteHosts,
    MqttEnabled,
    MqttUrl,
    MqttPrefix,
    MqttUserName,
    MqttPasswordFile,
    MqttCaFile,
    MqttDiscovery,
    MqttCommands,
    StationId,
    RemoteViewTokenFile,
    InterlockEnabled,
    InterlockHoldAfterTx,
    InterlockWhenUnknown,
};

enum class DefaultKind {
    Text,       // defaultValue as written
    WindowLeft, // the window's left edge at that moment, in twips
    WindowTop,  // the window's top edge at that moment, in twips
    None,       // no default is ever written
};

struct SettingKey {
    Key id;
    std::string_view section;
    std::string_view name;
    std::string_view defaultValue;
    DefaultKind defaultKind;
};

inline constexpr std::string_view kApplication = "TarvikDesk";

// In the order fillMissingSettings fills them.
inline constexpr std::array<SettingKey, 33> kSettingKeys{{
    {Key::ComPort, "StartUp", "ComPort", "1", DefaultKind::Text},
    {Key::Settings, "StartUp", "Settings", "4800,n,8,1", DefaultKind::Text},
    {Key::PositionLeft, "StartUp", "Position-Left", "", DefaultKind::WindowLeft},
    {Key::PositionTop, "StartUp", "Position-Top", "", DefaultKind::WindowTop},
    {Key::Retracted, "StartUp", "retracted", "0", DefaultKind::Text},
    {Key::SndDir, "StartUp", "sndDir", "0000", DefaultKind::Text},
    {Key::Poll, "StartUp", "Poll", "500", DefaultKind::Text},
    {Key::Vastor, "StartUp", "Vastor", "False", DefaultKind::Text},
    {Key::OnTop, "StartUp", "OnTop", "0", DefaultKind::Text},
    {Key::Style, "Startup", "Style", "0", DefaultKind::Text},
    {Key::Height, "Startup", "Height", "", DefaultKind::None},
    {Key::FollowEnabled, "Follow", "Enabled", "0", DefaultKind::Text},
    {Key::FollowHost, "Follow", "Host", "127.0.0.1", DefaultKind::Text},
    {Key::FollowPort, "Follow", "Port", "4532", DefaultKind::Text},
    {Key::FollowThreshold, "Follow", "Threshold", "20", DefaultKind::Text}, // kHz
    {Key::FollowSettle, "Follow", "Settle", "500", DefaultKind::Text},      // ms
    {Key::RemoteEnabled, "Remote", "Enabled", "0", DefaultKind::Text},
    {Key::RemoteListen, "Remote", "Listen", "127.0.0.1:8732", DefaultKind::Text},
    {Key::RemoteTokenFile, "Remote", "TokenFile", "", DefaultKind::None},
    {Key::RemoteHosts, "Remote", "Hosts", "",
     DefaultKind::None}, // extra Host names, comma-separated
    {Key::MqttEnabled, "Mqtt", "Enabled", "0", DefaultKind::Text},
    {Key::MqttUrl, "Mqtt", "Url", "mqtt://127.0.0.1:1883", DefaultKind::Text},
    {Key::MqttPrefix, "Mqtt", "Prefix", "", DefaultKind::None}, // empty: tarvik/<profile>
    {Key::MqttUserName, "Mqtt", "UserName", "", DefaultKind::None},
    {Key::MqttPasswordFile, "Mqtt", "PasswordFile", "", DefaultKind::None},
    {Key::MqttCaFile, "Mqtt", "CaFile", "", DefaultKind::None},
    {Key::MqttDiscovery, "Mqtt", "Discovery", "1", DefaultKind::Text},
    {Key::MqttCommands, "Mqtt", "Commands", "1", DefaultKind::Text}, // 0: publish only
    // Made once at random (stationid.h); never a default written by the filler.
    {Key::StationId, "Station", "Id", "", DefaultKind::None},
    // A token that may watch but not command; empty: none.
    {Key::RemoteViewTokenFile, "Remote", "ViewTokenFile", "", DefaultKind::None},
    // Empty: armed exactly when the antenna follows the radio (or --rig is given).
    {Key::InterlockEnabled, "Interlock", "Enabled", "", DefaultKind::None},
    {Key::InterlockHoldAfterTx, "Interlock", "HoldAfterTxMs", "0", DefaultKind::Text},
    {Key::InterlockWhenUnknown, "Interlock", "WhenUnknown", "allow", DefaultKind::Text},
}};

constexpr const SettingKey &settingKey(Key id)
{
    for (const auto &k : kSettingKeys)
        if (k.id == id)
            return k;
    return kSettingKeys[0];
}

// A Text default that is a whole number (plain digits), as that number.
constexpr int defaultNumber(Key id)
{
    int n = 0;
    for (const char c : settingKey(id).defaultValue)
        n = n * 10 + (c - '0');
    return n;
}

// Poll interval range the panel accepts, in milliseconds.
inline constexpr int kPollMin = 200;
inline constexpr int kPollMax = 10000;

// What following the radio accepts: a TCP port, a threshold in kHz (a whole band is
// at most a few MHz wide) and a settle time in milliseconds.
inline constexpr int kFollowPortMin = 1;
inline constexpr int kFollowPortMax = 65535;
inline constexpr int kFollowThresholdMaxKHz = 5000;
inline constexpr int kFollowSettleMaxMs = 10000;
// The longest an amplifier's relays or a VOX hang may keep the interlock closed after PTT.
inline constexpr int kHoldAfterTxMaxMs = 10000;

} // namespace tarvik

#include "preferences.h"

#include "commport.h"
#include "settingsstore.h"

#include <cstdint>

namespace tarvik {

// A write that fails is reported once by the store's writeFailed.
void RegInit(SettingsStore &store, SettingsHost &host)
{
    fillMissingSettings(store, host.windowLeft(), host.windowTop());
}

// A stored value that cannot be used gives way to the key's default for this run; the
// next SaveSettings then writes the value in use over it. For the window edges the
// default is where the window already is.
void GetPreferences(SettingsStore &store, SettingsHost &host)
{
    const StationSettings station = readStationSettings(store);
    const WindowSettings window = readWindowSettings(store);
    if (window.leftTwips)
        host.setWindowLeft(*window.leftTwips);
    if (window.topTwips)
        host.setWindowTop(*window.topTwips);

    host.MSComm1().setCommPort(station.comPort);
    host.MSComm1().setSettings(station.lineSettings);
    host.setSndDir(station.sndDir);
    host.setPollrate(static_cast<std::int16_t>(station.pollMs));
    host.setVastor(station.largeAntenna);
    host.setFollowSettings(station.follow);

    // Last: a change of the box acts as the operator's click, which saves the settings,
    // so everything above, following too, must be in place by then.
    host.setOnTopValue(window.onTop ? 1 : 0);
}

bool saveFollowSettings(SettingsStore &store, const FollowSettings &value)
{
    return store.setValues(settingValues(value));
}

void SaveSettings(SettingsStore &store, SettingsHost &host)
{
    const SettingValues values{
        {Key::ComPort, host.MSComm1().commPort()},
        {Key::Settings, host.MSComm1().settings()},
        {Key::SndDir, host.sndDir()},
        {Key::Vastor, boolText(host.Vastor())},
        {Key::Poll, QString::number(host.pollrate())},
        {Key::OnTop, QString::number(host.onTopValue())},
        {Key::PositionLeft, twipsText(host.windowLeft())},
        {Key::PositionTop, twipsText(host.windowTop())},
    };
    store.setValues(values + settingValues(host.followSettings()));
}

} // namespace tarvik

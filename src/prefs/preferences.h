#pragma once

#include "settings.h"

#include <QString>

#include <cstdint>

namespace tarvik {

class CommPort;
class SettingsStore;

// What the settings routines need of the main window.
class SettingsHost
{
public:
    virtual ~SettingsHost() = default;

    // Window edges in twips.
    virtual double windowLeft() const = 0;
    virtual double windowTop() const = 0;
    virtual void setWindowLeft(double twips) = 0;
    virtual void setWindowTop(double twips) = 0;

    virtual CommPort &MSComm1() = 0;

    virtual QString sndDir() const = 0;
    virtual void setSndDir(const QString &value) = 0;
    virtual std::int16_t pollrate() const = 0;
    virtual void setPollrate(std::int16_t value) = 0;
    virtual bool Vastor() const = 0;
    virtual void setVastor(bool value) = 0;

    // Value of the On Top box (0 unticked, 1 ticked). Setting a different value
    // raises the box's click handler, as the operator's click would.
    virtual int onTopValue() const = 0;
    virtual void setOnTopValue(int value) = 0;

    // Following the radio, as stored: applying it starts or stops following.
    virtual FollowSettings followSettings() const = 0;
    virtual void setFollowSettings(const FollowSettings &value) = 0;
};

// The current panel's routines, on top of settings.h.
// Gives every missing or empty key its default, in one write.
void RegInit(SettingsStore &store, SettingsHost &host);
// Reads the keys and applies them to the window, the port and the panel state.
// A value that cannot be converted gives way to that key's default for this run.
void GetPreferences(SettingsStore &store, SettingsHost &host);
// Stores the current values from the same places, in one write.
void SaveSettings(SettingsStore &store, SettingsHost &host);
// The "Follow" section alone, in one write.
bool saveFollowSettings(SettingsStore &store, const FollowSettings &value);

} // namespace tarvik

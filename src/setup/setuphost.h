#pragma once

#include "preferences.h"

namespace tarvik {

class SettingsStore;

// What the setup dialog needs of the main window, beyond the settings routines'.
class SetupHost : public SettingsHost
{
public:
    virtual SettingsStore &settingsStore() = 0;
    // Timer1: stopped while the dialog is open, started again at `intervalMs` when it
    // closes.
    virtual void stopPolling() = 0;
    virtual void startPolling(int intervalMs) = 0;
    virtual void showMainWindow() = 0;
    virtual void hideMainWindow() = 0;
    // Sends one set-frequency frame from the panel state.
    virtual void sendCurrentFrame() = 0;
    // The port could not be opened as the dialog closed: the panel runs on with it
    // closed and shows so on its Connected lamp.
    virtual void portLeftClosed() = 0;
};

} // namespace tarvik

#pragma once

#include <QString>

class QWidget;

namespace tarvik {

// Where a machine-wide value is looked up. On Windows this is the registry root;
// elsewhere the system-wide settings of the organisation and application
// "TarvikDesk" ($XDG_CONFIG_DIRS/TarvikDesk/TarvikDesk.conf, /etc/xdg by default).
enum class KeyRoot { LocalMachine };

// Reads one machine-wide text value. On failure `value` is emptied and false returned;
// the caller decides what that means.
bool machineValue(KeyRoot root, const QString &keyName, const QString &valueName, QString &value);

// Finds the system-information tool and starts it without waiting for it. When none
// can be found or started, says so in a message box over `parent`.
void startSystemInfo(QWidget *parent);

} // namespace tarvik

#pragma once

#include <QFunctionPointer>
#include <QString>

namespace tarvik {

// The entry point `symbol` of a module the panel opens at run time, so that a panel
// that never serves never loads what the module brings. `fileName` is the module's path
// relative to the program's folder, where the build and the package put it. The module
// is opened the first time and stays open for the rest of the run. Null, with `why`
// ("the MQTT module cannot be opened: ..."), when it cannot be opened; `what` names it.
QFunctionPointer moduleEntry(const QString &fileName, const char *symbol, const QString &what,
                             QString &why);

} // namespace tarvik

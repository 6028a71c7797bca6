#include "bridgemodule.h"

#include <QCoreApplication>
#include <QLibrary>

namespace tarvik::mqtt {

// The module lies where the build and the package put it, relative to the program.
std::unique_ptr<BridgeHandle> openBridge(Station *station, const MqttOptions &options,
                                         QObject *parent, StatusCallback statusChanged,
                                         QString &why)
{
    static QLibrary module;
    if (!module.isLoaded()) {
        module.setFileName(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/" TARVIK_MQTT_MODULE));
        module.setLoadHints(QLibrary::ResolveAllSymbolsHint);
    }
    auto *make = reinterpret_cast<MakeBridge *>(module.resolve(kMakeBridge));
    if (!make) {
        why = QStringLiteral("the MQTT module cannot be opened: ") + module.errorString();
        return nullptr;
    }
    return std::unique_ptr<BridgeHandle>(make(station, options, parent, std::move(statusChanged)));
}

} // namespace tarvik::mqtt

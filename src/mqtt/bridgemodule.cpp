#include "bridgemodule.h"

#include "module.h"

namespace tarvik::mqtt {

std::unique_ptr<BridgeHandle> openBridge(Station *station, const MqttOptions &options,
                                         QObject *parent, StatusCallback statusChanged,
                                         QString &why)
{
    auto *make = reinterpret_cast<MakeBridge *>(
        moduleEntry(QStringLiteral(TARVIK_MQTT_MODULE), kMakeBridge, QStringLiteral("MQTT"), why));
    if (!make)
        return nullptr;
    return std::unique_ptr<BridgeHandle>(make(station, options, parent, std::move(statusChanged)));
}

} // namespace tarvik::mqtt

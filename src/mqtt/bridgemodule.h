#pragma once

#include "mqttconfig.h"

#include <QString>

#include <functional>
#include <memory>

class QObject;

namespace tarvik {

class Station;

namespace mqtt {

// The MQTT bridge as the panel holds it: made by a module the panel opens at run time,
// the first time a broker is configured, so that a panel without one never loads the
// MQTT client library or the TLS library under it. tarvik-station links the bridge.
class BridgeHandle
{
public:
    virtual ~BridgeHandle() = default;
    virtual void start() = 0;
    virtual void stop() = 0;
    virtual void leave() = 0; // as MqttBridge::leave(): the prefix left clean
    virtual QString status() const = 0;
};

using StatusCallback = std::function<void(const QString &status)>;

// A bridge over `station` (its QObject a child of `parent`), with `statusChanged` told
// each change of status. Empty, with `why`, when the module cannot be opened; it stays
// open for the rest of the run once it was.
std::unique_ptr<BridgeHandle> openBridge(Station *station, const MqttOptions &options,
                                         QObject *parent, StatusCallback statusChanged,
                                         QString &why);

// The module's one entry point, found by this name.
using MakeBridge = BridgeHandle *(Station *station, const MqttOptions &options, QObject *parent,
                                  StatusCallback statusChanged);
inline constexpr char kMakeBridge[] = "tarvik_mqtt_make_bridge";

} // namespace mqtt
} // namespace tarvik

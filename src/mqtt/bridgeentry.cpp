// The MQTT module's entry point: the bridge, with the client library and TLS under it,
// made for a host that opened the module at run time.

#include "bridgemodule.h"
#include "mqttbridge.h"

#include <QPointer>

namespace tarvik::mqtt {
namespace {

class Handle final : public BridgeHandle
{
public:
    Handle(Station *station, const MqttOptions &options, QObject *parent,
           StatusCallback statusChanged)
        : m_bridge(new MqttBridge(station, options, parent))
    {
        QObject::connect(m_bridge, &MqttBridge::statusChanged, m_bridge, std::move(statusChanged));
    }
    // The host may be gone first: then its children went with it.
    ~Handle() override { delete m_bridge.data(); }
    void start() override { m_bridge->start(); }
    void stop() override { m_bridge->stop(); }
    void leave() override { m_bridge->leave(); }
    QString status() const override { return m_bridge->status(); }

private:
    QPointer<MqttBridge> m_bridge;
};

} // namespace
} // namespace tarvik::mqtt

extern "C" __attribute__((visibility("default"))) tarvik::mqtt::BridgeHandle *
tarvik_mqtt_make_bridge(tarvik::Station *station, const tarvik::mqtt::MqttOptions &options,
                        QObject *parent, tarvik::mqtt::StatusCallback statusChanged)
{
    return new tarvik::mqtt::Handle(station, options, parent, std::move(statusChanged));
}

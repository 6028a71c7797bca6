#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <utility>

namespace tarvik::mqtt {

struct MqttOptions;

// Home Assistant's discovery documents for one station: every control and lamp as an
// entity reading <prefix>/state and writing <prefix>/command, each with the topic it
// is retained on (homeassistant/<component>/<node>/<object>/config).
QList<std::pair<QString, QByteArray>> discoveryDocuments(const MqttOptions &options);

} // namespace tarvik::mqtt

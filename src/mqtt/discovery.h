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

// The node of a prefix: '/' becomes '_', while '-' escapes '-', '_' and '.' ("--", "-_",
// "-d"), so that two prefixes never share a node and "tarvik/north" stays "tarvik_north".
QString nodeId(const QString &prefix);

// The node earlier versions made, every character but [A-Za-z0-9_-] as '_': the one
// whose documents a station clears once.
QString legacyNodeId(const QString &prefix);

} // namespace tarvik::mqtt

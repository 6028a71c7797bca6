#pragma once

#include <QJsonObject>
#include <QString>

namespace tarvik {

struct StationState;

namespace remote {

// The state as GET /api/v1/state and the WebSocket's "state" messages carry it.
QJsonObject stateJson(const StationState &state, int clients, const QString &version);

} // namespace remote
} // namespace tarvik

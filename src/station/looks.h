#pragma once

#include "station.h"

#include <QList>
#include <QString>

namespace tarvik {

// How a lamp shows: lit (green, or red for TUNING and RETRACTING), unlit (dark red) or
// grey (off, or not in use).
enum class LampLook { Lit, Unlit, Grey };

struct LampState {
    LampLook look = LampLook::Unlit;
    QString colour; // "green", "red" or "grey": what the operator sees
    QString words;  // what a screen reader hears beside the colour, and the page shows
    QString note;   // what neither says, such as how long the controller has been silent

    bool operator==(const LampState &) const = default;
};

struct NamedLamp {
    QString name; // the lamp's accessible name: "Connected", "180 lamp", "20 m lamp"
    LampState state;
};

// Every lamp of the panel, in its order, as the state makes it look. The one place
// that decides this: the panel's indicators, the API's "lamps" and the page all show
// what comes out of here and decide nothing themselves.
QList<NamedLamp> lampLooks(const StationState &state);

// "lit", "unlit", "grey"
QString lookName(LampLook look);

} // namespace tarvik

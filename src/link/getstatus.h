#pragma once

#include "panelstate.h"

#include <QLocale>
#include <QString>

namespace tarvik {

class CommPort;

// The front elements the poll shows or hides. Each lies over a twin of the other
// colour; hiding a red lamp lights its green twin.
enum class Front {
    ConnectedRed,   // Picture5
    TuningGrey,     // Label5
    RetractingRed,  // Label4
    ReversedRed,    // Picture1, the 180 lamp
    BidirRed,       // Picture4, the BiDir lamp
    ThreeQuarterRed // Picture7, the 3/4 lamp
};

// What the poll writes to. The panel implements it with its indicators.
class StatusDisplay
{
public:
    virtual ~StatusDisplay() = default;
    virtual void setFrontVisible(Front element, bool visible) = 0;
    virtual void showReceived(const QString &replyHex) = 0; // Text1
    virtual void showFrequency(double mhz) = 0;             // Text3
};

// One poll: request, read the waiting reply a byte at a time, check the header,
// decode, show. Any failure ends it quietly. Returns true when a whole frame was
// decoded.
bool GetStatus(CommPort &port, PanelState &state, StatusDisplay &display);

// The frequency display's picture "00.000", with the locale's decimal separator.
QString formatMHz(double mhz, const QLocale &locale);

} // namespace tarvik

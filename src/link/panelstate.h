#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// The fields the command handlers, the frame encoder and the poll share.
// sndFreq is empty until the first band, step or decoded reply; it is a whole
// number after a command and a double after a decoded status.
struct PanelState {
    std::int16_t pollrate = 500;
    std::optional<double> sndFreq;
    QString sndDir = QStringLiteral("0000");
    QString sndCmd = QStringLiteral("31");
    bool Vastor = false;
    QString retracted = QStringLiteral("0");

    // Private to the main window's own routines.
    QString viewStyle;
    QString replyHex;
    QString freqHex;
    QString rxByteHex;
    QString rxFreqHex;
    double rxFreqMHz = 0.0;
};

} // namespace tarvik

#pragma once

#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// The panel state record: what the command handlers send from, and what the frame
// encoder and the poll leave behind (the panel copies their results in here).
// sndFreq is empty until the first band, step or decoded reply; it is a whole
// number after a command and a double after a decoded status.
struct PanelState {
    std::int16_t pollrate = 500;
    std::optional<double> sndFreq;
    QString sndDir = QStringLiteral("0000");
    QString sndCmd = QStringLiteral("31");
    bool Vastor = false;
    QString retracted = QStringLiteral("0");

    // Private to the main window's own routines: the hex fields the encoder and the
    // poll fill as they work, and the view style.
    QString viewStyle;
    QString replyHex;
    QString freqHex;
    QString rxByteHex;
    QString rxFreqHex;
    double rxFreqMHz = 0.0;
};

} // namespace tarvik

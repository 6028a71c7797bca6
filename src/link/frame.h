#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik {

// Raises a frequency to the antenna's lower limit. No upper limit is applied here.
double applyLowerLimit(double sndFreq, bool vastor);

// The six-digit frequency field for a frequency already at or above the limit:
// rounded, upper-case hex, a "0" in front below 0x100000, and capped at FFFFFF so
// that a frame never grows past 11 bytes.
QString frequencyField(double sndFreq);

// Assembles the 11 bytes of a set-frequency frame from its text pieces.
QByteArray setFrequencyFrame(const QString &freqHex, const QString &sndDir, const QString &sndCmd);

// What Data2Tarvik's encoding makes of the panel state: sndFreq raised to the limit
// (an empty sndFreq counts as 0), its frequency field, and the frame for sndDir and
// sndCmd. The panel keeps the first two.
struct SetFrequencyFrame {
    double sndFreq = 0.0;
    QString freqHex;
    QByteArray bytes;
};
SetFrequencyFrame encodeSetFrequency(std::optional<double> sndFreq, bool vastor,
                                     const QString &sndDir, const QString &sndCmd);

// A fixed-code frame (Home, Calibrate, En/Dis Xcvr): "404100", three "0" pieces,
// sndDir, the code, "300D", each piece converted on its own.
QByteArray fixedCodeFrame(const QString &sndDir, std::string_view codeHex);

// True for exactly four hex digits, which is all a direction field may hold, stored
// or sent.
bool isValidDirectionField(const QString &sndDir);

} // namespace tarvik

#pragma once

// Reading rigctld's answer lines, one line at a time and without its "\n".
// Pure functions: no socket, no state.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

namespace tarvik::rig {

enum class Ptt { Off, On, Unknown };

// Digits, optionally followed by "." and zeros only, up to kMaxReadingHz. Anything
// else (a sign, a space, "RPRT -1", a fraction of a hertz) is no reading at all.
std::optional<std::int64_t> parseFrequency(QByteArrayView line);

// "0" is receiving; "1", "2" and "3" (keyed, keyed from the microphone, keyed for
// data) are transmitting. Everything else, errors included, is Unknown.
Ptt parsePtt(QByteArrayView line);

bool inFollowRange(std::int64_t hz);

// "14.074000 MHz"
QString formatMHz(std::int64_t hz);

} // namespace tarvik::rig

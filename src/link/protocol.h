#pragma once

// The controller's wire protocol, all in one place.
//
// A set-frequency frame for 14.050 MHz, normal pattern, as it leaves the panel:
//
//   byte  0   0x40  '@'   header
//   byte  1   0x41  'A'   header
//   byte  2   0x00        header
//   byte  3   0x15        frequency, MSB   1405000 (units of 10 Hz) = 0x157048
//   byte  4   0x70        frequency
//   byte  5   0x48        frequency, LSB
//   byte  6   0x00        direction, always 0
//   byte  7   0x00        direction code: 0x00 normal, 0x40 reversed, 0x80 bidirectional
//   byte  8   0x31  '1'   command: set frequency and direction
//   byte  9   0x30  '0'   trailer
//   byte 10   0x0D  CR    trailer
//
// The panel asks for the controller's state with "?A" CR (3F 41 0D) and gets back
// 11 bytes opening with the same three header bytes: 40 41 00, frequency (3 bytes),
// motion flag, direction-and-state code, then three bytes nobody interprets.

#include <array>
#include <cstdint>
#include <string_view>

namespace tarvik::proto {

inline constexpr int kFrameSize = 11;
inline constexpr int kStatusFrameSize = 11;
inline constexpr int kHeaderSize = 3;

// Frames are put together as hexadecimal text, piece by piece.
inline constexpr std::string_view kHeaderHex = "404100";
inline constexpr std::string_view kTrailerHex = "300D";
inline constexpr std::array<std::uint8_t, 3> kHeader{0x40, 0x41, 0x00};
inline constexpr std::array<std::uint8_t, 3> kStatusRequest{0x3F, 0x41, 0x0D};

// Frequencies are in units of 10 Hz and travel as unsigned 24-bit numbers.
inline constexpr std::int32_t kUnitsPerMHz = 100000;
inline constexpr std::int32_t kMaxFrequency = 0xFFFFFF;
inline constexpr std::int32_t kSixDigitThreshold = 0x100000;
inline constexpr std::int32_t kLowerLimitSmall = 1370000; // 13.700 MHz, beams and dipoles
inline constexpr std::int32_t kLowerLimitLarge = 695000;  // 6.950 MHz, the large models
inline constexpr std::int32_t kFrequencyStep = 5000;      // 50 kHz, UP and DN

inline constexpr std::int32_t lowerLimit(bool vastor)
{
    return vastor ? kLowerLimitLarge : kLowerLimitSmall;
}

// Command byte of a frame. The set-frequency code rides in sndCmd; the others
// belong to the buttons that send fixed-code frames.
struct CommandCode {
    std::string_view hex;
    std::string_view meaning;
};
inline constexpr CommandCode kSetFrequency{"31", "set frequency and direction"};
inline constexpr CommandCode kEnableXcvr{"52", "enable the transceiver interface"};
inline constexpr CommandCode kHome{"53", "retract the elements"};
inline constexpr CommandCode kDisableXcvr{"55", "disable the transceiver interface"};
inline constexpr CommandCode kCalibrate{"56", "calibrate"};

// Direction field, four hex digits in sndDir.
enum class Pattern { Normal, Reversed, Bidirectional };
struct DirectionCode {
    Pattern pattern;
    std::string_view sndDir;
    std::uint8_t byte7;
};
inline constexpr std::array<DirectionCode, 3> kDirections{{
    {Pattern::Normal, "0000", 0x00},
    {Pattern::Reversed, "0040", 0x40},
    {Pattern::Bidirectional, "0080", 0x80},
}};
inline constexpr std::string_view sndDirFor(Pattern p)
{
    for (const auto &d : kDirections)
        if (d.pattern == p)
            return d.sndDir;
    return "0000";
}

// Byte 7 of a status frame: only these twelve values mean anything.
struct StatusCode {
    std::string_view hex;
    Pattern pattern;
    bool retracting;
};
inline constexpr std::array<StatusCode, 12> kStatusCodes{{
    {"00", Pattern::Normal, false},
    {"10", Pattern::Normal, true},
    {"15", Pattern::Normal, false},
    {"25", Pattern::Normal, true},
    {"40", Pattern::Reversed, false},
    {"50", Pattern::Reversed, true},
    {"55", Pattern::Reversed, false},
    {"65", Pattern::Reversed, true},
    {"80", Pattern::Bidirectional, false},
    {"90", Pattern::Bidirectional, true},
    {"95", Pattern::Bidirectional, false},
    {"A5", Pattern::Bidirectional, true},
}};

inline constexpr const StatusCode *findStatusCode(std::string_view hex)
{
    for (const auto &c : kStatusCodes)
        if (c.hex == hex)
            return &c;
    return nullptr;
}

// A header search that never finds 40 41 00 gives up after this many requests
// in one tick, so a babbling line cannot hold the window.
inline constexpr int kMaxHeaderSearches = 16;

} // namespace tarvik::proto

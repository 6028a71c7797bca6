#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvik {

// The nine bands, 80 m first: what a band command sends and which band a frequency
// lies in. How a front end shows them (buttons, lamps, keys) is its own table, kept in
// the same order.
struct Band {
    std::string_view caption;    // "80", also "80 m lamp"
    std::int32_t startFrequency; // units of 10 Hz
    std::int32_t lowKHz;         // the amateur band's edges, both inside it
    std::int32_t highKHz;
};

inline constexpr std::array<Band, 9> kBands{{
    {"80", 355000, 3500, 4000},
    {"40", 705000, 7000, 7300},
    {"30", 1010000, 10100, 10150},
    {"20", 1405000, 14000, 14350},
    {"17", 1810000, 18068, 18168},
    {"15", 2105000, 21000, 21450},
    {"12", 2495000, 24890, 24990},
    {"10", 2820000, 28000, 29700},
    {"6", 5000000, 50000, 54000},
}};

// The band whose lamp a radio on `hz` lights; none between the bands.
constexpr std::optional<std::size_t> bandHolding(std::int64_t hz)
{
    for (std::size_t i = 0; i < kBands.size(); ++i)
        if (hz >= kBands[i].lowKHz * std::int64_t(1000) &&
            hz <= kBands[i].highKHz * std::int64_t(1000))
            return i;
    return std::nullopt;
}

} // namespace tarvik

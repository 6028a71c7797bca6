#include "rigreply.h"

#include "rigprotocol.h"

#include <algorithm>

namespace tarvik::rig {

std::optional<std::int64_t> parseFrequency(QByteArrayView line)
{
    const qsizetype dot = line.indexOf('.');
    if (dot >= 0) {
        const QByteArrayView fraction = line.sliced(dot + 1);
        if (fraction.isEmpty() ||
            !std::all_of(fraction.begin(), fraction.end(), [](char c) { return c == '0'; }))
            return std::nullopt;
        line = line.first(dot);
    }
    if (line.isEmpty())
        return std::nullopt;
    std::int64_t hz = 0;
    for (const char c : line) {
        if (c < '0' || c > '9')
            return std::nullopt;
        hz = hz * 10 + (c - '0');
        if (hz > kMaxReadingHz)
            return std::nullopt;
    }
    return hz;
}

Ptt parsePtt(QByteArrayView line)
{
    if (line.size() != 1)
        return Ptt::Unknown;
    if (line[0] == '0')
        return Ptt::Off;
    return line[0] >= '1' && line[0] <= '3' ? Ptt::On : Ptt::Unknown;
}

bool inFollowRange(std::int64_t hz)
{
    return hz >= kFollowLowHz && hz <= kFollowHighHz;
}

QString formatMHz(std::int64_t hz)
{
    return QStringLiteral("%1.%2 MHz")
        .arg(hz / 1'000'000)
        .arg(hz % 1'000'000, 6, 10, QLatin1Char('0'));
}

} // namespace tarvik::rig

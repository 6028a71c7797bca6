#pragma once

#include <QString>

#include <string_view>

namespace tarvik {

// The tables (protocol codes, settings keys, captions) hold plain ASCII text as
// std::string_view, so that they stay constexpr; this is where it becomes a QString.
inline QString latin1(std::string_view text)
{
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

} // namespace tarvik

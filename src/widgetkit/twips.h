#pragma once

#include <QPoint>
#include <QRect>

#include <cmath>

namespace tarvik {

// The layout is designed in twips; at 96 dpi fifteen of them make a pixel. Qt takes
// care of screens with more pixels to the inch, so this stays a fixed ratio.
inline constexpr int kTwipsPerPixel = 15;

constexpr int px(double twips)
{
    return static_cast<int>(twips / kTwipsPerPixel + (twips >= 0 ? 0.5 : -0.5));
}

constexpr QRect twipsRect(int left, int top, int width, int height)
{
    return QRect(px(left), px(top), px(width), px(height));
}

constexpr double toTwips(int pixels)
{
    return static_cast<double>(pixels) * kTwipsPerPixel;
}

} // namespace tarvik

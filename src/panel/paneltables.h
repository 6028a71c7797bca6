#pragma once

#include <Qt>

#include <array>
#include <cstdint>
#include <optional>
#include <string_view>

namespace tarvik {

// The nine bands, 80 m first. The button, its lamp, the start frequency (units of
// 10 Hz), its key, the band's edges and, for the upper six, the Band menu item all
// come from here.
struct Band {
    std::string_view caption;     // button caption, also "80 m lamp"
    int buttonLeft;               // twips within "Ham Bands"
    int lampLeft;                 // twips within "Ham Bands"
    std::int32_t startFrequency;  // units of 10 Hz
    std::string_view menuCaption; // empty: no menu item
    QKeyCombination key;          // the menu item's shortcut, or the button's own key
    std::int32_t lowKHz;          // the amateur band's edges, both inside it
    std::int32_t highKHz;
};

inline constexpr std::array<Band, 9> kBands{{
    {"80", 200, 240, 355000, "", Qt::CTRL | Qt::Key_8, 3500, 4000},
    {"40", 670, 720, 705000, "", Qt::CTRL | Qt::Key_4, 7000, 7300},
    {"30", 1150, 1200, 1010000, "", Qt::CTRL | Qt::Key_3, 10100, 10150},
    {"20", 1630, 1680, 1405000, "&20", Qt::Key_F6, 14000, 14350},
    {"17", 2110, 2160, 1810000, "&17", Qt::Key_F7, 18068, 18168},
    {"15", 2590, 2640, 2105000, "&15", Qt::Key_F8, 21000, 21450},
    {"12", 3070, 3120, 2495000, "&12", Qt::Key_F9, 24890, 24990},
    {"10", 3550, 3600, 2820000, "&10", Qt::Key_F11, 28000, 29700},
    {"6", 4020, 4080, 5000000, "&6", Qt::Key_F12, 50000, 54000},
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

inline constexpr int kBandButtonTop = 600;
inline constexpr int kBandButtonWidth = 375;
inline constexpr int kBandButtonHeight = 255;
inline constexpr int kBandLampTop = 240;
inline constexpr int kLampSize = 255;

// The three views. A view is only an outer window height: lower heights cut the
// lower bands of controls off.
struct View {
    int style;
    std::string_view actionName;
    std::string_view menuCaption;
    int key;
    int startupHeight; // twips, applied when start-up restores the view
    int menuHeight;    // twips, applied by the menu command and stored as "Height"
};

inline constexpr std::array<View, 3> kViews{{
    {0, "mnuCompact", "&Compact", Qt::Key_F3, 2200, 2175},
    {1, "mnuFull", "&Full", Qt::Key_F4, 3400, 3195},
    {2, "mnuDiag", "&Diagnostics", Qt::Key_F5, 4300, 3930},
}};

// The heights above are outer heights of a window whose frame, caption and menu bar
// took 690 twips. Here the window manager's share is its own business, so the panel
// sizes the area under its menu bar to the height minus this.
inline constexpr int kFrameCaptionMenuTwips = 690;

// Designed client area and position of the main window, in twips.
inline constexpr int kDesignWidth = 5280;
inline constexpr int kDesignHeight = 1485;
inline constexpr int kDesignLeft = 165;
inline constexpr int kDesignTop = 450;

} // namespace tarvik

#pragma once

#include "bands.h"

#include <Qt>

#include <array>
#include <string_view>

namespace tarvik {

// How the panel shows each band of the station's table (bands.h), in its order: the
// button and its lamp within "Ham Bands", the key, and for the upper six the Band menu
// item.
struct BandControl {
    int buttonLeft;               // twips
    int lampLeft;                 // twips
    std::string_view menuCaption; // empty: no menu item
    QKeyCombination key;          // the menu item's shortcut, or the button's own key
};

inline constexpr std::array<BandControl, 9> kBandControls{{
    {200, 240, "", Qt::CTRL | Qt::Key_8},
    {670, 720, "", Qt::CTRL | Qt::Key_4},
    {1150, 1200, "", Qt::CTRL | Qt::Key_3},
    {1630, 1680, "&20", Qt::Key_F6},
    {2110, 2160, "&17", Qt::Key_F7},
    {2590, 2640, "&15", Qt::Key_F8},
    {3070, 3120, "&12", Qt::Key_F9},
    {3550, 3600, "&10", Qt::Key_F11},
    {4020, 4080, "&6", Qt::Key_F12},
}};
static_assert(kBandControls.size() == kBands.size());

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

#pragma once

#include <QFont>

namespace tarvik {

// The windows' typeface: Arial where it is installed, else its metric twin.
QFont arial(double pointSize, bool bold = false, bool italic = false);

// The received-string box's face, MS Sans Serif or the nearest installed sans.
QFont msSansSerif(double pointSize);

} // namespace tarvik

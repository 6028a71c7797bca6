#pragma once

#include <QLocale>
#include <QString>

namespace tarvik {

// The frequency display's picture "00.000", with the locale's decimal separator: the
// one MHz text every front end shows.
QString formatMHz(double mhz, const QLocale &locale);

} // namespace tarvik

#include "frequencytext.h"

#include <cmath>
#include <cstdlib>

namespace tarvik {

QString formatMHz(double mhz, const QLocale &locale)
{
    // Round in decimal, half away from zero, as the picture promises: the value is a
    // whole number of 10 Hz units, so snapping to millionths first removes the binary
    // noise that would turn 14.0505 into 14.050.
    const double micro = std::round(mhz * 1e6);
    const long long thousandths = std::llround(micro / 1000.0);
    const long long whole = thousandths / 1000;
    const long long fraction = std::llabs(thousandths % 1000);
    QString text = QStringLiteral("%1").arg(whole, 2, 10, QLatin1Char('0'));
    if (thousandths < 0 && whole == 0)
        text.prepend(QLatin1Char('-'));
    return text + locale.decimalPoint() +
           QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
}

} // namespace tarvik

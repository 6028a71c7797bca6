#include "fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace tarvik {

namespace {
// The first of `candidates` that is installed, else all of them. Asking for a family
// that is not installed sends Qt to fontconfig's sorted list of substitutes, once for
// every size and style: at start-up that cost more than building all the controls.
QStringList installedFamily(const QStringList &candidates)
{
    static const QStringList installed = QFontDatabase::families();
    for (const QString &name : candidates)
        if (installed.contains(name))
            return QStringList{name};
    return candidates;
}
} // namespace

QFont arial(double pointSize, bool bold, bool italic)
{
    static const QStringList families =
        installedFamily({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    QFont f(families);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

QFont msSansSerif(double pointSize)
{
    static const QStringList families =
        installedFamily({QStringLiteral("MS Sans Serif"), QStringLiteral("Microsoft Sans Serif"),
                         QStringLiteral("Liberation Sans")});
    QFont f(families);
    f.setPointSizeF(pointSize);
    return f;
}

} // namespace tarvik

#include "accessibleroles.h"

#include "indicator.h"

#include <QAccessible>
#include <QAccessibleWidget>

namespace tarvik {

namespace {
// A lamp is an indicator where the platform has that role (Windows readers say
// "indicator"). AT-SPI has none and would report "unknown", so there it is an image.
QAccessible::Role lampRole()
{
#ifdef Q_OS_WIN
    return QAccessible::Indicator;
#else
    return QAccessible::Graphic;
#endif
}

// Qt asks the factory once per class up the hierarchy, most derived first; only our
// own classes are answered, everything else keeps Qt's interface.
QAccessibleInterface *roleFactory(const QString &className, QObject *object)
{
    if (!object || !object->isWidgetType())
        return nullptr;
    auto *widget = static_cast<QWidget *>(object);
    if (className == QLatin1String("tarvik::Indicator")) {
        const bool lamp = static_cast<Indicator *>(widget)->isLamp();
        return new QAccessibleWidget(widget, lamp ? lampRole() : QAccessible::StaticText);
    }
    // Without these the windows are anonymous "fillers", and a screen reader does not
    // say which window the operator has landed in.
    if (className == QLatin1String("tarvik::SetupDialog") && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Dialog);
    if (className == QLatin1String("tarvik::HelpWindow") && widget->isWindow())
        return new QAccessibleWidget(widget, QAccessible::Window);
    return nullptr;
}
} // namespace

void installAccessibleRoles()
{
    static const bool installed = [] {
        QAccessible::installFactory(roleFactory);
        return true;
    }();
    Q_UNUSED(installed);
}

} // namespace tarvik

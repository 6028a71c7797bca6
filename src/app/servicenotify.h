#pragma once

#include <QObject>

namespace tarvik {

// Tells systemd how the service is: ready() once it serves, and a watchdog ping from the
// event loop at half the interval systemd asks for, so that a station whose loop froze
// is restarted. Outside systemd (no NOTIFY_SOCKET) it does nothing.
class ServiceNotifier : public QObject
{
    Q_OBJECT
public:
    explicit ServiceNotifier(QObject *parent);
    void ready();
    void reloading();
};

} // namespace tarvik

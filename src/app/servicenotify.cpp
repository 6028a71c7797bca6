#include "servicenotify.h"

#include <QTimer>

#include <algorithm>

#include <systemd/sd-daemon.h>

#include <cstdint>

namespace tarvik {

ServiceNotifier::ServiceNotifier(QObject *parent)
    : QObject(parent)
{
    std::uint64_t usec = 0;
    if (sd_watchdog_enabled(0, &usec) <= 0 || usec == 0)
        return;
    auto *timer = new QTimer(this);
    timer->setInterval(int(std::max<std::uint64_t>(usec / 2000, 1)));
    connect(timer, &QTimer::timeout, this, [] { sd_notify(0, "WATCHDOG=1"); });
    timer->start();
}

void ServiceNotifier::ready()
{
    sd_notify(0, "READY=1");
}

// A reload ends with ready() again.
void ServiceNotifier::reloading()
{
    sd_notify(0, "RELOADING=1");
}

} // namespace tarvik

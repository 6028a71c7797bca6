#pragma once

#include <QObject>

#include <functional>

namespace tarvik {

// SIGTERM, SIGINT and SIGHUP reach `handler` as ordinary code on the event loop of
// `context`: the signal handler itself only writes the signal's number into a socket
// pair, which a QSocketNotifier reads.
void onUnixSignals(QObject *context, std::function<void(int signal)> handler);

} // namespace tarvik

#pragma once

#include "remoteconfig.h"

#include <QString>
#include <QStringList>

#include <memory>

class QObject;

namespace tarvik {

class Station;

namespace remote {

// The remote API's server as the panel holds it: made by a module the panel opens at
// run time, the first time it serves, so that a panel that never serves never loads
// the HTTP and WebSocket libraries. tarvik-station links the server.
class ServerHandle
{
public:
    virtual ~ServerHandle() = default;
    // As RemoteServer's: false with errorString() saying why.
    virtual bool start() = 0;
    virtual void stop() = 0;
    virtual QString errorString() const = 0;
    virtual quint16 port() const = 0;
    virtual QStringList clients() const = 0;
};

// A server over `station` (its QObject a child of `parent`). Empty, with `why`, when
// the module cannot be opened.
std::unique_ptr<ServerHandle> openServer(Station *station, const RemoteOptions &options,
                                         QObject *parent, QString &why);

// The module's one entry point, found by this name.
using MakeServer = ServerHandle *(Station *station, const RemoteOptions &options, QObject *parent);
inline constexpr char kMakeServer[] = "tarvik_remote_make_server";

} // namespace remote
} // namespace tarvik

#include "servermodule.h"

#include "module.h"

namespace tarvik::remote {

std::unique_ptr<ServerHandle> openServer(Station *station, const RemoteOptions &options,
                                         QObject *parent, QString &why)
{
    auto *make = reinterpret_cast<MakeServer *>(moduleEntry(
        QStringLiteral(TARVIK_REMOTE_MODULE), kMakeServer, QStringLiteral("remote API"), why));
    if (!make)
        return nullptr;
    return std::unique_ptr<ServerHandle>(make(station, options, parent));
}

} // namespace tarvik::remote

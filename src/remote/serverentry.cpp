// The remote API module's entry point: the server, with the HTTP and WebSocket
// libraries and the page under it, made for a host that opened the module at run time.

#include "remoteserver.h"
#include "servermodule.h"

#include <QPointer>

namespace tarvik::remote {
namespace {

class Handle final : public ServerHandle
{
public:
    Handle(Station *station, const RemoteOptions &options, QObject *parent)
        : m_server(new RemoteServer(station, options, parent))
    {}
    // The host may be gone first: then its children went with it.
    ~Handle() override { delete m_server.data(); }
    bool start() override { return m_server->start(); }
    void stop() override { m_server->stop(); }
    QString errorString() const override { return m_server->errorString(); }
    quint16 port() const override { return m_server->port(); }
    QStringList clients() const override { return m_server->clients(); }

private:
    QPointer<RemoteServer> m_server;
};

} // namespace
} // namespace tarvik::remote

extern "C" __attribute__((visibility("default"))) tarvik::remote::ServerHandle *
tarvik_remote_make_server(tarvik::Station *station, const tarvik::remote::RemoteOptions &options,
                          QObject *parent)
{
    return new tarvik::remote::Handle(station, options, parent);
}

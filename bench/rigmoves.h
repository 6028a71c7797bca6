#pragma once

// How both following benchmarks move the rig: rigctld's set command for each of two
// bands, with the frame the station must write for it, sent over a connection of the
// benchmark's own that does not wait for the answer, so the followers run meanwhile.

#include <QByteArray>
#include <QHostAddress>
#include <QTcpSocket>

#include <array>

namespace tarvik::bench {

struct RigMove {
    QByteArray command;
    QByteArray frame;
};

inline const std::array<RigMove, 2> kRigMoves{
    RigMove{"F 21074000\n", QByteArray::fromHex("404100202808000031300d")},
    RigMove{"F 14074000\n", QByteArray::fromHex("4041001579a8000031300d")}};

inline bool connectControl(QTcpSocket &control, quint16 port)
{
    control.connectToHost(QHostAddress::LocalHost, port);
    return control.waitForConnected(5000);
}

} // namespace tarvik::bench

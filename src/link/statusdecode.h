#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

#include <array>
#include <cstdint>
#include <optional>

namespace tarvik {

// What one status reply says. Nothing here touches a port or a widget: the poll
// (pollStatus) feeds it the bytes it read and shows the result, and the fuzz targets
// feed it whatever they like.
struct StatusReading {
    QString replyHex;       // the whole reply, 22 hex digits
    QString freqHex;        // bytes 3..5
    std::int32_t units = 0; // frequency in 10 Hz units, 0..0xFFFFFF
    double mhz = 0.0;
    bool moving = false;                     // byte 6 non-zero: TUNING lit
    const proto::StatusCode *code = nullptr; // byte 7, when it is one of the twelve
};

// A reading from exactly 11 bytes opening with 40 41 00; anything else is none.
std::optional<StatusReading> decodeStatusReply(QByteArrayView reply);

// Puts one reply together a byte at a time, the way the poll reads it: the first
// three bytes are compared with the header as a whole, and after a match eight more
// complete the reply.
class StatusAssembler
{
public:
    enum class Step { NeedMore, WrongHeader, HeaderFound, Complete };

    Step push(std::uint8_t byte);
    void restart() { m_size = 0; }
    QByteArrayView bytes() const { return {m_bytes.data(), m_size}; }

private:
    std::array<char, proto::kStatusFrameSize> m_bytes{};
    qsizetype m_size = 0;
};

} // namespace tarvik

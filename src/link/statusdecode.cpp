#include "statusdecode.h"

#include "hexcodec.h"

#include <algorithm>

namespace tarvik {

std::optional<StatusReading> decodeStatusReply(QByteArrayView reply)
{
    if (reply.size() != proto::kStatusFrameSize)
        return std::nullopt;
    if (!std::equal(proto::kHeader.begin(), proto::kHeader.end(), reply.begin(),
                    [](std::uint8_t h, char b) { return h == static_cast<std::uint8_t>(b); }))
        return std::nullopt;

    StatusReading r;
    r.replyHex = bytesToHex(reply.toByteArray());
    r.freqHex = r.replyHex.mid(6, 6);
    // The controller's own digit rule, as for every other hex field the panel reads.
    const auto units = hexToDecimal(r.freqHex);
    if (!units)
        return std::nullopt;
    r.units = *units;
    r.mhz = static_cast<double>(r.units) / proto::kUnitsPerMHz;
    r.moving = r.replyHex.mid(12, 2) != u"00";
    r.code = proto::findStatusCode(r.replyHex.mid(14, 2).toStdString());
    return r;
}

StatusAssembler::Step StatusAssembler::push(std::uint8_t byte)
{
    if (m_size >= proto::kStatusFrameSize)
        m_size = 0; // a finished reply left in place: this byte starts the next
    m_bytes[static_cast<std::size_t>(m_size++)] = static_cast<char>(byte);
    if (m_size < proto::kHeaderSize)
        return Step::NeedMore;
    if (m_size == proto::kHeaderSize) {
        const bool match =
            std::equal(proto::kHeader.begin(), proto::kHeader.end(), m_bytes.begin(),
                       [](std::uint8_t h, char b) { return h == static_cast<std::uint8_t>(b); });
        if (match)
            return Step::HeaderFound;
        m_size = 0;
        return Step::WrongHeader;
    }
    return m_size == proto::kStatusFrameSize ? Step::Complete : Step::NeedMore;
}

} // namespace tarvik

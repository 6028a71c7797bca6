// One status reply from any bytes: only an 11-byte reply behind the right header is
// read, and what is read agrees with the bytes themselves.

#include "fuzzcheck.h"
#include "protocol.h"
#include "statusdecode.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto reading = tarvik::decodeStatusReply(bytes);
    const bool wellFormed = size == std::size_t(tarvik::proto::kStatusFrameSize) &&
                            data[0] == 0x40 && data[1] == 0x41 && data[2] == 0x00;
    FUZZ_CHECK(reading.has_value() == wellFormed);
    if (!reading)
        return 0;

    FUZZ_CHECK(reading->replyHex == QString::fromLatin1(bytes.toByteArray().toHex().toUpper()));
    const std::int32_t units = (data[3] << 16) | (data[4] << 8) | data[5];
    FUZZ_CHECK(reading->units == units);
    FUZZ_CHECK(reading->units >= 0 && reading->units <= tarvik::proto::kMaxFrequency);
    FUZZ_CHECK(reading->mhz * tarvik::proto::kUnitsPerMHz >= units - 0.5);
    FUZZ_CHECK(reading->moving == (data[6] != 0));
    const tarvik::proto::StatusCode *code = reading->code;
    if (code)
        FUZZ_CHECK(QString::fromLatin1(code->hex.data(), 2).toUInt(nullptr, 16) == data[7]);
    else
        for (const auto &c : tarvik::proto::kStatusCodes)
            FUZZ_CHECK(QString::fromLatin1(c.hex.data(), 2).toUInt(nullptr, 16) != data[7]);
    return 0;
}

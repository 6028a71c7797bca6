// One status reply from any bytes: only an 11-byte reply behind the right header is
// read, and what is read agrees with the bytes themselves.

#include "fuzzcheck.h"
#include "statusdecode.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArrayView bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const auto reading = tarvik::decodeStatusReply(bytes);
    FUZZ_CHECK(reading.has_value() ==
               (size == 11 && data[0] == 0x40 && data[1] == 0x41 && data[2] == 0x00));
    if (!reading)
        return 0;
    FUZZ_CHECK(reading->replyHex == QString::fromLatin1(bytes.toByteArray().toHex().toUpper()));
    FUZZ_CHECK(reading->units == ((data[3] << 16) | (data[4] << 8) | data[5]));
    FUZZ_CHECK(qRound(reading->mhz * tarvik::proto::kUnitsPerMHz) == reading->units);
    FUZZ_CHECK(reading->moving == (data[6] != 0));
    bool known = false;
    for (const auto &c : tarvik::proto::kStatusCodes)
        known = known || QString::fromLatin1(c.hex.data(), 2).toUInt(nullptr, 16) == data[7];
    FUZZ_CHECK(known == (reading->code != nullptr));
    FUZZ_CHECK(!reading->code ||
               QString::fromLatin1(reading->code->hex.data(), 2).toUInt(nullptr, 16) == data[7]);
    return 0;
}

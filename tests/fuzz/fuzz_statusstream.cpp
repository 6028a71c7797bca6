// Status replies out of a stream cut into chunks the fuzzer chooses. The input is a
// list of chunks, each a length byte (0..63 counts) followed by that many bytes.
// Whatever the stream, the buffer stays bounded and every reading is one the
// one-shot decoder gives for the same 11 bytes.

#include "fuzzcheck.h"
#include "statusdecode.h"

#include <QByteArray>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    tarvik::StatusStream stream;
    std::size_t pos = 0;
    while (pos < size) {
        const std::size_t want = data[pos++] % 64;
        const std::size_t n = std::min(want, size - pos);
        const QByteArrayView chunk(reinterpret_cast<const char *>(data + pos), qsizetype(n));
        pos += n;
        const auto reading = stream.feed(chunk);
        FUZZ_CHECK(stream.buffered() <= tarvik::StatusStream::kBufferLimit);
        if (!reading)
            continue;
        // Nothing is left behind a complete reply: the poll empties the buffer.
        FUZZ_CHECK(stream.buffered() == 0);
        const QByteArray raw = QByteArray::fromHex(reading->replyHex.toLatin1());
        const auto again = tarvik::decodeStatusReply(raw);
        FUZZ_CHECK(again && again->replyHex == reading->replyHex);
        FUZZ_CHECK(again->units == reading->units && again->code == reading->code &&
                   again->moving == reading->moving);
    }
    return 0;
}

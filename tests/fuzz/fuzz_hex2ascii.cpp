// hex2ascii on any text: the bytes read as Latin-1, and (for an even count) as
// UTF-16, so characters far outside the hex digits come by too.

#include "fuzzcheck.h"
#include "hexcodec.h"

#include <QByteArray>
#include <QString>

namespace {
bool isHexText(QStringView text)
{
    for (const QChar c : text)
        if (!((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F') || (c >= u'a' && c <= u'f')))
            return false;
    return true;
}

void check(const QString &text)
{
    const QByteArray bytes = tarvik::hex2ascii(text);
    // One byte a pair of characters, and a lone last character makes one of its own.
    FUZZ_CHECK(bytes.size() == (text.size() + 1) / 2);
    if (isHexText(text) && text.size() % 2 == 0) {
        FUZZ_CHECK(bytes == QByteArray::fromHex(text.toLatin1()));
        // Back to text and the digits are the same, whatever case they came in.
        FUZZ_CHECK(tarvik::bytesToHex(bytes) == text.toUpper());
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const auto *chars = reinterpret_cast<const char *>(data);
    check(QString::fromLatin1(chars, qsizetype(size)));
    if (size % 2 == 0)
        check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}

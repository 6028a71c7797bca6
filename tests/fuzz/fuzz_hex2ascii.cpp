// hex2ascii on any text, read as Latin-1 and (for an even count) as UTF-16, so that
// characters far outside the hex digits come by too.

#include "fuzzcheck.h"
#include "hexcodec.h"

#include <QRegularExpression>

static void check(const QString &text)
{
    static const QRegularExpression hexPairs(QStringLiteral("^([0-9A-Fa-f]{2})*$"));
    const QByteArray bytes = tarvik::hex2ascii(text);
    // One byte a pair of characters; a lone last character makes one of its own.
    FUZZ_CHECK(bytes.size() == (text.size() + 1) / 2);
    if (hexPairs.match(text).hasMatch()) {
        FUZZ_CHECK(bytes == QByteArray::fromHex(text.toLatin1()));
        FUZZ_CHECK(tarvik::bytesToHex(bytes) == text.toUpper());
    }
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    check(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (size % 2 == 0)
        check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}

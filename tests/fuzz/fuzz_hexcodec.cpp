// hex2ascii and hexToDecimal on any text, read as Latin-1 and (for an even count) as
// UTF-16, so that characters far outside the hex digits come by too.

#include "fuzzcheck.h"
#include "hexcodec.h"

#include <QRegularExpression>

static void check(const QString &text)
{
    // Anchored to the very end: "$" would let a final newline through.
    static const QRegularExpression hexPairs(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9A-Fa-f]{2})*")));
    static const QRegularExpression upperHex(
        QRegularExpression::anchoredPattern(QStringLiteral("[0-9A-F]{1,16}")));
    const QByteArray bytes = tarvik::hex2ascii(text);
    // One byte a pair of characters; a lone last character makes one of its own.
    FUZZ_CHECK(bytes.size() == (text.size() + 1) / 2);
    if (hexPairs.match(text).hasMatch()) {
        FUZZ_CHECK(bytes == QByteArray::fromHex(text.toLatin1()));
        FUZZ_CHECK(tarvik::bytesToHex(bytes) == text.toUpper());
    }
    // Never a negative number; plain hex digits have their ordinary value, or are an
    // error beyond 31 bits.
    const auto value = tarvik::hexToDecimal(text);
    FUZZ_CHECK(!value || *value >= 0);
    if (!upperHex.match(text).hasMatch())
        return;
    const qulonglong expected = text.toULongLong(nullptr, 16);
    FUZZ_CHECK(value ? qulonglong(*value) == expected : expected > 0x7FFFFFFFull);
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    check(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (size % 2 == 0)
        check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}

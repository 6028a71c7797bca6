// HexToDecimal on any text: never a negative number, and for plain upper-case hex
// digits the ordinary value, or an error beyond 31 bits.

#include "fuzzcheck.h"
#include "hexcodec.h"

#include <QRegularExpression>

static void check(const QString &text)
{
    static const QRegularExpression plain(QStringLiteral("^[0-9A-F]{1,16}$"));
    const auto value = tarvik::HexToDecimal(text);
    FUZZ_CHECK(!value || *value >= 0);
    if (!plain.match(text).hasMatch())
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

// HexToDecimal on any text: never a negative number, never beyond 32 bits, and for
// plain upper-case hex digits the ordinary value.

#include "fuzzcheck.h"
#include "hexcodec.h"

#include <QString>

namespace {
void check(const QString &text)
{
    const auto value = tarvik::HexToDecimal(text);
    if (value)
        FUZZ_CHECK(*value >= 0);

    bool plain = !text.isEmpty();
    for (const QChar c : text)
        plain = plain && ((c >= u'0' && c <= u'9') || (c >= u'A' && c <= u'F'));
    if (!plain)
        return;
    bool ok = false;
    const qulonglong expected = text.size() <= 16 ? text.toULongLong(&ok, 16) : 0;
    if (ok && expected <= 0x7FFFFFFFull) {
        FUZZ_CHECK(value && qulonglong(*value) == expected);
    } else if (ok) {
        FUZZ_CHECK(!value); // too big for the controller's numbers
    }
}
} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    check(QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size)));
    if (size % 2 == 0)
        check(QString(reinterpret_cast<const QChar *>(data), qsizetype(size / 2)));
    return 0;
}

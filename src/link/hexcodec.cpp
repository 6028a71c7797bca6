#include "hexcodec.h"

namespace tarvik {

namespace {
int hexDigit(QChar c)
{
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9')
        return u - u'0';
    if (u >= u'A' && u <= u'F')
        return u - u'A' + 10;
    if (u >= u'a' && u <= u'f')
        return u - u'a' + 10;
    return -1;
}
} // namespace

bool isHexDigit(QChar c)
{
    return hexDigit(c) >= 0;
}

QByteArray hex2ascii(QStringView hextext)
{
    QByteArray out;
    out.reserve((hextext.size() + 1) / 2);
    for (qsizetype i = 0; i < hextext.size(); i += 2) {
        const QStringView piece = hextext.mid(i, 2);
        int value = 0;
        for (const QChar c : piece) {
            const int d = hexDigit(c);
            if (d < 0)
                break;
            value = value * 16 + d;
        }
        out.append(static_cast<char>(value));
    }
    return out;
}

std::optional<std::int32_t> hexToDecimal(QStringView text)
{
    std::int64_t total = 0;
    std::int64_t weight = 1;
    for (qsizetype i = text.size() - 1; i >= 0; --i) {
        const char16_t u = text.at(i).unicode();
        std::int64_t value;
        if (u >= u'0' && u <= u'9')
            value = u - u'0';
        else if (u >= 55)
            value = static_cast<std::int64_t>(u) - 55;
        else
            return std::nullopt;
        if (value != 0 && weight > INT32_MAX)
            return std::nullopt;
        total += value * weight;
        if (total > INT32_MAX)
            return std::nullopt;
        if (weight <= INT32_MAX)
            weight *= 16;
    }
    return static_cast<std::int32_t>(total);
}

QString byteToHex(std::uint8_t byte)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    const QChar pair[2] = {QLatin1Char(digits[byte >> 4]), QLatin1Char(digits[byte & 0x0F])};
    return QString(pair, 2);
}

QString bytesToHex(const QByteArray &bytes)
{
    return QString::fromLatin1(bytes.toHex().toUpper());
}

} // namespace tarvik

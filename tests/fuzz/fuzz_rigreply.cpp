// One rigctld answer line from any bytes: a frequency comes only from digits with at
// most a point and zeros behind them, it is the number those digits spell, and no
// more than kMaxReadingHz; PTT is known only from a single digit.

#include "fuzzcheck.h"
#include "rigprotocol.h"
#include "rigreply.h"

#include <QByteArray>
#include <QRegularExpression>

using namespace tarvik::rig;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray line(reinterpret_cast<const char *>(data), qsizetype(size));
    static const QRegularExpression shape(
        QRegularExpression::anchoredPattern(QStringLiteral("([0-9]+)(\\.0+)?")));
    const auto match = shape.match(QString::fromLatin1(line));
    bool ok = false;
    const qulonglong spelt = match.hasMatch() ? match.captured(1).toULongLong(&ok) : 0;
    const bool reading = ok && spelt <= qulonglong(kMaxReadingHz);

    const auto hz = parseFrequency(line);
    FUZZ_CHECK(hz.has_value() == reading);
    if (hz) {
        FUZZ_CHECK(qulonglong(*hz) == spelt);
        QString shown = formatMHz(*hz);
        FUZZ_CHECK(shown.endsWith(QStringLiteral(" MHz")) && shown.count(u'.') == 1);
        FUZZ_CHECK(shown.remove(QStringLiteral(" MHz")).remove(u'.').toLongLong() == *hz);
    }

    const bool keyed = line == "1" || line == "2" || line == "3";
    FUZZ_CHECK(parsePtt(line) == (line == "0" ? Ptt::Off : keyed ? Ptt::On : Ptt::Unknown));
    return 0;
}

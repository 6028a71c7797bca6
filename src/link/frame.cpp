#include "frame.h"

#include "hexcodec.h"
#include "latin1.h"

#include <algorithm>
#include <cmath>

namespace tarvik {

double applyLowerLimit(double sndFreq, bool vastor)
{
    const double limit = proto::lowerLimit(vastor);
    return sndFreq < limit ? limit : sndFreq;
}

QString frequencyField(double sndFreq)
{
    double rounded = std::round(sndFreq);
    if (!(rounded >= 0)) // negative or NaN cannot come past the limit; keep the field sane
        rounded = 0;
    if (rounded > proto::kMaxFrequency)
        rounded = proto::kMaxFrequency;
    const auto value = static_cast<std::int32_t>(rounded);
    QString hex = QString::number(value, 16).toUpper();
    if (value < proto::kSixDigitThreshold)
        hex.prepend(QLatin1Char('0'));
    return hex;
}

QByteArray setFrequencyFrame(const QString &freqHex, const QString &sndDir, const QString &sndCmd)
{
    QByteArray frame = hex2ascii(latin1(proto::kHeaderHex));
    frame += hex2ascii(freqHex);
    frame += hex2ascii(sndDir);
    frame += hex2ascii(sndCmd);
    frame += hex2ascii(latin1(proto::kTrailerHex));
    return frame;
}

SetFrequencyFrame encodeSetFrequency(std::optional<double> sndFreq, bool vastor,
                                     const QString &sndDir, const QString &sndCmd)
{
    SetFrequencyFrame out;
    out.sndFreq = applyLowerLimit(sndFreq.value_or(0.0), vastor);
    out.freqHex = frequencyField(out.sndFreq);
    out.bytes = setFrequencyFrame(out.freqHex, sndDir, sndCmd);
    return out;
}

QByteArray fixedCodeFrame(const QString &sndDir, std::string_view codeHex)
{
    QByteArray frame = hex2ascii(latin1(proto::kHeaderHex));
    for (int i = 0; i < 3; ++i)
        frame += hex2ascii(u"0");
    frame += hex2ascii(sndDir);
    frame += hex2ascii(latin1(codeHex));
    frame += hex2ascii(latin1(proto::kTrailerHex));
    return frame;
}

bool isValidDirectionField(const QString &sndDir)
{
    return sndDir.size() == 4 &&
           std::all_of(sndDir.begin(), sndDir.end(), [](QChar c) { return isHexDigit(c); });
}

} // namespace tarvik

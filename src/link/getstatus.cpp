#include "getstatus.h"

#include "commport.h"
#include "hexcodec.h"
#include "protocol.h"

#include <cmath>
#include <cstdlib>

namespace tarvik {

namespace {
const QByteArray &statusRequest()
{
    static const QByteArray request(reinterpret_cast<const char *>(proto::kStatusRequest.data()),
                                    proto::kStatusRequest.size());
    return request;
}

bool readInto(CommPort &port, PanelState &state)
{
    const auto byte = port.readByte();
    if (!byte)
        return false;
    state.rxByteHex = byteToHex(*byte);
    state.replyHex += state.rxByteHex;
    return true;
}

bool findHeader(CommPort &port, PanelState &state, StatusDisplay &display)
{
    static const QString header = QString::fromLatin1(proto::kHeaderHex.data(), 6);
    for (int attempt = 0; attempt < proto::kMaxHeaderSearches; ++attempt) {
        port.discardTransmit();
        if (!port.write(statusRequest()))
            return false;
        state.replyHex.clear();
        for (int i = 0; i < proto::kHeaderSize; ++i) {
            if (!readInto(port, state))
                return false;
        }
        if (state.replyHex == header)
            return true;
        port.discardReceive();
        display.setFrontVisible(Front::ConnectedRed, true);
    }
    return false;
}
} // namespace

bool GetStatus(CommPort &port, PanelState &state, StatusDisplay &display)
{
    if (!port.isOpen())
        return false;
    if (!findHeader(port, state, display))
        return false;

    for (int i = proto::kHeaderSize; i < proto::kStatusFrameSize; ++i) {
        if (!readInto(port, state))
            return false;
        display.showReceived(state.replyHex);
    }
    display.setFrontVisible(Front::ConnectedRed, false);

    state.rxFreqHex = state.replyHex.mid(6, 6);
    const auto units = HexToDecimal(state.rxFreqHex);
    if (!units)
        return false;
    state.rxFreqMHz = static_cast<double>(*units) / proto::kUnitsPerMHz;
    state.sndFreq = state.rxFreqMHz * proto::kUnitsPerMHz;
    display.showFrequency(state.rxFreqMHz);

    display.setFrontVisible(Front::TuningGrey, state.replyHex.mid(12, 2) == u"00");

    const QString code = state.replyHex.mid(14, 2);
    const proto::StatusCode *status = proto::findStatusCode(code.toStdString());
    if (status) {
        display.setFrontVisible(Front::ReversedRed, status->pattern != proto::Pattern::Reversed);
        display.setFrontVisible(Front::BidirRed, status->pattern != proto::Pattern::Bidirectional);
        display.setFrontVisible(Front::ThreeQuarterRed, true);
    }
    display.setFrontVisible(Front::RetractingRed, status && status->retracting);

    port.discardReceive();
    return true;
}

QString formatMHz(double mhz, const QLocale &locale)
{
    // Round in decimal, half away from zero, as the picture promises: the value is a
    // whole number of 10 Hz units, so snapping to millionths first removes the binary
    // noise that would turn 14.0505 into 14.050.
    const double micro = std::round(mhz * 1e6);
    const long long thousandths = std::llround(micro / 1000.0);
    const long long whole = thousandths / 1000;
    const long long fraction = std::llabs(thousandths % 1000);
    QString text = QStringLiteral("%1").arg(whole, 2, 10, QLatin1Char('0'));
    if (thousandths < 0 && whole == 0)
        text.prepend(QLatin1Char('-'));
    return text + locale.decimalPoint() +
           QStringLiteral("%1").arg(fraction, 3, 10, QLatin1Char('0'));
}

} // namespace tarvik

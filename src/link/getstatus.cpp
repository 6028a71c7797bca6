#include "getstatus.h"

#include "commport.h"
#include "hexcodec.h"
#include "protocol.h"
#include "statusdecode.h"

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

bool readInto(CommPort &port, PanelState &state, StatusAssembler &reply,
              StatusAssembler::Step &step)
{
    const auto byte = port.readByte();
    if (!byte)
        return false;
    state.rxByteHex = byteToHex(*byte);
    state.replyHex += state.rxByteHex;
    step = reply.push(*byte);
    return true;
}

bool findHeader(CommPort &port, PanelState &state, StatusDisplay &display, StatusAssembler &reply)
{
    for (int attempt = 0; attempt < proto::kMaxHeaderSearches; ++attempt) {
        port.discardTransmit();
        if (!port.write(statusRequest()))
            return false;
        state.replyHex.clear();
        reply.restart();
        auto step = StatusAssembler::Step::NeedMore;
        while (step == StatusAssembler::Step::NeedMore) {
            if (!readInto(port, state, reply, step))
                return false;
        }
        if (step == StatusAssembler::Step::HeaderFound)
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
    StatusAssembler reply;
    if (!findHeader(port, state, display, reply))
        return false;

    // The box shows the reply once, when the reading stops: nothing can repaint while
    // the bytes are read, and setting the text after each one would lay it out eight
    // times a tick for nothing. A frame cut short still shows what came of it.
    auto step = StatusAssembler::Step::HeaderFound;
    bool bodyRead = false;
    while (step != StatusAssembler::Step::Complete) {
        if (!readInto(port, state, reply, step)) {
            if (bodyRead)
                display.showReceived(state.replyHex);
            return false;
        }
        bodyRead = true;
    }
    display.showReceived(state.replyHex);
    display.setFrontVisible(Front::ConnectedRed, false);

    const auto reading = decodeStatusReply(reply.bytes());
    if (!reading)
        return false;
    state.rxFreqHex = reading->freqHex;
    state.rxFreqMHz = reading->mhz;
    state.sndFreq = state.rxFreqMHz * proto::kUnitsPerMHz;
    display.showFrequency(state.rxFreqMHz);

    display.setFrontVisible(Front::TuningGrey, !reading->moving);

    const proto::StatusCode *status = reading->code;
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

#pragma once

// One table of station states and how every front end must show them: the replies polled
// in turn (an empty one: unanswered), then the lamps' colours (no poll lights 3/4), the words
// said of Connected and the frequency. The panel, the API and MQTT are held to it.

#include "frames.h"

#include <QByteArrayList>
#include <QList>

namespace tarvik::test {

struct LookRow {
    const char *tag;
    QByteArrayList replies;
    const char *colours; // Connected TUNING RETRACTING 180 BiDir 3/4
    const char *connected;
    const char *frequency = "14.050";
};

inline const char *const kLookLamps[] = {"Connected", "TUNING",     "RETRACTING",
                                         "180 lamp",  "BiDir lamp", "3/4 lamp"};

inline QList<LookRow> lookRows()
{
    const auto row = [](const char *tag, const QByteArrayList &replies, const char *colours,
                        const char *connected = "Controller answering",
                        const char *frequency = "14.050") {
        return LookRow{tag, replies, colours, connected, frequency};
    };
    const auto code = [&row](const char *hex, const char *colours) {
        return row(hex, {frame("157048", hex)}, colours);
    };
    const QByteArray reversed = frame("157048", "40"), none;
    return {
        row("nothing heard yet", {}, "red grey grey red red red",
            "No reply from the controller yet", ""),
        row("14.0496 MHz rounds to the nearest kHz", {frame("157020")},
            "green grey grey red red red"),
        code("00", "green grey grey red red red"),
        code("10", "green grey red red red red"),
        code("15", "green grey grey red red red"),
        code("25", "green grey red red red red"),
        code("40", "green grey grey green red red"),
        code("50", "green grey red green red red"),
        code("55", "green grey grey green red red"),
        code("65", "green grey red green red red"),
        code("80", "green grey grey red green red"),
        code("90", "green grey red red green red"),
        code("95", "green grey grey red green red"),
        code("a5", "green grey red red green red"),
        row("code outside the table keeps the pattern, ends retracting",
            {frame("157048", "90"), frame("157048", "30")}, "green grey grey red green red"),
        row("tuning", {frame("157048", "00", "31", "01")}, "green red grey red red red"),
        row("silent from the third unanswered poll", {reversed, none, none, none},
            "red grey grey green red red", "Controller not answering"),
        row("not understood", {reversed, reversed.mid(1)}, "red grey grey green red red",
            "Controller reply not understood"),
    };
}

} // namespace tarvik::test

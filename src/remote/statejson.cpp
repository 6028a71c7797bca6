#include "statejson.h"

#include "command.h"
#include "frequencytext.h"
#include "looks.h"
#include "station.h"

#include <QLocale>

#include <cmath>

namespace tarvik::remote {
namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

// A controller that has not answered yet is as silent as one that stopped.
QString linkText(const StationState &state)
{
    if (state.silent)
        return QStringLiteral("silent");
    switch (state.link) {
    case LinkCondition::Answering:
        return QStringLiteral("answering");
    case LinkCondition::NotUnderstood:
        return QStringLiteral("not-understood");
    case LinkCondition::Closed:
    case LinkCondition::Lost:
        return QStringLiteral("closed");
    case LinkCondition::Absent:
        return QStringLiteral("waiting");
    case LinkCondition::Waiting:
        break;
    }
    return QStringLiteral("silent");
}

QString followText(RigFollower::State state)
{
    switch (state) {
    case RigFollower::State::Off:
        return QStringLiteral("off");
    case RigFollower::State::Answering:
        return QStringLiteral("answering");
    case RigFollower::State::NotAnswering:
        break;
    }
    return QStringLiteral("not-answering");
}

QString pttText(rig::Ptt ptt)
{
    switch (ptt) {
    case rig::Ptt::On:
        return QStringLiteral("on");
    case rig::Ptt::Off:
        return QStringLiteral("off");
    case rig::Ptt::Unknown:
        break;
    }
    return QStringLiteral("unknown");
}

// The lamp's pattern when the controller told one, else the one the next frame sends.
QString patternText(const StationState &state)
{
    for (const auto &p : kPatternNames) {
        if (state.pattern ? *state.pattern == p.pattern
                          : state.sndDir == text(proto::sndDirFor(p.pattern)))
            return text(p.name);
    }
    return text(kPatternNames[0].name);
}

// Every lamp as the station decides it looks, keyed by its accessible name.
QJsonObject lampsJson(const StationState &state)
{
    QJsonObject lamps;
    for (const NamedLamp &lamp : lampLooks(state))
        lamps.insert(lamp.name, QJsonObject{{QStringLiteral("look"), lookName(lamp.state.look)},
                                            {QStringLiteral("colour"), lamp.state.colour},
                                            {QStringLiteral("words"), lamp.state.words},
                                            {QStringLiteral("note"), lamp.state.note}});
    return lamps;
}

} // namespace

QJsonObject stateJson(const StationState &state, int clients, const QString &version)
{
    // The controller's reading when there is one, else what the next frame sends.
    std::optional<double> mhz = state.readingMHz;
    if (!mhz && state.sndFreq)
        mhz = *state.sndFreq / proto::kUnitsPerMHz;
    return {
        {QStringLiteral("frequencyHz"),
         mhz ? QJsonValue(double(std::llround(*mhz * 1e6))) : QJsonValue()},
        {QStringLiteral("frequencyText"), mhz ? formatMHz(*mhz, QLocale::c()) : QString()},
        {QStringLiteral("band"), state.band ? QJsonValue(bandCaption(*state.band)) : QJsonValue()},
        {QStringLiteral("pattern"), patternText(state)},
        {QStringLiteral("tuning"), state.moving},
        {QStringLiteral("retracting"), state.retracting},
        {QStringLiteral("link"), linkText(state)},
        {QStringLiteral("silentSeconds"), state.silent ? state.silentSeconds : 0},
        {QStringLiteral("port"), state.portName},
        {QStringLiteral("largeAntenna"), state.largeAntenna},
        {QStringLiteral("follow"),
         QJsonObject{{QStringLiteral("enabled"), state.following},
                     {QStringLiteral("state"), followText(state.followState)},
                     {QStringLiteral("status"), state.followStatus}}},
        {QStringLiteral("ptt"), pttText(state.ptt)},
        {QStringLiteral("lamps"), lampsJson(state)},
        {QStringLiteral("clients"), clients},
        {QStringLiteral("settingsWritable"), state.settingsWritable},
        {QStringLiteral("version"), version},
    };
}

} // namespace tarvik::remote

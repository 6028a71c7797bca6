#include "looks.h"

#include "bands.h"
#include "latin1.h"

using namespace Qt::StringLiterals;

namespace tarvik {
namespace {

LampState lit(const QString &colour, const QString &words, const QString &note = {})
{
    return {LampLook::Lit, colour, words, note};
}
LampState unlit(const QString &words, const QString &note = {})
{
    return {LampLook::Unlit, u"red"_s, words, note};
}
LampState grey(const QString &words, const QString &note = {})
{
    return {LampLook::Grey, u"grey"_s, words, note};
}

// A controller counts as silent only from the third empty poll: one empty tick is the
// ordinary tick after a discard. Silence turns the lamp red whatever the line said last.
LampState connected(const StationState &s)
{
    if (s.silent)
        return unlit(u"Controller not answering"_s,
                     u"Controller not answering for %1 s"_s.arg(s.silentSeconds));
    switch (s.link) {
    case LinkCondition::Answering:
        return lit(u"green"_s, u"Controller answering"_s);
    case LinkCondition::Waiting:
        return unlit(u"No reply from the controller yet"_s);
    case LinkCondition::NotUnderstood:
        return unlit(u"Controller reply not understood"_s);
    case LinkCondition::Closed:
        return unlit(u"Serial port closed"_s, u"The serial port is closed (%1)"_s.arg(s.portName));
    case LinkCondition::Lost:
        return unlit(u"Connection lost"_s,
                     u"Connection to %1 lost: reopening it"_s.arg(s.portName));
    case LinkCondition::Absent:
        break;
    }
    return unlit(u"Waiting for %1"_s.arg(s.portName));
}

LampState radio(const StationState &s)
{
    switch (s.followState) {
    case RigFollower::State::Answering:
        return lit(u"green"_s, u"Following the radio"_s);
    case RigFollower::State::NotAnswering:
        return unlit(u"Radio not answering"_s);
    case RigFollower::State::Off:
        break;
    }
    return grey(u"Not following the radio"_s);
}

// Red while nothing may move (transmitting, or holding after it), green while the radio
// receives, grey when the interlock is off or cannot see the radio.
LampState transmit(const StationState &s)
{
    if (!s.interlockArmed)
        return grey(u"Transmit interlock off"_s);
    if (s.ptt == rig::Ptt::On)
        return lit(u"red"_s, u"Transmitting"_s,
                   s.keyedWhileMoving ? u"Transmitting while the elements move"_s
                                      : u"Commands that move the elements are refused"_s);
    if (s.txHold)
        return lit(u"red"_s, u"Transmitting"_s,
                   u"Just stopped transmitting: commands that move the elements wait"_s);
    if (s.ptt == rig::Ptt::Off)
        return lit(u"green"_s, u"Receiving"_s);
    const QString rule = s.refuseWhenUnknown ? u"commands that move the elements are refused"_s
                                             : u"commands go out unchecked"_s;
    return grey(u"Transmit state unknown"_s,
                u"The interlock cannot see the radio (%1): %2"_s.arg(s.pttNote, rule));
}

LampState remote(const StationState &s)
{
    if (s.remoteClients < 0)
        return grey(u"Remote API off"_s, s.mqttNote);
    if (s.remoteClients == 0)
        return grey(u"No remote clients"_s, s.mqttNote);
    return lit(u"green"_s, u"Remote clients connected"_s, s.mqttNote);
}

LampState onOff(bool on, const QString &what)
{
    return on ? lit(u"green"_s, what + u" on"_s) : unlit(what + u" off"_s);
}

// TUNING and RETRACTING are red captions when on and grey when off.
LampState motion(bool on, const QString &onWords, const QString &offWords)
{
    return on ? lit(u"red"_s, onWords) : grey(offWords);
}

} // namespace

QString lookName(LampLook look)
{
    switch (look) {
    case LampLook::Lit:
        return u"lit"_s;
    case LampLook::Unlit:
        break;
    case LampLook::Grey:
        return u"grey"_s;
    }
    return u"unlit"_s;
}

// The pattern lamps show what the controller reported; before its first report they
// are unlit, whatever the next frame would send.
QList<NamedLamp> lampLooks(const StationState &s)
{
    QList<NamedLamp> lamps{
        {u"TUNING"_s, motion(s.moving, u"Tuning"_s, u"Not tuning"_s)},
        {u"RETRACTING"_s, motion(s.retracting, u"Retracting"_s, u"Not retracting"_s)},
        {u"Connected"_s, connected(s)},
        {u"Radio lamp"_s, radio(s)},
        {u"TX lamp"_s, transmit(s)},
        {u"Remote lamp"_s, remote(s)},
        {u"180 lamp"_s, onOff(s.pattern == proto::Pattern::Reversed, u"180"_s)},
        {u"BiDir lamp"_s, onOff(s.pattern == proto::Pattern::Bidirectional, u"BiDir"_s)},
        {u"3/4 lamp"_s, onOff(false, u"3/4"_s)},
    };
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        const QString band = latin1(kBands[i].caption) + u" m"_s;
        lamps.append({band + u" lamp"_s, onOff(s.band == i, band)});
    }
    return lamps;
}

} // namespace tarvik

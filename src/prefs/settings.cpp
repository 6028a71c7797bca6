#include "settings.h"

#include "commport.h"
#include "frame.h"
#include "rigendpoint.h"
#include "settingsstore.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>

namespace tarvik {

namespace {

QString defaultText(Key key)
{
    return latin1(settingKey(key).defaultValue);
}

// A window edge is a single-precision number of twips.
std::optional<double> readTwips(const QString &text)
{
    bool ok = false;
    const double value = text.toDouble(&ok);
    if (!ok || !std::isfinite(value) || std::fabs(value) > std::numeric_limits<float>::max())
        return std::nullopt;
    return value;
}

std::optional<int> readWholeNumber(const QString &text, int min, int max)
{
    bool ok = false;
    const int value = text.toInt(&ok, 10);
    if (!ok || value < min || value > max)
        return std::nullopt;
    return value;
}

int readNumber(const SettingsStore &store, Key key, int min, int max)
{
    return readWholeNumber(store.value(key), min, max).value_or(defaultNumber(key));
}

// "1".."32767" as the port number it names, or a device path as it stands.
QString readComPort(const QString &text)
{
    if (const int n = portNumberOf(text); n >= 1 && n <= std::numeric_limits<std::int16_t>::max())
        return QString::number(n);
    if (text.startsWith(u'/'))
        return text;
    return defaultText(Key::ComPort);
}

std::optional<bool> readBool(const QString &text)
{
    if (text == boolText(true))
        return true;
    if (text == boolText(false))
        return false;
    return std::nullopt;
}

bool hasBlankOrControl(const QString &text)
{
    return std::any_of(text.begin(), text.end(),
                       [](QChar c) { return c.isSpace() || c.category() == QChar::Other_Control; });
}

// A host name or address something can look up: no blanks, and an IPv6 address bare,
// without the brackets of the command line.
QString readHost(const QString &text)
{
    return rig::isUsableHost(text) ? text : defaultText(Key::FollowHost);
}

// A text kept as it stands, or its default when there is none.
QString readText(const SettingsStore &store, Key key)
{
    const QString text = store.value(key);
    return text.isEmpty() ? defaultText(key) : text;
}

QString flagText(bool value)
{
    return QString::number(value ? 1 : 0);
}

} // namespace

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// Twips are whole numbers in practice and are stored as such ("2475", never "2475.0");
// anything else gets the shortest text that reads back to the same number.
QString twipsText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
}

// A stored value that cannot be used gives way to the key's default for this run,
// without a word; the next save then writes the value in use over it.
StationSettings readStationSettings(const SettingsStore &store)
{
    StationSettings s;
    s.comPort = readComPort(store.value(Key::ComPort));
    if (const QString line = store.value(Key::Settings); CommPort::isValidSettings(line))
        s.lineSettings = line;
    if (const QString dir = store.value(Key::SndDir); isValidDirectionField(dir))
        s.sndDir = dir;
    s.pollMs = readNumber(store, Key::Poll, kPollMin, kPollMax);
    s.largeAntenna = readBool(store.value(Key::Vastor)).value_or(s.largeAntenna);
    s.retracted = readText(store, Key::Retracted);
    s.follow = readFollowSettings(store);
    s.interlock = readInterlockSettings(store);
    return s;
}

WindowSettings readWindowSettings(const SettingsStore &store)
{
    WindowSettings s;
    s.leftTwips = readTwips(store.value(Key::PositionLeft));
    s.topTwips = readTwips(store.value(Key::PositionTop));
    const QString onTop = store.value(Key::OnTop);
    s.onTop = onTop == u"0" || onTop == u"1" ? onTop == u"1" : s.onTop;
    s.style = readText(store, Key::Style);
    s.height = store.value(Key::Height);
    return s;
}

RemoteSettings readRemoteSettings(const SettingsStore &store)
{
    RemoteSettings s;
    s.enabled = readNumber(store, Key::RemoteEnabled, 0, 1) == 1;
    if (const QString listen = store.value(Key::RemoteListen);
        !listen.isEmpty() && !hasBlankOrControl(listen))
        s.listen = listen;
    s.tokenFile = store.value(Key::RemoteTokenFile);
    s.viewTokenFile = store.value(Key::RemoteViewTokenFile);
    const QStringList hosts = store.value(Key::RemoteHosts).split(u',');
    for (const QString &host : hosts)
        if (!host.trimmed().isEmpty())
            s.hosts.append(host.trimmed());
    return s;
}

FollowSettings readFollowSettings(const SettingsStore &store)
{
    FollowSettings s;
    s.enabled = readNumber(store, Key::FollowEnabled, 0, 1) == 1;
    s.host = readHost(store.value(Key::FollowHost));
    s.port = readNumber(store, Key::FollowPort, kFollowPortMin, kFollowPortMax);
    s.thresholdKHz = readNumber(store, Key::FollowThreshold, 0, kFollowThresholdMaxKHz);
    s.settleMs = readNumber(store, Key::FollowSettle, 0, kFollowSettleMaxMs);
    return s;
}

// "allow" and "refuse" only; anything else is the default.
InterlockSettings readInterlockSettings(const SettingsStore &store)
{
    InterlockSettings s;
    if (const QString on = store.value(Key::InterlockEnabled); on == u"0" || on == u"1")
        s.enabled = on == u"1";
    s.holdAfterTxMs = readNumber(store, Key::InterlockHoldAfterTx, 0, kHoldAfterTxMaxMs);
    if (const QString rule = store.value(Key::InterlockWhenUnknown);
        rule == u"allow" || rule == u"refuse")
        s.refuseWhenUnknown = rule == u"refuse";
    return s;
}

// A blank or a control character makes a URL, prefix or user name unusable; the files
// are taken as written, as the token file is.
MqttSettings readMqttSettings(const SettingsStore &store)
{
    MqttSettings s;
    s.enabled = readNumber(store, Key::MqttEnabled, 0, 1) == 1;
    s.discovery = readNumber(store, Key::MqttDiscovery, 0, 1) == 1;
    s.commands = readNumber(store, Key::MqttCommands, 0, 1) == 1;
    const std::pair<Key, QString MqttSettings::*> texts[] = {
        {Key::MqttUrl, &MqttSettings::url},
        {Key::MqttPrefix, &MqttSettings::prefix},
        {Key::MqttUserName, &MqttSettings::userName},
    };
    for (const auto &[key, field] : texts)
        if (const QString text = store.value(key); !text.isEmpty() && !hasBlankOrControl(text))
            s.*field = text;
    s.passwordFile = store.value(Key::MqttPasswordFile);
    s.caFile = store.value(Key::MqttCaFile);
    return s;
}

SettingValues settingValues(const StationSettings &value)
{
    SettingValues out{
        {Key::ComPort, value.comPort},
        {Key::Settings, value.lineSettings},
        {Key::Retracted, value.retracted},
        {Key::SndDir, value.sndDir},
        {Key::Poll, QString::number(value.pollMs)},
        {Key::Vastor, boolText(value.largeAntenna)},
    };
    return out + settingValues(value.follow) + settingValues(value.interlock);
}

// An edge the window manager chose is not stored.
SettingValues settingValues(const WindowSettings &value)
{
    SettingValues out;
    if (value.leftTwips)
        out.append({Key::PositionLeft, twipsText(*value.leftTwips)});
    if (value.topTwips)
        out.append({Key::PositionTop, twipsText(*value.topTwips)});
    out.append({{Key::OnTop, flagText(value.onTop)},
                {Key::Style, value.style},
                {Key::Height, value.height}});
    return out;
}

SettingValues settingValues(const RemoteSettings &value)
{
    return {{Key::RemoteEnabled, flagText(value.enabled)},
            {Key::RemoteListen, value.listen},
            {Key::RemoteTokenFile, value.tokenFile},
            {Key::RemoteHosts, value.hosts.join(u',')},
            {Key::RemoteViewTokenFile, value.viewTokenFile}};
}

SettingValues settingValues(const MqttSettings &value)
{
    return {{Key::MqttEnabled, flagText(value.enabled)},
            {Key::MqttUrl, value.url},
            {Key::MqttPrefix, value.prefix},
            {Key::MqttUserName, value.userName},
            {Key::MqttPasswordFile, value.passwordFile},
            {Key::MqttCaFile, value.caFile},
            {Key::MqttDiscovery, flagText(value.discovery)},
            {Key::MqttCommands, flagText(value.commands)}};
}

SettingValues settingValues(const FollowSettings &value)
{
    return {{Key::FollowEnabled, flagText(value.enabled)},
            {Key::FollowHost, value.host},
            {Key::FollowPort, QString::number(value.port)},
            {Key::FollowThreshold, QString::number(value.thresholdKHz)},
            {Key::FollowSettle, QString::number(value.settleMs)}};
}

SettingValues settingValues(const InterlockSettings &value)
{
    return {{Key::InterlockEnabled, value.enabled ? flagText(*value.enabled) : QString()},
            {Key::InterlockHoldAfterTx, QString::number(value.holdAfterTxMs)},
            {Key::InterlockWhenUnknown,
             value.refuseWhenUnknown ? QStringLiteral("refuse") : QStringLiteral("allow")}};
}

bool fillMissingSettings(SettingsStore &store, double windowLeftTwips, double windowTopTwips)
{
    SettingValues missing;
    for (const SettingKey &k : kSettingKeys) {
        if (k.defaultKind == DefaultKind::None || !store.value(k.id).isEmpty())
            continue;
        if (k.defaultKind == DefaultKind::WindowLeft)
            missing.append({k.id, twipsText(windowLeftTwips)});
        else if (k.defaultKind == DefaultKind::WindowTop)
            missing.append({k.id, twipsText(windowTopTwips)});
        else
            missing.append({k.id, latin1(k.defaultValue)});
    }
    return missing.isEmpty() || store.setValues(missing);
}

} // namespace tarvik

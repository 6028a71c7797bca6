#include "preferences.h"

#include "commport.h"
#include "frame.h"
#include "latin1.h"
#include "settingsstore.h"

#include <QLocale>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <optional>
#include <utility>

namespace tarvik {

namespace {

QString defaultText(Key key)
{
    return latin1(settingKey(key).defaultValue);
}

// Twips are whole numbers in practice and are stored as such ("2475", never "2475.0");
// anything else gets the shortest text that reads back to the same number.
QString numberText(double value)
{
    if (!std::isfinite(value))
        return QStringLiteral("0");
    if (value == std::trunc(value) && std::fabs(value) < 1e15)
        return QString::number(static_cast<qint64>(value));
    return QString::number(value, 'g', QLocale::FloatingPointShortest);
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

// "1".."32767" as the port number it names, or a device path as it stands.
QString readComPort(const QString &text)
{
    if (const auto n = readWholeNumber(text, 1, std::numeric_limits<std::int16_t>::max()))
        return QString::number(*n);
    if (text.startsWith(u'/'))
        return text;
    return defaultText(Key::ComPort);
}

std::optional<bool> readBool(const QString &text)
{
    if (text.compare(boolText(true)) == 0)
        return true;
    if (text.compare(boolText(false)) == 0)
        return false;
    return std::nullopt;
}

// A host name or address something can look up: no blanks, and an IPv6 address bare,
// without the brackets of the command line.
QString readHost(const QString &text)
{
    const bool usable =
        !text.isEmpty() && text.size() <= kFollowHostMaxLength &&
        std::none_of(text.begin(), text.end(), [](QChar c) {
            return c.isSpace() || c.category() == QChar::Other_Control || c == u'[' || c == u']';
        });
    return usable ? text : defaultText(Key::FollowHost);
}

int readNumber(const SettingsStore &store, Key key, int min, int max)
{
    return readWholeNumber(store.value(key), min, max).value_or(defaultText(key).toInt());
}

} // namespace

QString boolText(bool value)
{
    return value ? QStringLiteral("True") : QStringLiteral("False");
}

// A write that fails is reported once by the store's writeFailed; the routines stop
// there rather than raise the same failure for every key that follows.
void RegInit(SettingsStore &store, SettingsHost &host)
{
    const QString mainSection = latin1(settingKey(Key::ComPort).section);
    for (const SettingKey &k : kSettingKeys) {
        QString value;
        switch (k.defaultKind) {
        case DefaultKind::Text:
            value = latin1(k.defaultValue);
            break;
        case DefaultKind::WindowLeft:
            value = numberText(host.windowLeft());
            break;
        case DefaultKind::WindowTop:
            value = numberText(host.windowTop());
            break;
        case DefaultKind::None:
            continue;
        }
        const QString section = latin1(k.section);
        const QString name = latin1(k.name);
        // "Style" is looked for under "StartUp" and written under "Startup": one section.
        const QString readSection = k.id == Key::Style ? mainSection : section;
        if (!store.GetSetting(readSection, name).isEmpty())
            continue;
        if (!store.SaveSetting(section, name, value))
            return;
    }
}

// A stored value that cannot be used gives way to the key's default for this run,
// without a word; the next SaveSettings then writes the value in use over it. For the
// window edges the default is where the window already is.
void GetPreferences(SettingsStore &store, SettingsHost &host)
{
    if (const auto left = readTwips(store.value(Key::PositionLeft)))
        host.setWindowLeft(*left);
    if (const auto top = readTwips(store.value(Key::PositionTop)))
        host.setWindowTop(*top);

    host.MSComm1().setCommPort(readComPort(store.value(Key::ComPort)));
    if (!host.MSComm1().setSettings(store.value(Key::Settings)))
        host.MSComm1().setSettings(defaultText(Key::Settings));

    const QString dir = store.value(Key::SndDir);
    host.setSndDir(isValidDirectionField(dir) ? dir : defaultText(Key::SndDir));

    const auto poll = readWholeNumber(store.value(Key::Poll), kPollMin, kPollMax);
    host.setPollrate(static_cast<std::int16_t>(poll.value_or(defaultText(Key::Poll).toInt())));

    const auto vastor = readBool(store.value(Key::Vastor));
    host.setVastor(vastor.value_or(*readBool(defaultText(Key::Vastor))));

    // Last: a change of the box acts as the operator's click, which saves the settings,
    // so everything above must be in place by then.
    QString onTop = store.value(Key::OnTop);
    if (onTop != u"0" && onTop != u"1")
        onTop = defaultText(Key::OnTop);
    host.setOnTopValue(onTop.toInt());
    host.setFollowSettings(readFollowSettings(store));
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

bool saveFollowSettings(SettingsStore &store, const FollowSettings &value)
{
    const std::pair<Key, QString> values[] = {
        {Key::FollowEnabled, QString::number(value.enabled ? 1 : 0)},
        {Key::FollowHost, value.host},
        {Key::FollowPort, QString::number(value.port)},
        {Key::FollowThreshold, QString::number(value.thresholdKHz)},
        {Key::FollowSettle, QString::number(value.settleMs)},
    };
    for (const auto &[key, text] : values)
        if (!store.setValue(key, text))
            return false;
    return true;
}

void SaveSettings(SettingsStore &store, SettingsHost &host)
{
    const std::pair<Key, QString> values[] = {
        {Key::ComPort, host.MSComm1().commPort()},
        {Key::Settings, host.MSComm1().settings()},
        {Key::SndDir, host.sndDir()},
        {Key::Vastor, boolText(host.Vastor())},
        {Key::Poll, QString::number(host.pollrate())},
        {Key::OnTop, QString::number(host.onTopValue())},
        {Key::PositionLeft, numberText(host.windowLeft())},
        {Key::PositionTop, numberText(host.windowTop())},
    };
    for (const auto &[key, value] : values)
        if (!store.setValue(key, value))
            return;
    saveFollowSettings(store, host.followSettings());
}

} // namespace tarvik

#include "mqttconfig.h"

#include "token.h"

#include <tarvik/version.h>

#include <QHostAddress>
#include <QRegularExpression>
#include <QStringList>
#include <QUrl>

using namespace Qt::StringLiterals;

namespace tarvik::mqtt {
namespace {

// Topic levels of letters, digits, '-', '_' and '.': no wildcard, no empty level.
bool isPrefix(const QString &prefix)
{
    static const QRegularExpression shape(u"^[A-Za-z0-9_.-]+(/[A-Za-z0-9_.-]+)*$"_s);
    return prefix.size() <= 128 && shape.match(prefix).hasMatch();
}

bool isLoopback(const QString &host)
{
    return host.compare(u"localhost"_s, Qt::CaseInsensitive) == 0 ||
           QHostAddress(host).isLoopback();
}

// The broker's address from "mqtt://HOST[:PORT]" or "mqtts://HOST[:PORT]".
bool readUrl(const QString &text, MqttOptions &options, QString &why)
{
    const QUrl url(text, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || url.host().isEmpty() || (scheme != u"mqtt"_s && scheme != u"mqtts"_s) ||
        !url.userInfo().isEmpty() || (!url.path().isEmpty() && url.path() != u"/"_s) ||
        url.hasQuery()) {
        why =
            u"cannot use the broker \"%1\": give mqtt://HOST:1883 or mqtts://HOST:8883"_s.arg(text);
        return false;
    }
    options.url = text;
    options.host = url.host();
    options.tls = scheme == u"mqtts"_s;
    options.port = quint16(url.port(options.tls ? 8883 : 1883));
    return true;
}

// The password, if any, from its file; refused where it would travel in plain text.
bool readPassword(const MqttSettings &stored, MqttOptions &options, QString &why)
{
    if (stored.passwordFile.isEmpty())
        return true;
    if (stored.userName.isEmpty()) {
        why = u"[Mqtt] PasswordFile needs a [Mqtt] UserName to go with it"_s;
        return false;
    }
    if (!options.tls && !isLoopback(options.host)) {
        why = u"refusing to send the MQTT password to %1 over plain mqtt://, where anyone on "
              "the way can read it. Use mqtts://%1:8883 (with [Mqtt] CaFile when the broker's "
              "certificate is your own), or a broker on this machine"_s.arg(options.host);
        return false;
    }
    const auto secret = remote::readSecretFile(stored.passwordFile, u"MQTT password"_s);
    if (!secret.token) {
        why = secret.error;
        return false;
    }
    // The first line only: an editor's second line, or a note, is not part of it.
    options.password = secret.token->split('\n').constFirst().trimmed();
    return true;
}

} // namespace

QString defaultPrefix(const QString &profile)
{
    return u"tarvik/"_s + (profile.isEmpty() ? u"station"_s : profile);
}

std::optional<MqttOptions> mqttOptions(const MqttSettings &stored, const MqttOverrides &run,
                                       const QString &profile, QString &why)
{
    MqttOptions options;
    if (!readUrl(run.url.isEmpty() ? stored.url : run.url, options, why))
        return std::nullopt;
    options.prefix = !run.prefix.isEmpty()      ? run.prefix
                     : !stored.prefix.isEmpty() ? stored.prefix
                                                : defaultPrefix(profile);
    if (!isPrefix(options.prefix)) {
        why = u"cannot use the MQTT prefix \"%1\": give topic levels of letters, digits, '-', "
              "'_' and '.' split by '/', such as tarvik/north"_s.arg(options.prefix);
        return std::nullopt;
    }
    options.userName = stored.userName;
    if (!readPassword(stored, options, why))
        return std::nullopt;
    options.caFile = stored.caFile;
    options.discovery = stored.discovery;
    options.commands = stored.commands;
    // Two stations without a profile are told apart in Home Assistant by their prefixes.
    options.deviceName = u"Tarvik "_s + (profile.isEmpty() ? options.prefix : profile);
    options.version = QString::fromLatin1(version::text);
    return options;
}

bool leavesPrefix(const MqttOptions &now, const std::optional<MqttOptions> &next)
{
    return !next || next->prefix != now.prefix;
}

QString mqttChanges(const MqttOptions &before, const MqttOptions &after)
{
    QStringList out;
    const auto note = [&out](const QString &name, const QString &from, const QString &to) {
        if (from != to)
            out += u"%1 %2 -> %3"_s.arg(name, from, to);
    };
    note(u"Url"_s, before.url, after.url);
    note(u"Prefix"_s, before.prefix, after.prefix);
    note(u"UserName"_s, before.userName, after.userName);
    note(u"CaFile"_s, before.caFile, after.caFile);
    note(u"Discovery"_s, QString::number(before.discovery), QString::number(after.discovery));
    note(u"Commands"_s, QString::number(before.commands), QString::number(after.commands));
    if (before.password != after.password)
        out += u"the password"_s;
    return out.join(u", "_s);
}

} // namespace tarvik::mqtt

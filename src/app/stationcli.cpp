#include "stationcli.h"

#include "settingsstore.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>
#include <QRegularExpression>

#include <cstdio>
#include <cstdlib>

using namespace Qt::StringLiterals;

namespace tarvik {
namespace {

[[noreturn]] void usageError(const QString &text)
{
    std::fprintf(stderr, "tarvik-station: %s\n", qPrintable(text));
    std::exit(2);
}

const QString kDescription = uR"(Headless station for the Tarvik HF antenna controller: the HTTP and
WebSocket API (docs/API.md) over one controller, without a window.

It listens on 127.0.0.1:8732 unless told otherwise. Anywhere else it needs a token:
  tarvik-station --make-token ~/.config/TarvikDesk/token
  tarvik-station --listen 0.0.0.0:8732 --token-file ~/.config/TarvikDesk/token
A reload (SIGHUP) reads the token files again; a changed token takes effect at once.
Reach a remote station through a VPN or an SSH tunnel
(ssh -L 8732:127.0.0.1:8732 station-host), never a bare port on the internet.

With --mqtt (or [Mqtt] Enabled=1) it also appears on an MQTT broker (docs/MQTT.md).)"_s;

} // namespace

bool isProfileName(const QString &name)
{
    static const QRegularExpression shape(u"^[A-Za-z0-9_-]{1,32}$"_s);
    return shape.match(name).hasMatch();
}

QString settingsPathFor(const QString &profile)
{
    const QString panel = SettingsStore::defaultPath();
    if (profile.isEmpty())
        return panel;
    return QFileInfo(panel).absolutePath() + u"/TarvikDesk-"_s + profile + u".conf"_s;
}

StationOptions parseStationOptions(QCoreApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(kDescription);
    parser.addHelpOption();
    parser.addVersionOption();
    const QList<QCommandLineOption> options{
        {u"port"_s, u"Use the serial device NAME for this run only."_s, u"NAME"_s},
        {u"simulate"_s, u"Run against the built-in simulated controller."_s},
        {u"trace"_s, u"Record every byte to and from the controller's port in FILE."_s, u"FILE"_s},
        {u"rig"_s, u"Follow the radio through the rigctld at HOST[:PORT] for this run only."_s,
         u"HOST[:PORT]"_s},
        {u"listen"_s, u"Listen on ADDRESS:PORT (default: [Remote] Listen, 127.0.0.1:8732)."_s,
         u"ADDRESS:PORT"_s},
        {u"token-file"_s, u"Require the token in FILE (mode 0600) on every API call."_s, u"FILE"_s},
        {u"profile"_s, u"Keep settings in TarvikDesk-NAME.conf: one station per controller."_s,
         u"NAME"_s},
        {u"cert"_s, u"Serve HTTPS with the PEM certificate in FILE (with --key)."_s, u"FILE"_s},
        {u"key"_s, u"The PEM private key for --cert."_s, u"FILE"_s},
        {u"make-token"_s,
         u"Write a new 256-bit token to FILE (mode 0600) and end: a control token, or one "
         "for [Remote] ViewTokenFile, which watches but never commands."_s,
         u"FILE"_s},
        {u"mqtt"_s,
         u"Publish on the MQTT broker at URL, mqtt://HOST:1883 or mqtts://HOST:8883, for "
         "this run (docs/MQTT.md)."_s,
         u"URL"_s},
        {u"mqtt-prefix"_s, u"Topics under PREFIX (default: tarvik/<profile>)."_s, u"PREFIX"_s},
    };
    parser.addOptions(options);
    parser.process(app);

    auto value = [&](int i) {
        return parser.value(options[i]);
    };
    StationOptions out{value(0),  parser.isSet(options[1]),
                       value(2),  std::nullopt,
                       value(4),  value(5),
                       value(6),  value(7),
                       value(8),  value(9),
                       value(10), value(11)};
    if (parser.isSet(options[3])) {
        out.rig = rig::parseEndpoint(value(3));
        if (!out.rig)
            usageError(u"--rig wants HOST[:PORT], not \"%1\""_s.arg(value(3)));
    }
    if (parser.isSet(options[6]) && !isProfileName(out.profile))
        usageError(u"--profile wants 1 to 32 letters, digits, '-' or '_'"_s);
    if (out.certFile.isEmpty() != out.keyFile.isEmpty())
        usageError(u"--cert and --key go together"_s);
    return out;
}

} // namespace tarvik

#include "deskcommandline.h"

#include <QApplication>
#include <QCommandLineParser>

#include <cstdio>
#include <cstdlib>
#include <cstring>

using namespace Qt::StringLiterals;

namespace tarvik {

void withoutDisplayForPrintingOptions(int argc, char *argv[])
{
    if (std::getenv("DISPLAY") || std::getenv("WAYLAND_DISPLAY") ||
        qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        return;
    for (int i = 1; i < argc; ++i) {
        for (const char *o : {"-h", "--help", "--help-all", "-v", "--version"}) {
            if (std::strcmp(argv[i], o) == 0) {
                qputenv("QT_QPA_PLATFORM", "offscreen");
                return;
            }
        }
    }
}

DeskOptions parseDeskOptions(QApplication &app)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(u"Control panel for the Tarvik HF antenna controller."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption portOption(
        u"port"_s, u"Use the serial device NAME for this run only; the stored port is kept."_s,
        u"NAME"_s);
    const QCommandLineOption simulateOption(
        u"simulate"_s, u"Run against the built-in simulated controller on a pseudo-terminal."_s);
    const QCommandLineOption traceOption(
        u"trace"_s, u"Record every byte to and from the controller's port in FILE, for support."_s,
        u"FILE"_s);
    const QCommandLineOption rigOption(
        u"rig"_s,
        u"Follow the radio through the rigctld at HOST[:PORT] (port 4532 by default) for "
        "this run only; the stored place is kept."_s,
        u"HOST[:PORT]"_s);
    const QCommandLineOption listenOption(
        u"listen"_s,
        u"Serve the HTTP and WebSocket API and the web page on ADDRESS:PORT for this run "
        "only (anywhere but loopback needs [Remote] TokenFile)."_s,
        u"ADDRESS:PORT"_s);
    const QCommandLineOption mqttOption(
        u"mqtt"_s,
        u"Publish on the MQTT broker at URL, mqtt://HOST:1883 or mqtts://HOST:8883, for "
        "this run only."_s,
        u"URL"_s);
    const QCommandLineOption mqttPrefixOption(
        u"mqtt-prefix"_s, u"Topics under PREFIX (default: [Mqtt] Prefix, tarvik/station)."_s,
        u"PREFIX"_s);
    parser.addOptions({portOption, simulateOption, traceOption, rigOption, listenOption, mqttOption,
                       mqttPrefixOption});
    parser.process(app);

    DeskOptions options{parser.value(portOption),      parser.isSet(simulateOption),
                        parser.value(traceOption),     std::nullopt,
                        parser.value(listenOption),    parser.value(mqttOption),
                        parser.value(mqttPrefixOption)};
    if (parser.isSet(rigOption)) {
        options.rig = rig::parseEndpoint(parser.value(rigOption));
        if (!options.rig) {
            std::fprintf(stderr, "tarvik-desk: --rig wants HOST[:PORT], not \"%s\"\n",
                         qPrintable(parser.value(rigOption)));
            std::exit(2);
        }
    }
    return options;
}

} // namespace tarvik

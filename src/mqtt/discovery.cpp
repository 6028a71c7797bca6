#include "discovery.h"

#include "bands.h"
#include "command.h"
#include "mqttconfig.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <array>
#include <string_view>

using namespace Qt::StringLiterals;

namespace tarvik::mqtt {
namespace {

// One entity: what it reads from the state (a template over its JSON; empty for none)
// and what it publishes on the command topic (the press, the new value, or "on").
struct Entity {
    std::string_view component;
    std::string_view object;
    std::string_view name;
    std::string_view value;
    std::string_view command;
    std::string_view commandOff = {}; // a switch's "off"
};

constexpr std::string_view kOnOff = "{{ 'ON' if %1 else 'OFF' }}";

inline constexpr std::array<Entity, 12> kEntities{{
    {"select", "band", "Band", "{{ value_json.band }}",
     R"({"command":"band","band":"{{ value }}"})"},
    {"number", "frequency", "Frequency kHz",
     "{{ ((value_json.frequencyHz or 0) / 1000) | round(0) | int }}",
     R"({"command":"frequency","hz":{{ (value | float * 1000) | int }}})"},
    {"select", "pattern", "Pattern", "{{ value_json.pattern }}",
     R"({"command":"pattern","pattern":"{{ value }}"})"},
    {"button", "home", "Home", "", R"({"command":"home"})"},
    {"button", "calibrate", "Calibrate", "", R"({"command":"calibrate"})"},
    {"button", "up", "UP", "", R"({"command":"step","direction":"up"})"},
    {"button", "down", "DN", "", R"({"command":"step","direction":"down"})"},
    {"switch", "follow", "Follow Radio", "value_json.follow.enabled",
     R"({"command":"follow","enabled":true})", R"({"command":"follow","enabled":false})"},
    {"binary_sensor", "tuning", "TUNING", "value_json.tuning", ""},
    {"binary_sensor", "retracting", "RETRACTING", "value_json.retracting", ""},
    {"binary_sensor", "connected", "Connected", "value_json.link == 'answering'", ""},
    {"sensor", "frequency_mhz", "Frequency",
     "{{ (value_json.frequencyHz / 1000000) if value_json.frequencyHz else 'unknown' }}", ""},
}};

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// What only some kinds of entity carry: the choices of a select, the range of the
// number, the units, the kind of a lamp.
void addKindFields(const Entity &e, QJsonObject &doc)
{
    const QString object = text(e.object);
    if (object == u"band"_s || object == u"pattern"_s) {
        QJsonArray options;
        if (object == u"band"_s)
            for (const auto &band : kBands)
                options.append(text(band.caption));
        else
            for (const auto &p : remote::kPatternNames)
                options.append(text(p.name));
        doc.insert(u"options"_s, options);
    } else if (object == u"frequency"_s) {
        doc.insert(u"min"_s, double(remote::kMinHz / 1000));
        doc.insert(u"max"_s, double(remote::kMaxHz / 1000));
        doc.insert(u"step"_s, 1);
        doc.insert(u"mode"_s, u"box"_s);
        doc.insert(u"unit_of_measurement"_s, u"kHz"_s);
    } else if (object == u"frequency_mhz"_s) {
        doc.insert(u"unit_of_measurement"_s, u"MHz"_s);
    } else if (object == u"connected"_s) {
        doc.insert(u"device_class"_s, u"connectivity"_s);
    } else if (object == u"tuning"_s || object == u"retracting"_s) {
        doc.insert(u"device_class"_s, u"moving"_s);
    }
}

} // namespace

QList<std::pair<QString, QByteArray>> discoveryDocuments(const MqttOptions &options)
{
    static const QRegularExpression unsafe(u"[^A-Za-z0-9_-]"_s);
    const QString node = QString(options.prefix).replace(unsafe, u"_"_s);
    const QJsonObject device{{u"identifiers"_s, QJsonArray{node}},
                             {u"name"_s, options.deviceName},
                             {u"model"_s, u"Tarvik controller"_s},
                             {u"sw_version"_s, options.version}};
    QList<std::pair<QString, QByteArray>> out;
    for (const Entity &e : kEntities) {
        QJsonObject doc{{u"name"_s, text(e.name)},
                        {u"unique_id"_s, node + u'_' + text(e.object)},
                        {u"availability_topic"_s, options.prefix + u"/availability"_s},
                        {u"device"_s, device}};
        if (!e.value.empty()) {
            const QString value = text(e.value);
            doc.insert(u"state_topic"_s, options.prefix + u"/state"_s);
            doc.insert(u"value_template"_s,
                       value.startsWith(u"{{"_s) ? value : text(kOnOff).arg(value));
        }
        if (!e.command.empty()) {
            doc.insert(u"command_topic"_s, options.prefix + u"/command"_s);
            doc.insert(e.component == "button"   ? u"payload_press"_s
                       : e.component == "switch" ? u"payload_on"_s
                                                 : u"command_template"_s,
                       text(e.command));
            if (!e.commandOff.empty())
                doc.insert(u"payload_off"_s, text(e.commandOff));
        }
        addKindFields(e, doc);
        out.append({u"homeassistant/%1/%2/%3/config"_s.arg(text(e.component), node, text(e.object)),
                    QJsonDocument(doc).toJson(QJsonDocument::Compact)});
    }
    return out;
}

} // namespace tarvik::mqtt

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

// One entity, one row: what it reads (a template over the JSON on <prefix>/<topic>;
// empty for none) and what it publishes on the command topic (the press, the new value,
// or "on"). Every template renders a value the entity takes, or None, which Home
// Assistant shows as unknown; a row that shows the controller's readings is also
// unavailable while the controller does not answer.
struct Entity {
    std::string_view component;
    std::string_view object;
    std::string_view name;
    std::string_view value;
    std::string_view command;
    std::string_view commandOff = {}; // a switch's "off"
    bool controller = false;          // shows a reading: <prefix>/controller too
    std::string_view topic = "state";
};

inline constexpr std::array<Entity, 14> kEntities{{
    {"select",
     "band",
     "Band",
     "{{ value_json.band or None }}",
     R"({"command":"band","band":"{{ value }}"})",
     {},
     true},
    {"number",
     "frequency",
     "Frequency kHz",
     "{% set k = ((value_json.frequencyHz or 0) / 1000) | round(0) | int(0) %}"
     "{{ k if 1800 <= k <= 54000 else None }}",
     R"({"command":"frequency","hz":{{ (value | float(0) * 1000) | int(0) }}})",
     {},
     true},
    {"select",
     "pattern",
     "Pattern",
     "{{ value_json.pattern or None }}",
     R"({"command":"pattern","pattern":"{{ value }}"})",
     {},
     true},
    {"button", "home", "Home", "", R"({"command":"home"})"},
    {"button", "calibrate", "Calibrate", "", R"({"command":"calibrate"})"},
    {"button", "up", "UP", "", R"({"command":"step","direction":"up"})"},
    {"button", "down", "DN", "", R"({"command":"step","direction":"down"})"},
    {"switch", "follow", "Follow Radio", "{{ 'ON' if value_json.follow.enabled else 'OFF' }}",
     R"({"command":"follow","enabled":true})", R"({"command":"follow","enabled":false})"},
    {"binary_sensor",
     "tuning",
     "TUNING",
     "{{ 'ON' if value_json.tuning else 'OFF' }}",
     "",
     {},
     true},
    {"binary_sensor",
     "retracting",
     "RETRACTING",
     "{{ 'ON' if value_json.retracting else 'OFF' }}",
     "",
     {},
     true},
    {"binary_sensor", "connected", "Connected",
     "{{ 'ON' if value_json.link == 'answering' else 'OFF' }}", ""},
    // The radio's, not the controller's: unknown while the interlock cannot see it.
    {"binary_sensor", "tx", "TX",
     "{{ {'on': 'ON', 'off': 'OFF'}[value_json.ptt] if value_json.ptt in ('on', 'off') "
     "else None }}",
     ""},
    {"sensor",
     "frequency_mhz",
     "Frequency",
     "{{ (value_json.frequencyHz / 1000000) if value_json.frequencyHz else None }}",
     "",
     {},
     true},
    {"sensor",
     "result",
     "Last command",
     "{{ 'ok' if value_json.ok else (value_json.error or 'refused') }}",
     "",
     {},
     false,
     "result"},
}};

QString text(std::string_view s)
{
    return QString::fromUtf8(s.data(), qsizetype(s.size()));
}

// What only some kinds of entity carry: the choices of a select, the range of the
// number, the units, the kind of a lamp.
void addKindFields(const Entity &e, QJsonObject &doc, bool commands)
{
    const QString object = text(e.object);
    if (!commands) { // a read-only twin's select and number are sensors
        if (object == u"frequency"_s)
            doc.insert(u"unit_of_measurement"_s, u"kHz"_s);
    } else if (object == u"band"_s || object == u"pattern"_s) {
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
    } else if (object == u"follow"_s) {
        doc.insert(u"state_on"_s, u"ON"_s);
        doc.insert(u"state_off"_s, u"OFF"_s);
    }
    if (object == u"frequency_mhz"_s) {
        doc.insert(u"unit_of_measurement"_s, u"MHz"_s);
    } else if (object == u"connected"_s) {
        doc.insert(u"device_class"_s, u"connectivity"_s);
    } else if (object == u"tuning"_s || object == u"retracting"_s) {
        doc.insert(u"device_class"_s, u"moving"_s);
    }
}

} // namespace

QString nodeId(const QString &prefix)
{
    QString node;
    for (const QChar c : prefix) {
        if (c == u'/')
            node += u'_';
        else if (c == u'-' || c == u'_')
            node += u'-' + c;
        else if (c == u'.')
            node += u"-d"_s;
        else
            node += c;
    }
    return node;
}

QString legacyNodeId(const QString &prefix)
{
    static const QRegularExpression unsafe(u"[^A-Za-z0-9_-]"_s);
    return QString(prefix).replace(unsafe, u"_"_s);
}

QList<std::pair<QString, QByteArray>> discoveryDocuments(const MqttOptions &options)
{
    const QString node = nodeId(options.prefix);
    const QJsonObject device{{u"identifiers"_s, QJsonArray{node}},
                             {u"name"_s, options.deviceName},
                             {u"model"_s, u"Tarvik controller"_s},
                             {u"sw_version"_s, options.version}};
    const QString station = options.prefix + u"/availability"_s;
    const QJsonArray both{QJsonObject{{u"topic"_s, station}},
                          QJsonObject{{u"topic"_s, options.prefix + u"/controller"_s}}};
    QList<std::pair<QString, QByteArray>> out;
    for (const Entity &e : kEntities) {
        const bool writes = options.commands && !e.command.empty();
        if (e.value.empty() && !writes)
            continue; // a button of a station that takes no commands
        QJsonObject doc{{u"name"_s, text(e.name)},
                        {u"unique_id"_s, node + u'_' + text(e.object)},
                        {u"device"_s, device}};
        if (e.controller) {
            doc.insert(u"availability"_s, both);
            doc.insert(u"availability_mode"_s, u"all"_s);
        } else {
            doc.insert(u"availability_topic"_s, station);
        }
        if (!e.value.empty()) {
            doc.insert(u"state_topic"_s, options.prefix + u'/' + text(e.topic));
            doc.insert(u"value_template"_s, text(e.value));
        }
        QString component = text(e.component);
        if (writes) {
            doc.insert(u"command_topic"_s, options.prefix + u"/command"_s);
            doc.insert(component == u"button"_s   ? u"payload_press"_s
                       : component == u"switch"_s ? u"payload_on"_s
                                                  : u"command_template"_s,
                       text(e.command));
            if (!e.commandOff.empty())
                doc.insert(u"payload_off"_s, text(e.commandOff));
        } else if (!e.command.empty()) {
            component = component == u"switch"_s ? u"binary_sensor"_s : u"sensor"_s;
        }
        addKindFields(e, doc, options.commands);
        out.append({u"homeassistant/%1/%2/%3/config"_s.arg(component, node, text(e.object)),
                    QJsonDocument(doc).toJson(QJsonDocument::Compact)});
    }
    return out;
}

} // namespace tarvik::mqtt

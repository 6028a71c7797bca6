#include "command.h"

#include "bands.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <cmath>

namespace tarvik::remote {
namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

ParsedCommand refused(const QString &why)
{
    return {std::nullopt, why};
}

// {"pattern": "normal" | "180" | "bidirectional"} sets a pattern; {"toggle": "180" |
// "bidirectional"} works as the panel's 180 and BiDir buttons do.
QString readPattern(const QJsonObject &object, Command &command)
{
    const QJsonValue toggle = object.value(QStringLiteral("toggle"));
    command.toggle = !toggle.isUndefined();
    const QJsonValue value = command.toggle ? toggle : object.value(QStringLiteral("pattern"));
    for (const auto &p : kPatternNames) {
        if (command.toggle && p.pattern == proto::Pattern::Normal)
            continue;
        if (value.isString() && value.toString() == text(p.name)) {
            command.pattern = p.pattern;
            return {};
        }
    }
    return command.toggle
               ? QStringLiteral("\"toggle\" must be \"180\" or \"bidirectional\"")
               : QStringLiteral("\"pattern\" must be \"normal\", \"180\" or \"bidirectional\"");
}

// Reads the one value `shape` wants from `object` into `command`; an error text when
// it is missing or unusable.
QString readArgument(const CommandShape &shape, const QJsonObject &object, Command &command)
{
    if (shape.argument == Argument::None)
        return {};
    const QString key = text(shape.key);
    const QJsonValue value = object.value(key);
    const QString wanted = QStringLiteral("\"%1\" ").arg(key);
    switch (shape.argument) {
    case Argument::BandCaption: {
        const auto band = bandIndex(value.toString());
        if (!value.isString() || !band)
            return wanted + QStringLiteral("must be one of 80 40 30 20 17 15 12 10 6");
        command.band = *band;
        return {};
    }
    case Argument::Hz: {
        const double hz = value.toDouble(-1);
        if (!value.isDouble() || hz != std::floor(hz) || hz < double(kMinHz) || hz > double(kMaxHz))
            return wanted + QStringLiteral("must be a whole number of Hz from 1800000 to 54000000");
        command.hz = qint64(hz);
        return {};
    }
    case Argument::Direction:
        if (value != QJsonValue(QStringLiteral("up")) &&
            value != QJsonValue(QStringLiteral("down")))
            return wanted + QStringLiteral("must be \"up\" or \"down\"");
        command.up = value.toString() == QStringLiteral("up");
        return {};
    case Argument::PatternName:
        return readPattern(object, command);
    case Argument::Enabled:
        if (!value.isBool())
            return wanted + QStringLiteral("must be true or false");
        command.enabled = value.toBool();
        return {};
    case Argument::None:
        break;
    }
    return {};
}

ParsedCommand parseObject(const CommandShape &shape, const QJsonObject &object)
{
    Command command;
    command.kind = shape.kind;
    const QString error = readArgument(shape, object, command);
    if (!error.isEmpty())
        return refused(error);
    return {command, {}};
}

std::optional<QJsonObject> readObject(const QByteArray &json)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(json, &error);
    if (error.error != QJsonParseError::NoError || !doc.isObject())
        return std::nullopt;
    return doc.object();
}

} // namespace

const CommandShape *findCommand(QStringView name)
{
    for (const auto &c : kCommands)
        if (name == QLatin1StringView(c.name.data(), qsizetype(c.name.size())))
            return &c;
    return nullptr;
}

QString commandName(CommandKind kind)
{
    for (const auto &c : kCommands)
        if (c.kind == kind)
            return text(c.name);
    return {};
}

std::optional<std::size_t> bandIndex(QStringView caption)
{
    for (std::size_t i = 0; i < kBands.size(); ++i)
        if (caption ==
            QLatin1StringView(kBands[i].caption.data(), qsizetype(kBands[i].caption.size())))
            return i;
    return std::nullopt;
}

QString bandCaption(std::size_t band)
{
    return band < kBands.size() ? text(kBands[band].caption) : QString();
}

ParsedCommand parseCommand(QStringView name, const QByteArray &body)
{
    const CommandShape *shape = findCommand(name);
    if (!shape)
        return refused(QStringLiteral("no such command"));
    if (body.trimmed().isEmpty() && shape->argument == Argument::None)
        return parseObject(*shape, {});
    const auto object = readObject(body);
    if (!object)
        return refused(QStringLiteral("the body is not a JSON object"));
    return parseObject(*shape, *object);
}

ParsedCommand parseMessage(const QByteArray &message)
{
    const auto object = readObject(message);
    if (!object)
        return refused(QStringLiteral("the message is not a JSON object"));
    const QJsonValue name = object->value(QStringLiteral("command"));
    const CommandShape *shape = name.isString() ? findCommand(name.toString()) : nullptr;
    if (!shape)
        return refused(QStringLiteral("\"command\" names no command"));
    return parseObject(*shape, *object);
}

} // namespace tarvik::remote

// A WebSocket command message, or a POST body, from any bytes: either a command comes
// out or a reason, never both; its values are in range; the same object as a POST body
// to the named path gives the same command; and a command written back as a message
// parses to itself.

#include "command.h"
#include "fuzzcheck.h"

#include <QJsonDocument>
#include <QJsonObject>

using namespace tarvik::remote;

namespace {

QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), qsizetype(s.size()));
}

QByteArray asMessage(const Command &c)
{
    const CommandShape *shape = findCommand(commandName(c.kind));
    QJsonObject o{{QStringLiteral("command"), text(shape->name)}};
    const QString key = text(shape->key);
    switch (shape->argument) {
    case Argument::BandCaption:
        o.insert(key, bandCaption(c.band));
        break;
    case Argument::Hz:
        o.insert(key, double(c.hz));
        break;
    case Argument::Direction:
        o.insert(key, c.up ? QStringLiteral("up") : QStringLiteral("down"));
        break;
    case Argument::PatternName:
        for (const auto &p : kPatternNames)
            if (p.pattern == c.pattern)
                o.insert(c.toggle ? QStringLiteral("toggle") : key, text(p.name));
        break;
    case Argument::Enabled:
        o.insert(key, c.enabled);
        break;
    case Argument::None:
        break;
    }
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const ParsedCommand parsed = parseMessage(bytes);
    FUZZ_CHECK(parsed.command.has_value() == parsed.error.isEmpty());
    if (!parsed.command)
        return 0;
    const Command &c = *parsed.command;
    FUZZ_CHECK(c.hz == 0 || (c.hz >= kMinHz && c.hz <= kMaxHz));
    FUZZ_CHECK(!bandCaption(c.band).isEmpty());
    const QString name = commandName(c.kind);
    FUZZ_CHECK(parseCommand(name, bytes).command == c);
    FUZZ_CHECK(parseMessage(asMessage(c)).command == c);
    return 0;
}

#pragma once

#include "protocol.h"

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <array>
#include <cstddef>
#include <optional>
#include <string_view>

namespace tarvik {

namespace remote {

// What a network client may ask of the station, checked and in range. Parsing is a pure
// function of the bytes, so it is fuzzed without a server (tests/fuzz/fuzz_command.cpp).
enum class CommandKind { Band, Frequency, Step, Pattern, Home, Calibrate, Transceiver, Follow };

// What the one value of a command is: its JSON key and how it is read.
enum class Argument { None, BandCaption, Hz, Direction, PatternName, Enabled };

struct CommandShape {
    std::string_view name; // the path after /api/v1/ and the "command" of a message
    CommandKind kind;
    Argument argument;
    std::string_view key; // the JSON key carrying the value
};

inline constexpr std::array<CommandShape, 8> kCommands{{
    {"band", CommandKind::Band, Argument::BandCaption, "band"},
    {"frequency", CommandKind::Frequency, Argument::Hz, "hz"},
    {"step", CommandKind::Step, Argument::Direction, "direction"},
    {"pattern", CommandKind::Pattern, Argument::PatternName, "pattern"},
    {"home", CommandKind::Home, Argument::None, ""},
    {"calibrate", CommandKind::Calibrate, Argument::None, ""},
    {"transceiver", CommandKind::Transceiver, Argument::Enabled, "enabled"},
    {"follow", CommandKind::Follow, Argument::Enabled, "enabled"},
}};

// The patterns as the API names them, in state and in commands.
struct PatternName {
    proto::Pattern pattern;
    std::string_view name;
};
inline constexpr std::array<PatternName, 3> kPatternNames{{
    {proto::Pattern::Normal, "normal"},
    {proto::Pattern::Reversed, "180"},
    {proto::Pattern::Bidirectional, "bidirectional"},
}};

// The range a frequency command accepts, in Hz.
inline constexpr qint64 kMinHz = 1'800'000;
inline constexpr qint64 kMaxHz = 54'000'000;

struct Command {
    CommandKind kind = CommandKind::Home;
    std::size_t band = 0; // index into the band table
    qint64 hz = 0;
    bool up = false;      // Step
    bool enabled = false; // Transceiver, Follow
    proto::Pattern pattern = proto::Pattern::Normal;
    bool toggle = false; // Pattern: turn `pattern` on, or off when it is lit

    bool operator==(const Command &) const = default;
};

// Either a command or the reason there is none, said for the client.
struct ParsedCommand {
    std::optional<Command> command;
    QString error;
};

const CommandShape *findCommand(QStringView name);
QString commandName(CommandKind kind);
std::optional<std::size_t> bandIndex(QStringView caption);
QString bandCaption(std::size_t band);

// `body` is the JSON of a POST to /api/v1/<name>: an object, or empty for a command
// that takes no value.
ParsedCommand parseCommand(QStringView name, const QByteArray &body);
// A WebSocket message: {"command": "<name>", ...the same value...}.
ParsedCommand parseMessage(const QByteArray &message);

} // namespace remote
} // namespace tarvik

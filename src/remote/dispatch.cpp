#include "dispatch.h"

namespace tarvik::remote {

CommandResult runCommand(Station &station, const Command &command)
{
    switch (command.kind) {
    case CommandKind::Band:
        return station.tuneBand(command.band);
    case CommandKind::Frequency:
        return station.tuneFrequency(command.hz);
    case CommandKind::Step:
        return command.up ? station.stepUp() : station.stepDown();
    case CommandKind::Pattern:
        if (!command.toggle)
            return station.setPattern(command.pattern);
        return command.pattern == proto::Pattern::Reversed ? station.toggleReversed()
                                                           : station.toggleBidirectional();
    case CommandKind::Home:
        return station.home();
    case CommandKind::Calibrate:
        return station.calibrate();
    case CommandKind::Transceiver:
        return station.setTransceiver(command.enabled);
    case CommandKind::Follow:
        station.setFollowing(command.enabled);
        return CommandResult::Written;
    }
    return CommandResult::OutOfRange;
}

QString refusalText(CommandResult result)
{
    switch (result) {
    case CommandResult::Written:
        break;
    case CommandResult::PortClosed:
        return QStringLiteral("the serial port is closed");
    case CommandResult::HeldBySetup:
        return QStringLiteral("the setup dialog holds the line");
    case CommandResult::OutOfRange:
        return QStringLiteral("out of range");
    case CommandResult::Transmitting:
        return QStringLiteral("transmitting");
    case CommandResult::TransmitUnknown:
        return QStringLiteral("transmit state unknown");
    }
    return {};
}

MessageOutcome runMessage(Station &station, bool admitted, const QByteArray &message)
{
    if (!admitted)
        return {QStringLiteral("?"), QStringLiteral("more than 20 commands a second")};
    if (message.size() > kMaxMessageBytes)
        return {QStringLiteral("?"), QStringLiteral("message over 4 KiB")};
    const ParsedCommand parsed = parseMessage(message);
    if (!parsed.command)
        return {QStringLiteral("?"), parsed.error};
    return {commandName(parsed.command->kind), refusalText(runCommand(station, *parsed.command))};
}

QJsonObject outcomeJson(const MessageOutcome &outcome)
{
    QJsonObject result{{QStringLiteral("ok"), outcome.error.isEmpty()}};
    if (!outcome.error.isEmpty())
        result.insert(QStringLiteral("error"), outcome.error);
    return result;
}

} // namespace tarvik::remote

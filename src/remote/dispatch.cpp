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
    }
    return {};
}

} // namespace tarvik::remote

#include "simcommandline.h"

#include "serialtrace.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTextStream>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {
int g_signalPipe[2] = {-1, -1};

extern "C" void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_signalPipe[1], &byte, 1);
    errno = saved;
}

bool installSignalHandlers()
{
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
        return false;
    for (int fd : g_signalPipe) {
        ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) | O_NONBLOCK);
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    }
    struct sigaction sa {
    };
    sa.sa_handler = onSignal;
    ::sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    return ::sigaction(SIGINT, &sa, nullptr) == 0 && ::sigaction(SIGTERM, &sa, nullptr) == 0;
}

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}
} // namespace

std::optional<SimulatorOptions> parseSimulatorOptions(QCoreApplication &app, QTextStream &err)
{
    QCommandLineParser parser;
    parser.setApplicationDescription(
        u"Simulated antenna controller on a pseudo-terminal. Prints the device for the panel "
        u"to open, then logs every frame it receives and every byte it sends."_s);
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption modeOption(
        u"mode"_s, u"How to answer: normal, silent, garbage, truncated or wrongheader."_s,
        u"NAME"_s, u"normal"_s);
    const QCommandLineOption linkOption(
        u"link"_s, u"Also make PATH a symbolic link to the device, removed on exit."_s, u"PATH"_s);
    const QCommandLineOption faultOption(u"fault-rate"_s,
                                         u"Spoil this share (0 to 1) of normal replies at "
                                         u"random: cut short, wrong header or left out."_s,
                                         u"RATE"_s, u"0"_s);
    parser.addOptions({modeOption, linkOption, faultOption});
    parser.process(app);

    SimulatorOptions options;
    const auto mode = ControllerSimulator::modeFromName(parser.value(modeOption));
    if (!mode) {
        err << "tarvik-sim: unknown mode \"" << parser.value(modeOption)
            << "\" (normal, silent, garbage, truncated, wrongheader)" << Qt::endl;
        return std::nullopt;
    }
    options.mode = *mode;
    bool rateOk = false;
    options.faultRate = parser.value(faultOption).toDouble(&rateOk);
    if (!rateOk || options.faultRate < 0.0 || options.faultRate > 1.0) {
        err << "tarvik-sim: --fault-rate wants a number from 0 to 1" << Qt::endl;
        return std::nullopt;
    }
    options.linkPath = parser.value(linkOption);
    return options;
}

bool quitOnSignals(QCoreApplication &app, QTextStream &err)
{
    if (!installSignalHandlers()) {
        err << "tarvik-sim: cannot install signal handlers: " << systemError() << Qt::endl;
        return false;
    }
    auto *notifier = new QSocketNotifier(qintptr{g_signalPipe[0]}, QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });
    return true;
}

bool linkDevice(const QString &linkPath, const QString &device, QTextStream &err)
{
    if (QFileInfo(linkPath).isSymLink())
        QFile::remove(linkPath);
    if (::symlink(QFile::encodeName(device).constData(), QFile::encodeName(linkPath).constData()) ==
        0)
        return true;
    err << "tarvik-sim: cannot link " << linkPath << ": " << systemError() << Qt::endl;
    return false;
}

void unlinkDevice(const QString &linkPath, const QString &device)
{
    const QFileInfo info(linkPath);
    if (info.isSymLink() && info.symLinkTarget() == device)
        QFile::remove(linkPath);
}

void logTraffic(ControllerSimulator &sim, QTextStream &out)
{
    // The panel's trace format, seen from this end: what arrives is RX, what goes is TX.
    const auto log = [&out](const QDateTime &when, TraceTag tag, QByteArrayView detail) {
        out << traceLine(when, tag, detail);
        out.flush();
    };
    QObject::connect(&sim, &ControllerSimulator::frameReceived, &sim,
                     [log](const QByteArray &frame, bool wellFormed) {
                         const QDateTime now = QDateTime::currentDateTime();
                         log(now, TraceTag::Rx, traceHex(frame));
                         log(now, TraceTag::Frame,
                             ControllerSimulator::describeFrame(frame, wellFormed).toUtf8());
                     });
    QObject::connect(&sim, &ControllerSimulator::lineWritten, &sim, [log](const QByteArray &bytes) {
        log(QDateTime::currentDateTime(), TraceTag::Tx, traceHex(bytes));
    });
}

QString runSummary(const ControllerSimulator &sim)
{
    return QStringLiteral("tarvik-sim: answered %1 requests, accepted %2 commands, received %3 "
                          "malformed frames, injected %4 faults")
        .arg(sim.requestsAnswered())
        .arg(sim.commandsAccepted())
        .arg(sim.malformedFrames())
        .arg(sim.faultsInjected());
}

} // namespace tarvik

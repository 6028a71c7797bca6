// tarvik-sim: a simulated controller for trying the panel without the hardware.
//
// Creates a pseudo-terminal, prints the device the panel should open, and then logs
// every frame that comes down the line, one timestamped line each, until it gets
// SIGINT or SIGTERM. The signal handler only writes a byte into a socket pair; the
// event loop picks it up and quits, so shutdown (and removal of the --link symlink)
// happens in ordinary code.

#include "controllersimulator.h"
#include "hexcodec.h"

#include <tarvik/version.h>

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

// The link is ours only while it still points at our device; anything else at that
// path belongs to someone else and is left alone.
bool isOurLink(const QString &linkPath, const QString &device)
{
    const QFileInfo info(linkPath);
    return info.isSymLink() && info.symLinkTarget() == device;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvik-sim"));
    QCoreApplication::setApplicationVersion(QString::fromLatin1(tarvik::version::text));

    QTextStream out(stdout);
    QTextStream err(stderr);

    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Simulated antenna controller on a pseudo-terminal. Prints the device "
                       "for the panel to open, then logs every frame it receives."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption modeOption(
        QStringLiteral("mode"),
        QStringLiteral("How to answer: normal, silent, garbage, truncated or wrongheader."),
        QStringLiteral("NAME"), QStringLiteral("normal"));
    const QCommandLineOption linkOption(
        QStringLiteral("link"),
        QStringLiteral("Also make PATH a symbolic link to the device, removed on exit."),
        QStringLiteral("PATH"));
    const QCommandLineOption faultOption(
        QStringLiteral("fault-rate"),
        QStringLiteral("Spoil this share (0 to 1) of normal replies at random: cut short, "
                       "wrong header or left out."),
        QStringLiteral("RATE"), QStringLiteral("0"));
    parser.addOption(modeOption);
    parser.addOption(linkOption);
    parser.addOption(faultOption);
    parser.process(app);

    const auto mode = tarvik::ControllerSimulator::modeFromName(parser.value(modeOption));
    if (!mode) {
        err << "tarvik-sim: unknown mode \"" << parser.value(modeOption)
            << "\" (normal, silent, garbage, truncated, wrongheader)" << Qt::endl;
        return 2;
    }

    if (!installSignalHandlers()) {
        err << "tarvik-sim: cannot install signal handlers: "
            << QString::fromLocal8Bit(std::strerror(errno)) << Qt::endl;
        return 1;
    }

    bool rateOk = false;
    const double faultRate = parser.value(faultOption).toDouble(&rateOk);
    if (!rateOk || faultRate < 0.0 || faultRate > 1.0) {
        err << "tarvik-sim: --fault-rate wants a number from 0 to 1" << Qt::endl;
        return 2;
    }

    tarvik::ControllerSimulator sim(&app);
    sim.setMode(*mode);
    sim.setFaultRate(faultRate);
    if (!sim.start()) {
        err << "tarvik-sim: cannot create a pseudo-terminal: " << sim.errorString() << Qt::endl;
        return 1;
    }

    const QString linkPath = parser.value(linkOption);
    if (!linkPath.isEmpty()) {
        // A link left behind by a run that was killed is replaced; a real file is not.
        if (QFileInfo(linkPath).isSymLink())
            QFile::remove(linkPath);
        if (::symlink(QFile::encodeName(sim.devicePath()).constData(),
                      QFile::encodeName(linkPath).constData()) != 0) {
            err << "tarvik-sim: cannot link " << linkPath << ": "
                << QString::fromLocal8Bit(std::strerror(errno)) << Qt::endl;
            return 1;
        }
    }

    out << sim.devicePath() << Qt::endl;
    err << "tarvik-sim " << tarvik::version::text << ": mode "
        << tarvik::ControllerSimulator::modeName(*mode) << ", device " << sim.devicePath()
        << (linkPath.isEmpty() ? QString() : QStringLiteral(", link ") + linkPath) << Qt::endl;

    QObject::connect(&sim, &tarvik::ControllerSimulator::frameReceived, &app,
                     [&out](const QByteArray &frame, bool wellFormed) {
                         out << QDateTime::currentDateTime().toString(Qt::ISODateWithMs) << " RX "
                             << tarvik::bytesToHex(frame);
                         if (wellFormed)
                             out << " ok "
                                 << tarvik::ControllerSimulator::describeFrame(frame, wellFormed);
                         else
                             out << " bad";
                         out << Qt::endl;
                     });

    QSocketNotifier signalNotifier{qintptr{g_signalPipe[0]}, QSocketNotifier::Read, &app};
    QObject::connect(&signalNotifier, &QSocketNotifier::activated, &app, [] {
        char buf[16];
        while (::read(g_signalPipe[0], buf, sizeof buf) > 0) {
        }
        QCoreApplication::quit();
    });

    const int rc = app.exec();

    // One line for scripts that drive a long run.
    err << "tarvik-sim: answered " << sim.requestsAnswered() << " requests, accepted "
        << sim.commandsAccepted() << " commands, received " << sim.malformedFrames()
        << " malformed frames, injected " << sim.faultsInjected() << " faults" << Qt::endl;

    if (!linkPath.isEmpty() && isOurLink(linkPath, sim.devicePath()))
        QFile::remove(linkPath);
    return rc;
}

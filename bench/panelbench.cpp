// bench-panel: the real main window in process, on a pseudo-terminal held here.
//
//   bench-panel latency N [paced|silent]
//                             presses F6 N times; for each press, the time from the key
//                             event until the whole frame can be read on the far end.
//                             "paced": the presses 5 ms apart; "silent": paced so, while
//                             the panel follows a rigctld that accepts and never
//                             answers, so that they meet its time-outs and retries;
//                             "waiting": each press while a status poll waits for a
//                             reply that has not come
//   bench-panel follow SETTLE_MS N
//                             moves a real rigctld N times between 20 m and 15 m; for
//                             each move, the time from the set command written to
//                             rigctld until the whole frame can be read on the far end
//   bench-panel poll MODE N   runs N status polls, each answered here once its request
//                             is out; MODE "changed" alternates two frames that
//                             differ in everything the panel shows, "unchanged" sends
//                             one frame every time. Run under callgrind with
//                             --collect-atstart=no: only the polls and the repaints
//                             they cause are counted.
//   bench-panel qt            prints the Qt version the panel runs on
//
// Results are key=value lines on standard output for bench/run to gather.

#include "commport.h"
#include "mainwindow.h"
#include "ptypeer.h"
#include "rigctld.h"
#include "rigfollower.h"
#include "rigmoves.h"
#include "settingsstore.h"
#include "station.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLineEdit>
#include <QRandomGenerator>
#include <QSerialPort>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <valgrind/callgrind.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <vector>

#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace tarvik;

namespace {

using Clock = std::chrono::steady_clock;

int fail(const char *what)
{
    std::fprintf(stderr, "bench-panel: %s\n", what);
    return 1;
}

// The settings folder and the window, torn down in the right order.
struct Panel {
    QTemporaryDir dir;
    QObject owner;
    SettingsStore *store = nullptr;
    Station *station = nullptr;
    std::unique_ptr<MainWindow> window;
    test::PtyPeer peer;

    bool start()
    {
        if (!dir.isValid() || peer.slavePath().isEmpty())
            return false;
        store = new SettingsStore(dir.path() + QStringLiteral("/TarvikDesk.conf"), &owner);
        station = new Station(&owner);
        station->setPortOverride(peer.slavePath());
        window = std::make_unique<MainWindow>(station, store);
        window->start();
        window->show();
        window->activateWindow();
        if (!QTest::qWaitForWindowActive(window.get()))
            return false;
        // The benchmark decides when polls happen; commands restart the timer, and
        // the presses come far faster than it would run out.
        pollTimer()->stop();
        peer.collect(50);
        return station->port().isOpen();
    }

    QTimer *pollTimer() const { return station->findChild<QTimer *>(QStringLiteral("pollTimer")); }

    // Drops whatever the panel has written so far.
    void drain()
    {
        char buf[256];
        while (::read(peer.masterFd(), buf, sizeof buf) > 0) {
        }
    }

    // Puts a reply on the line and returns once all of it can be read on the panel's
    // side, without letting the panel read it: that is the event loop's next turn.
    bool reply(const QByteArray &frame)
    {
        const int fd = int(station->port().serialPort()->handle());
        peer.write(frame);
        const QDeadlineTimer deadline(5000);
        for (int queued = 0; ::ioctl(fd, FIONREAD, &queued) == 0 && queued < frame.size();) {
            if (deadline.hasExpired())
                return false;
            ::usleep(100);
        }
        return true;
    }
};

int baudOf(const QString &settings)
{
    return settings.section(QLatin1Char(','), 0, 0).trimmed().toInt();
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// Starts a status poll and returns once it waits for its reply.
bool pollWaiting(Panel &panel)
{
    auto *wait = panel.station->findChild<QTimer *>(QStringLiteral("replyDeadline"));
    panel.pollTimer()->start(0);
    const QDeadlineTimer deadline(5000);
    while (!wait->isActive() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    return wait->isActive();
}

int latency(int presses, bool paced, bool silentRig, bool waiting)
{
    Panel panel;
    if (!panel.start())
        return fail("the panel did not start on the pseudo-terminal");
    MainWindow &w = *panel.window;
    QTcpServer silent; // the kernel accepts for it; nothing ever answers
    int rigConnections = 0;
    if (silentRig) {
        if (!silent.listen(QHostAddress::LocalHost))
            return fail("no port for the silent rigctld");
        // Each connection is held open, unanswered, until the follower gives it up.
        QObject::connect(&silent, &QTcpServer::newConnection, &silent, [&silent, &rigConnections] {
            silent.nextPendingConnection();
            ++rigConnections;
        });
        panel.station->followRigForThisRun({QStringLiteral("127.0.0.1"), silent.serverPort()});
    }
    // F6 is 20 m: 14.050 MHz, normal pattern.
    const QByteArray expected = QByteArray::fromHex("404100157048000031300d");
    if (expected.size() != proto::kFrameSize)
        return fail("bad expected frame");
    const int fd = panel.peer.masterFd();

    std::vector<double> micros;
    micros.reserve(static_cast<std::size_t>(presses));
    for (int i = 0; i < presses; ++i) {
        if (paced)
            QTest::qWait(5);
        QCoreApplication::processEvents();
        if (waiting && !pollWaiting(panel))
            return fail("the status poll did not wait for its reply");
        panel.pollTimer()->stop();
        panel.drain();
        char buf[64];
        int got = 0;
        const auto t0 = Clock::now();
        QTest::keyClick(&w, Qt::Key_F6);
        while (got < expected.size()) {
            const ssize_t n = ::read(fd, buf + got, sizeof buf - static_cast<std::size_t>(got));
            if (n > 0)
                got += static_cast<int>(n);
            else if (Clock::now() - t0 > std::chrono::seconds(5))
                return fail("no frame came after F6");
        }
        const auto t1 = Clock::now();
        if (QByteArray(buf, got) != expected) {
            std::fprintf(stderr, "bench-panel: press %d sent %s\n", i,
                         QByteArray(buf, got).toHex().constData());
            return fail("F6 sent the wrong frame");
        }
        micros.push_back(std::chrono::duration<double, std::micro>(t1 - t0).count());
    }

    const int baud = baudOf(panel.station->port().settings());
    // A start bit, eight data bits and a stop bit for every byte.
    const double wireMs = expected.size() * 10 * 1000.0 / baud;
    std::printf("presses=%d\n", presses);
    std::printf("p50_us=%.1f\n", percentile(micros, 0.50));
    std::printf("p99_us=%.1f\n", percentile(micros, 0.99));
    std::printf("max_us=%.1f\n", *std::max_element(micros.begin(), micros.end()));
    std::printf("baud=%d\n", baud);
    std::printf("wire_ms=%.1f\n", wireMs);
    if (silentRig)
        std::printf("rig_connections=%d\n", rigConnections);
    return 0;
}

// Reads the master until a whole frame is there, the panel's events running meanwhile.
QByteArray readFrame(Panel &panel, Clock::time_point since)
{
    QByteArray got;
    char buf[64];
    while (got.size() < proto::kFrameSize) {
        QCoreApplication::processEvents();
        const ssize_t n = ::read(panel.peer.masterFd(), buf, sizeof buf);
        if (n > 0)
            got.append(buf, n);
        else if (Clock::now() - since > std::chrono::seconds(5))
            return {};
    }
    return got;
}

int followLatency(int settleMs, int moves)
{
    test::Rigctld rig;
    if (!rig.start() || !rig.set("F 14074000"))
        return fail("rigctld did not start");
    Panel panel;
    if (!panel.start())
        return fail("the panel did not start on the pseudo-terminal");
    FollowSettings settings = panel.station->followSettings();
    settings.settleMs = settleMs;
    panel.station->setFollowSettings(settings);
    panel.station->followRigForThisRun({QStringLiteral("127.0.0.1"), rig.port()});
    if (readFrame(panel, Clock::now()).isEmpty())
        return fail("following sent no first frame");
    QTcpSocket control;
    if (!bench::connectControl(control, rig.port()))
        return fail("cannot reach rigctld");
    std::vector<double> millis;
    for (int i = 0; i < moves; ++i) {
        // Out of step with the follower's 250 ms questions, so every phase is met.
        panel.pollTimer()->stop();
        QTest::qWait(300 + static_cast<int>(QRandomGenerator::global()->bounded(250)));
        panel.drain();
        control.readAll();
        const auto &band = bench::kRigMoves[i % 2];
        const auto t0 = Clock::now();
        control.write(band.command);
        control.flush();
        const QByteArray frame = readFrame(panel, t0);
        const auto t1 = Clock::now();
        if (frame != band.frame)
            return fail("following sent the wrong frame, or none");
        millis.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    }
    std::printf("moves=%d\n", moves);
    std::printf("settle_ms=%d\n", settleMs);
    std::printf("p50_ms=%.1f\n", percentile(millis, 0.50));
    std::printf("p99_ms=%.1f\n", percentile(millis, 0.99));
    return 0;
}

int pollCost(bool changing, int ticks)
{
    Panel panel;
    if (!panel.start())
        return fail("the panel did not start on the pseudo-terminal");
    MainWindow &w = *panel.window;
    // 14.050 MHz reversed and idle; 21.050 MHz normal and moving: every lamp, caption
    // and box the poll drives differs between the two.
    const QByteArray a = QByteArray::fromHex("40410015704800403130 0d");
    const QByteArray b = QByteArray::fromHex("404100201ea801903130 0d");

    // A tick writes the request; the controller's reply then comes (its part is not
    // counted), and the event loop's next turn reads it, ends the poll and repaints.
    const auto counting = [](bool counted) {
        if (counted)
            CALLGRIND_TOGGLE_COLLECT;
    };
    const QTimer *waiting = panel.station->findChild<QTimer *>(QStringLiteral("replyDeadline"));
    auto tick = [&](const QByteArray &frame, bool counted) {
        panel.drain();
        counting(counted);
        QMetaObject::invokeMethod(panel.pollTimer(), "timeout", Qt::DirectConnection);
        counting(counted);
        if (!panel.reply(frame))
            return false;
        counting(counted);
        for (const QDeadlineTimer deadline(5000); waiting->isActive() && !deadline.hasExpired();)
            QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents();
        counting(counted);
        return w.receivedBox()->text() == QString::fromLatin1(frame.toHex().toUpper());
    };

    // Settle: the first polls move the panel out of its start-up state. They end on
    // `a`, so that every counted tick of "changed" changes and none of "unchanged" does.
    for (int i = 0; i < 10; ++i)
        if (!tick(i % 2 ? a : b, false))
            return fail("the poll did not show the reply");
    for (int i = 0; i < ticks; ++i)
        if (!tick(changing && i % 2 == 0 ? b : a, true))
            return fail("the poll did not show the reply");
    std::printf("ticks=%d\n", ticks);
    std::printf("shown=%s\n", qPrintable(w.frequencyBox()->text()));
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    const QString mode = args.value(1);
    if (mode == u"latency")
        return latency(args.value(2, QStringLiteral("1000")).toInt(),
                       args.value(3) == u"paced" || args.value(3) == u"silent",
                       args.value(3) == u"silent", args.value(3) == u"waiting");
    if (mode == u"follow")
        return followLatency(args.value(2).toInt(), args.value(3, QStringLiteral("60")).toInt());
    if (mode == u"poll" && (args.value(2) == u"changed" || args.value(2) == u"unchanged"))
        return pollCost(args.value(2) == u"changed", args.value(3, QStringLiteral("1000")).toInt());
    if (mode == u"qt") {
        std::printf("qt=%s\n", qVersion());
        return 0;
    }
    std::fprintf(stderr, "usage: bench-panel latency N [silent] | follow SETTLE_MS N | "
                         "poll changed|unchanged N | qt\n");
    return 2;
}

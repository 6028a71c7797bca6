// bench-rig: following a real rigctld, today's follower beside the one of
// TARVIK_FOLLOWER_BEFORE (the last that asked every 250 ms whatever the radio did),
// both built into this one program and measured in the same run.
//
//   bench-rig follow SETTLE_MS BURSTS
//        starts rigctld's dummy rig; each follower drives a Station of its own on a
//        pseudo-terminal, exactly as the station drives its own follower. Each burst
//        moves the rig three times between 20 m and 15 m with rigctld's set command:
//        once from rest (more than 2 s after the move before), then twice while tuning
//        (within 2 s of the move before). For each follower and move: the time from the
//        set command written to rigctld until the whole frame can be read on the line.
//   bench-rig idle before|after PORT SECONDS
//        one follower on the rigctld at PORT, whose rig stands still; after 5 s, this
//        process's processor time (all threads) over SECONDS.
//
// Results are key=value lines on standard output for bench/run to gather.

#include "ptypeer.h"
#include "rigctld.h"
#include "rigfollower.h"
#include "rigmoves.h"
#include "station.h"

#include TARVIK_FOLLOWER_BEFORE_H

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <vector>

using namespace tarvik;

namespace {

using Clock = std::chrono::steady_clock;
using Millis = std::chrono::duration<double, std::milli>;
constexpr int kTuningHoldMs = 2000; // the new follower's; the old one had none

int fail(const char *what)
{
    std::fprintf(stderr, "bench-rig: %s\n", what);
    return 1;
}

// Lets the event loop run for `ms`, sleeping between events rather than polling.
void runFor(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

double percentile(std::vector<double> sorted, double p)
{
    std::sort(sorted.begin(), sorted.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(sorted.size())));
    return sorted[std::clamp<std::size_t>(rank, 1, sorted.size()) - 1];
}

// As Station::followRadio takes its own follower's frames.
template <class Follower> void drive(Follower *follower, Station *station)
{
    QObject::connect(follower, &Follower::frameDue, station, [follower, station](qint64 hz) {
        if (station->tuneFrequency(hz) == CommandResult::Written)
            follower->noteSent(hz);
    });
}

template <class Follower> Follower *follow(QObject *owner, quint16 port, int settleMs)
{
    auto *follower = new Follower(owner);
    follower->setEndpoint(QStringLiteral("127.0.0.1"), port);
    follower->setSettleMs(settleMs);
    follower->start();
    return follower;
}

// One follower's station and the far end of its line.
struct Line {
    explicit Line(const char *lineName)
        : name(lineName)
    {}

    const char *name;
    test::PtyPeer peer;
    Station *station = nullptr;
    QByteArray got;
    Clock::time_point done;
    std::vector<double> tuning, rest;

    bool start(QObject *owner)
    {
        station = new Station(owner);
        StationSettings s;
        s.comPort = peer.slavePath();
        s.pollMs = 10000;
        station->applySettings(s);
        if (!station->start())
            return false;
        // Only the follower's frames are on the line while a move is timed.
        auto *notifier = new QSocketNotifier(peer.masterFd(), QSocketNotifier::Read, owner);
        QObject::connect(notifier, &QSocketNotifier::activated, owner, [this] {
            got += peer.readAvailable();
            if (got.size() >= 11 && done == Clock::time_point{})
                done = Clock::now();
        });
        return true;
    }

    void quiet() { station->findChild<QTimer *>(QStringLiteral("pollTimer"))->stop(); }

    void rearm()
    {
        peer.readAvailable();
        got.clear();
        done = {};
    }
};

bool waitForFrames(Line *const (&lines)[2])
{
    const QDeadlineTimer deadline(5000);
    while (!deadline.hasExpired()) {
        if (std::all_of(std::begin(lines), std::end(lines),
                        [](const Line *l) { return l->done != Clock::time_point{}; }))
            return true;
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    return false;
}

void report(const char *name, const char *kind, const std::vector<double> &millis)
{
    std::printf("%s_%s_p50_ms=%.1f\n", name, kind, percentile(millis, 0.50));
    std::printf("%s_%s_p99_ms=%.1f\n", name, kind, percentile(millis, 0.99));
}

int followLatency(int settleMs, int bursts)
{
    test::Rigctld rig;
    if (!rig.start() || !rig.set("F 14074000"))
        return fail("rigctld did not start");
    QObject owner;
    Line before("before"), after("after");
    Line *const lines[2] = {&before, &after};
    if (!before.start(&owner) || !after.start(&owner))
        return fail("a station did not open its pseudo-terminal");
    drive(follow<tarvik_before::RigFollower>(&owner, rig.port(), settleMs), before.station);
    drive(follow<RigFollower>(&owner, rig.port(), settleMs), after.station);
    if (!waitForFrames(lines))
        return fail("following sent no first frame");
    QTcpSocket control;
    if (!bench::connectControl(control, rig.port()))
        return fail("cannot reach rigctld");
    Clock::time_point lastMove = Clock::now();
    for (int i = 0; i < 3 * bursts; ++i) {
        for (Line *l : lines)
            l->quiet();
        // At random within the followers' question intervals, so that every phase is met.
        auto *random = QRandomGenerator::global();
        runFor(i % 3 == 0 ? kTuningHoldMs + 300 + int(random->bounded(300))
                          : int(random->bounded(900)));
        for (Line *l : lines)
            l->rearm();
        control.readAll();
        const auto &band = bench::kRigMoves[i % 2];
        const auto t0 = Clock::now();
        const bool tuning = Millis(t0 - lastMove).count() < kTuningHoldMs;
        lastMove = t0;
        control.write(band.command);
        control.flush();
        if (!waitForFrames(lines))
            return fail("a follower sent no frame within 5 s of a move");
        for (Line *l : lines) {
            if (l->got != band.frame)
                return fail("a follower sent the wrong frame");
            (tuning ? l->tuning : l->rest).push_back(Millis(l->done - t0).count());
        }
    }
    std::printf("before=%s\n", TARVIK_FOLLOWER_BEFORE);
    std::printf("settle_ms=%d\n", settleMs);
    std::printf("tuning_moves=%zu\nrest_moves=%zu\n", after.tuning.size(), after.rest.size());
    for (const Line *l : lines) {
        if (l->tuning.empty() || l->rest.empty())
            return fail("the moves did not fall into both kinds");
        report(l->name, "tuning", l->tuning);
        report(l->name, "rest", l->rest);
    }
    return 0;
}

double processCpuMs()
{
    timespec t{};
    ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) * 1000.0 + double(t.tv_nsec) / 1e6;
}

template <class Follower> int idleCpu(quint16 port, int seconds)
{
    QObject owner;
    auto *follower = follow<Follower>(&owner, port, 500);
    QObject::connect(follower, &Follower::frameDue, &owner,
                     [follower](qint64 hz) { follower->noteSent(hz); });
    runFor(5000);
    const double cpu0 = processCpuMs();
    const auto w0 = Clock::now();
    runFor(seconds * 1000);
    const double cpu = processCpuMs() - cpu0;
    const double wall = Millis(Clock::now() - w0).count();
    if (follower->state() != Follower::State::Answering)
        return fail("the rig did not answer while it was measured");
    std::printf("cpu_ms=%.1f\n", cpu);
    std::printf("cpu_percent=%.3f\n", 100.0 * cpu / wall);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = QCoreApplication::arguments();
    if (args.value(1) == u"follow" && args.size() == 4)
        return followLatency(args.value(2).toInt(), args.value(3).toInt());
    if (args.value(1) == u"idle" && args.size() == 5) {
        const auto port = quint16(args.value(3).toUInt());
        const int seconds = args.value(4).toInt();
        if (args.value(2) == u"before")
            return idleCpu<tarvik_before::RigFollower>(port, seconds);
        if (args.value(2) == u"after")
            return idleCpu<RigFollower>(port, seconds);
    }
    std::fprintf(stderr, "usage: bench-rig follow SETTLE_MS BURSTS | "
                         "idle before|after PORT SECONDS\n");
    return 2;
}

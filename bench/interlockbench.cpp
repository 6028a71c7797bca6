// bench-interlock: the transmit interlock against a real rigctld -m 1 -P RIG.
//
//   bench-interlock RUNS
//        refusal CACHE: from rigctld's "T 1" written until a band command (tried every
//          0.5 ms) is first refused, over RUNS keyings, with rigctld started with
//          "-C cache_timeout=0" and with its default cache;
//        held: following (settle 0), a retune found while transmitting, from "T 0"
//          written until its frame can be read on the line, over RUNS keyings;
//        questions: the lines the station writes to rigctld per second over 10 s at
//          rest, through a counting proxy: following alone, armed alone, both.
//
// The dummy rig's PTT is never stale in rigctld's cache (setting it updates the cache),
// so these figures cannot show a real radio's cache delay.
//
// Results are key=value lines on standard output.

#include "ptypeer.h"
#include "rigctld.h"
#include "station.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QRandomGenerator>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QThread>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

using namespace tarvik;

namespace {

double percentile(std::vector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    const auto rank = static_cast<std::size_t>(std::ceil(p * static_cast<double>(v.size())));
    return v[std::clamp<std::size_t>(rank, 1, v.size()) - 1];
}

void runFor(int ms)
{
    for (QDeadlineTimer d(ms); !d.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
}

bool waitFor(const std::function<bool()> &done, int ms = 5000)
{
    for (QDeadlineTimer d(ms); !d.hasExpired();) {
        if (done())
            return true;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
    return done();
}

// A station on a pseudo-terminal of its own; the poll stays out of the way.
struct Bench {
    test::PtyPeer peer;
    QObject owner;
    Station *station = new Station(&owner);

    bool start(quint16 rigPort, bool follow, std::optional<bool> armed)
    {
        StationSettings s;
        s.comPort = peer.slavePath();
        s.pollMs = 10000;
        s.follow = {follow, QStringLiteral("127.0.0.1"), rigPort, 20, 0};
        s.interlock.enabled = armed;
        station->applySettings(s);
        return station->start();
    }
};

void report(const char *key, const std::vector<double> &ms)
{
    std::printf("%s.p50=%.1f\n%s.p99=%.1f\n%s.n=%zu\n", key, percentile(ms, 0.5), key,
                percentile(ms, 0.99), key, ms.size());
}

int refusal(int runs, const char *key, const QString &rigOptions)
{
    test::Rigctld rig;
    Bench b;
    if (!rig.start(rigOptions) || !rig.set("T 0") || !b.start(rig.port(), false, true))
        return 1;
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (!rig.set("T 0") || !waitFor([&] { return b.station->state().ptt == rig::Ptt::Off; }))
            return 1;
        runFor(50 + QRandomGenerator::global()->bounded(100)); // any phase of the 100 ms ask
        b.peer.readAvailable();
        QElapsedTimer t;
        t.start();
        if (!rig.set("T 1"))
            return 1;
        while (b.station->tuneBand(3) != CommandResult::Transmitting && t.elapsed() < 5000) {
            QCoreApplication::processEvents();
            QThread::usleep(500);
            b.peer.readAvailable();
        }
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    report(key, ms);
    return 0;
}

int held(int runs)
{
    test::Rigctld rig;
    Bench b;
    if (!rig.start() || !rig.set("F 14074000") || !b.start(rig.port(), true, true))
        return 1;
    runFor(500);
    std::vector<double> ms;
    for (int i = 0; i < runs; ++i) {
        if (!rig.set("T 1") || !waitFor([&] { return b.station->state().ptt == rig::Ptt::On; }) ||
            !rig.set(i % 2 ? "F 14074000" : "F 21074000"))
            return 1;
        runFor(400);
        b.peer.readAvailable();
        QElapsedTimer t;
        t.start();
        if (!rig.set("T 0"))
            return 1;
        if (b.peer.readExactly(11, 5000).size() != 11)
            return 1;
        ms.push_back(double(t.nsecsElapsed()) / 1e6);
    }
    report("held", ms);
    return 0;
}

// Lines from the station to rigctld, counted on the way through.
struct CountingProxy : QTcpServer {
    quint16 rigPort;
    qint64 lines = 0;
    explicit CountingProxy(quint16 port)
        : rigPort(port)
    {
        connect(this, &QTcpServer::newConnection, this, [this] {
            QTcpSocket *in = nextPendingConnection();
            auto *out = new QTcpSocket(in);
            out->connectToHost(QStringLiteral("127.0.0.1"), rigPort);
            out->waitForConnected(1000);
            connect(in, &QTcpSocket::readyRead, in, [this, in, out] {
                const QByteArray data = in->readAll();
                lines += data.count('\n');
                out->write(data);
            });
            connect(out, &QTcpSocket::readyRead, in, [in, out] { in->write(out->readAll()); });
        });
    }
};

int questions(const char *key, bool follow, bool armed)
{
    test::Rigctld rig;
    if (!rig.start() || !rig.set("T 0"))
        return 1;
    CountingProxy proxy(rig.port());
    Bench b;
    if (!proxy.listen(QHostAddress::LocalHost) || !b.start(proxy.serverPort(), follow, armed))
        return 1;
    runFor(3000); // past the first reading's settle and tuning pace
    const qint64 before = proxy.lines;
    runFor(10000);
    std::printf("%s.per_second=%.1f\n", key, double(proxy.lines - before) / 10.0);
    return 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const int runs = QCoreApplication::arguments().value(1).toInt();
    if (runs < 1) {
        std::fprintf(stderr, "usage: bench-interlock RUNS\n");
        return 2;
    }
    const int failed = refusal(runs, "refusal.cache0", QStringLiteral("-C cache_timeout=0")) +
                       refusal(runs, "refusal.default", {}) + held(runs) +
                       questions("questions.following", true, false) +
                       questions("questions.armed", false, true) +
                       questions("questions.both", true, true);
    std::fflush(stdout);
    return failed ? 1 : 0;
}

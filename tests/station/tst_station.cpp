// The station on a real pseudo-terminal, with no widget anywhere: each command's frame,
// what a poll makes of each reply, a line that goes away and comes back, following a
// real rigctld, and the setup dialog's hold on the line.

#include "bands.h"
#include "commport.h"
#include "frames.h"
#include "looks.h"
#include "ptypeer.h"
#include "rigctld.h"
#include "station.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QSocketNotifier>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>
#include <unistd.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tarvik::LinkCondition)

namespace {
// A station on the peer's pty (or on `comPort`), polling every `pollMs`.
struct Bench {
    PtyPeer peer;
    std::unique_ptr<QObject> owner{new QObject};
    Station *station = new Station(owner.get());

    bool start(StationSettings s = {}, int pollMs = 10000)
    {
        if (s.comPort == StationSettings{}.comPort)
            s.comPort = peer.slavePath();
        s.pollMs = pollMs;
        station->applySettings(s);
        return station->start();
    }
    QTimer *pollTimer() const { return station->findChild<QTimer *>(u"pollTimer"_s); }
    const StationState &state() const { return station->state(); }

    void poll(const QByteArray &r, const QByteArray &early = {})
    {
        pollOnce(*station, peer, r, early);
    }
};

// One step of a command row: a band caption, "f<hz>", a pattern or a command word.
CommandResult act(Station &s, const QString &step)
{
    for (std::size_t i = 0; i < kBands.size(); ++i)
        if (step == QLatin1StringView(kBands[i].caption.data(), kBands[i].caption.size()))
            return s.tuneBand(i);
    if (step.startsWith(u'f'))
        return s.tuneFrequency(step.mid(1).toLongLong());
    if (step.startsWith(u"xo"))
        return s.setTransceiver(step == u"xon");
    const QStringList patterns{u"normal"_s, u"reversed"_s, u"bidirectional"_s};
    if (patterns.contains(step))
        return s.setPattern(proto::Pattern(patterns.indexOf(step)));
    const std::pair<const char *, CommandResult (Station::*)()> commands[] = {
        {"up", &Station::stepUp},          {"dn", &Station::stepDown},
        {"180", &Station::toggleReversed}, {"bidir", &Station::toggleBidirectional},
        {"home", &Station::home},          {"cal", &Station::calibrate}};
    for (const auto &[name, command] : commands)
        if (step == QLatin1StringView(name))
            return (s.*command)();
    return CommandResult::OutOfRange;
}

// A controller that answers each status request after `delayMs`, the reply carrying
// the request's number as its frequency (in 10 Hz units, from 1400000), so that a
// reading says which request it answers. `split` sends the first five bytes at once.
// Commands are echoed.
struct AnsweringPeer {
    PtyPeer &peer;
    int delayMs;
    int splitMs = -1;
    int requests = 0;
    bool answering = true;
    QByteArray frames;
    QSocketNotifier notifier{peer.masterFd(), QSocketNotifier::Read};

    explicit AnsweringPeer(PtyPeer &p, int delay, int split = -1)
        : peer(p)
        , delayMs(delay)
        , splitMs(split)
    {
        QObject::connect(&notifier, &QSocketNotifier::activated, &notifier, [this] { take(); });
    }
    static double mhzOf(int request) { return (1400000 + request) / 100000.0; }
    void take()
    {
        const QByteArray in = peer.readAvailable();
        for (qsizetype i = 0; i < in.size();) {
            if (!in.mid(i).startsWith(kRequest)) {
                frames += in.mid(i, 11);
                peer.write(in.mid(i, 11));
                i += 11;
                continue;
            }
            if (!answering)
                return;
            const QByteArray reply =
                frame(QByteArray::number(1400000 + ++requests, 16).rightJustified(6, '0'));
            QTimer::singleShot(delayMs, Qt::PreciseTimer, &notifier, [this, reply] {
                peer.write(splitMs < 0 ? reply : reply.left(5));
                if (splitMs >= 0)
                    QTimer::singleShot(splitMs, &notifier,
                                       [this, reply] { peer.write(reply.mid(5)); });
            });
            i += kRequest.size();
        }
    }
};

bool pointLink(const QString &link, const QString &target)
{
    QFile::remove(link);
    return ::symlink(QFile::encodeName(target).constData(), QFile::encodeName(link).constData()) ==
           0;
}
} // namespace

class tst_Station : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void command_data()
    {
        QTest::addColumn<bool>("large");        // 6.950 MHz lower limit, not 13.700
        QTest::addColumn<QByteArray>("before"); // a status reply polled first
        QTest::addColumn<QString>("steps");     // all but the last: frames let go
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<int>("band"); // afterwards; -1 none, -2 not checked
        const auto row = [](const QByteArray &tag, bool large, const QByteArray &before,
                            const char *steps, const QByteArray &expected, int band = -2) {
            QTest::newRow(tag.constData())
                << large << before << QString::fromLatin1(steps) << expected << band;
        };
        const QByteArray none;
        const char *const large[] = {"0a9ad8", "0ac1e8", "0f6950", "157048", "1b9e50",
                                     "201ea8", "261218", "2b07a0", "4c4b40"};
        for (int i = 0; i < int(kBands.size()); ++i) {
            const QByteArray b(kBands[i].caption.data(), kBands[i].caption.size());
            row(b + " m, large antenna", true, none, b.constData(), frame(large[i]), i);
        }
        // The toggles decide from the pattern last reported, never from what they sent.
        const QByteArray normal = frame("157048"), reversed = frame("157048", "40"),
                         bidir = frame("157048", "90");
        row("180, nothing reported, large antenna", true, none, "180", frame("0a9ad8", "40"));
        row("180 while normal", false, normal, "180", frame("157048", "40"));
        row("180 while reversed: off", false, reversed, "180", frame("157048", "00"));
        row("180 while bidirectional", false, bidir, "180", frame("157048", "40"));
        row("180 twice before a poll", false, none, "20 180 180", frame("157048", "40"));
        row("BiDir while normal", false, normal, "bidir", frame("157048", "80"));
        row("BiDir while reversed", false, reversed, "bidir", frame("157048", "80"));
        row("BiDir while bidirectional: off", false, bidir, "bidir", frame("157048", "00"));
        row("set reversed while reversed", false, reversed, "reversed", frame("157048", "40"));
        row("set bidirectional", false, normal, "bidirectional", frame("157048", "80"));
        row("set normal while bidirectional", false, bidir, "normal", frame("157048", "00"));
        row("the pattern rides on a band", false, none, "bidirectional 17", frame("1b9e50", "80"));
        row("home, reversed", false, none, "reversed home", frame("000000", "40", "53"));
        row("cal, bidirectional", false, none, "bidirectional cal", frame("000000", "80", "56"));
        row("home keeps the frequency", false, none, "12 home up", frame("2625a0"));
        row("UP from nothing", false, none, "up", frame("14e790"));
        row("UP from 10 m", false, none, "10 up", frame("2b1b28"), 7); // the band stays lit
        row("DN at the small limit", false, none, "80 dn", frame("14e790"));
        row("DN at the large limit", true, none, "80 dn", frame("0a9ad8"));
        row("UP from a reading of 8.00002 MHz", true, frame("0c3502"), "up", frame("0c488a"));
        row("UP from FFFFFF stays there", false, frame("ffffff"), "up", frame("ffffff"));
        row("1.8 MHz, small antenna", false, none, "f1800000", frame("14e790"), -1);
        row("1.8 MHz, large antenna", true, none, "f1800000", frame("0a9ad8"), -1);
        row("54 MHz", false, none, "f54000000", frame("5265c0"), 8);
        row("14.074005 MHz rounds to 10 Hz", false, none, "f14074005", frame("1579a9"), 3);
        row("between the bands", true, none, "f11000000", frame("10c8e0"), -1);
        row("under 1.8 MHz", false, none, "20 f1799999", none, 3);
        row("over 54 MHz", false, none, "20 f54000001", none, 3);
    }

    // The last step sends `expected` once, and polling resumes a whole interval later.
    void command()
    {
        QFETCH(bool, large);
        QFETCH(QByteArray, before);
        QFETCH(QString, steps);
        QFETCH(QByteArray, expected);
        QFETCH(int, band);
        Bench b;
        StationSettings s;
        s.largeAntenna = large;
        QVERIFY(b.start(s, 2000));
        b.pollTimer()->stop();
        b.peer.collect(10);
        if (!before.isEmpty())
            b.poll(before);
        const QStringList list = steps.split(u' ');
        for (const QString &step : list) {
            b.peer.readAvailable();
            QCOMPARE(act(*b.station, step) == CommandResult::Written,
                     step != list.last() || !expected.isEmpty());
            if (step != list.last())
                QCOMPARE(b.peer.readExactly(11).size(), 11);
        }
        QCOMPARE(b.peer.readExactly(expected.size()).toHex(' '), expected.toHex(' '));
        QCOMPARE(b.peer.collect(30), QByteArray()); // once, and no poll straight after
        QVERIFY(b.pollTimer()->isActive() || expected.isEmpty());
        QVERIFY(b.pollTimer()->remainingTime() > 1000 || expected.isEmpty());
        if (band != -2)
            QCOMPARE(b.state().band, band < 0 ? std::nullopt : std::optional<std::size_t>(band));
    }

    void reply_data()
    {
        QTest::addColumn<QByteArray>("before"); // polled first
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<LinkCondition>("link");
        QTest::addColumn<double>("mhz");       // 0: no reading yet
        QTest::addColumn<int>("pattern");      // -1: none reported
        QTest::addColumn<QByteArray>("early"); // waiting on the line before the request
        const QByteArray none, reversed = frame("157048", "40");
        const auto row = [](const char *tag, const QByteArray &before, const QByteArray &reply,
                            LinkCondition link, double mhz, int pattern,
                            const QByteArray &early = {}) {
            QTest::newRow(tag) << before << reply << link << mhz << pattern << early;
        };
        // Each status code's pattern and flags, and a refused header, are the looks table's.
        using L = LinkCondition;
        row("a tail without its header", reversed, reversed.mid(5), L::NotUnderstood, 14.05, 1);
        row("half a frame is no answer", none, frame("157048").left(5), L::Waiting, 0, -1);
        row("stray bytes after a good reply", frame("157048") + "\x12\x34\x56",
            frame("1b9e50", "80"), L::Answering, 18.1, 2);
        row("stray bytes just before the request", none, frame("157048"), L::Answering, 14.05, 0,
            "\x12\x34\x56");
        row("the request echoed", none, kRequest + frame("157048"), L::Answering, 14.05, 0);
    }

    void reply()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, reply);
        QFETCH(double, mhz);
        QFETCH(int, pattern);
        QFETCH(QByteArray, early);
        Bench b;
        QVERIFY(b.start());
        b.pollTimer()->stop();
        if (!before.isEmpty())
            b.poll(before);
        b.poll(reply, early);
        const StationState &s = b.state();
        QTEST(s.link, "link");
        QCOMPARE(s.readingMHz.value_or(0), mhz);
        QCOMPARE(s.pattern ? int(*s.pattern) : -1, pattern);
        // A refused reply leaves the last one read showing.
        const QByteArray shown = s.link == LinkCondition::NotUnderstood ? before : reply;
        QCOMPARE(s.replyHex, QString::fromLatin1(shown.mid(shown.indexOf('@')).toHex().toUpper()));
        QVERIFY(!s.silent);
    }

    // The condition stays through silence; `silent` tells it from the third empty poll.
    // Setup, or a line lost and reopened, starts the count and its clock afresh.
    void silence_data()
    {
        QTest::addColumn<QString>("pause");
        QTest::newRow("unbroken") << QString();
        QTest::newRow("after Setup") << u"setup"_s;
        QTest::newRow("after a reopened line") << u"line"_s;
    }
    void silence()
    {
        QFETCH(QString, pause);
        Bench b;
        QVERIFY(b.start({}, 1000)); // the lost line is tried again 1 s later
        b.pollTimer()->stop();
        for (const QByteArray &reply : {frame("157048"), QByteArray(), QByteArray()})
            b.poll(reply);
        QVERIFY(!b.state().silent); // two missed replies are a busy moment
        QTest::qWait(2000);
        if (pause == u"setup") {
            b.station->suspend();
            QVERIFY(b.station->resume());
        } else if (pause == u"line") {
            Q_EMIT b.station->port().serialPort()->errorOccurred(QSerialPort::ResourceError);
            QTRY_COMPARE(b.state().link, LinkCondition::Waiting); // reopened
        }
        b.pollTimer()->stop(); // a first poll on reopening may have gone: still under three
        QTRY_VERIFY(!b.station->findChild<QTimer *>(u"replyDeadline"_s)->isActive());
        b.peer.readAvailable(); // that poll's request
        b.poll({});
        QCOMPARE(b.state().silent, pause.isEmpty());
        for (int i = 0; i < 2 && !pause.isEmpty(); ++i)
            b.poll({});
        QVERIFY(b.state().silent);
        QCOMPARE(b.state().silentSeconds >= 2, pause.isEmpty()); // 2 s: room for a busy machine
        for (int i = 0; i < 20; ++i) { // every good reply starts the count again
            b.poll(i % 2 ? QByteArray() : frame("157048"));
            QCOMPARE(b.state().silent, false);
            QCOMPARE(b.state().silentSeconds, 0);
        }
    }

    // Each tick waits for the reply to its own request and shows it, however slow within
    // the window the controller answers, and under 19 commands a second (echoed by the
    // peer) at least every two intervals; a peer that then stops is silent within six
    // intervals and the window. No reply is lost, none is a tick late; a reply, or its
    // rest, after the window is never shown. A command while the tick waits goes out.
    void replyWait_data()
    {
        QTest::addColumn<int>("delayMs");
        QTest::addColumn<int>("splitMs");  // -1: whole; else the rest after this
        QTest::addColumn<int>("polls");    // 0: one tick, -1: one tick and a command in it
        QTest::addColumn<int>("pollMs");   // the window is nine tenths of it
        QTest::addColumn<int>("commands"); // a second
        QTest::addColumn<int>("baud");
        QTest::addColumn<QString>("shown"); // the reply as far as a late tick read it
        const auto row = [](const char *tag, int delay, int split, int polls, int pollMs,
                            int commands = 0, int baud = 4800, const char *shown = "") {
            QTest::newRow(tag) << delay << split << polls << pollMs << commands << baud
                               << QString::fromLatin1(shown);
        };
        row("answered after 30 ms", 30, -1, 10, kPollMin);
        row("answered at once", 0, -1, 50, kPollMin);
        row("answered 150 ms late", 150, -1, 30, 500);
        row("answered 300 ms late", 300, -1, 30, 500);
        row("300 ms late, polled every 200 ms", 300, -1, 10, kPollMin);
        row("19 commands a second at 1200 baud", 0, -1, 5, 500, 19, 1200);
        row("19 commands a second at 4800 baud", 0, -1, 5, 500, 19);
        row("the rest after the window", 0, 1900, 0, 2000, 0, 4800, "404100155C");
        row("a whole reply after the window", 1900, -1, 0, 2000);
        row("a command meanwhile, echoed", 300, -1, -1, 1000, 0, 4800, "404100155CC1000031300D");
    }
    void replyWait()
    {
        QFETCH(int, delayMs);
        QFETCH(int, splitMs);
        QFETCH(int, polls);
        QFETCH(int, pollMs);
        QFETCH(int, commands);
        Bench b;
        AnsweringPeer controller(b.peer, delayMs, splitMs);
        QSignalSpy changed(b.station, &Station::stateChanged);
        QFETCH(int, baud);
        StationSettings line;
        line.lineSettings = u"%1,n,8,1"_s.arg(baud);
        QVERIFY(b.start(line, pollMs));
        QTimer stream;
        QObject::connect(&stream, &QTimer::timeout, b.station,
                         [&] { QCOMPARE(b.station->stepUp(), CommandResult::Written); });
        if (commands > 0)
            stream.start(1000 / commands);
        QElapsedTimer since;
        since.start();
        for (int seen = 0; seen < polls;) {
            QVERIFY(changed.wait(3000));
            for (; !changed.isEmpty(); changed.removeFirst()) {
                const auto state = changed.first().first().value<StationState>();
                if (!state.readingMHz || *state.readingMHz == AnsweringPeer::mhzOf(seen))
                    continue;
                QCOMPARE(*state.readingMHz, AnsweringPeer::mhzOf(controller.requests));
                QCOMPARE(*state.readingMHz, AnsweringPeer::mhzOf(++seen)); // none skipped
                QVERIFY(state.link == LinkCondition::Answering && !state.silent);
                QCOMPARE_LT(since.restart(), 3 * pollMs + 500); // two intervals, the window
            }
        }
        controller.answering = commands == 0; // then stops
        if (commands > 0)
            QTRY_VERIFY_WITH_TIMEOUT(b.state().silent, 7 * pollMs + 1000);
        if (polls > 0)
            return;
        QTimer *wait = b.station->findChild<QTimer *>(u"replyDeadline"_s);
        QTRY_VERIFY_WITH_TIMEOUT(wait->isActive(), 2 * pollMs);
        if (polls < 0) {
            QCOMPARE(b.station->stepUp(), CommandResult::Written);
            QVERIFY(wait->isActive());
            QTRY_COMPARE(controller.frames, frame("14e790"));
        }
        QTRY_VERIFY_WITH_TIMEOUT(!wait->isActive(), pollMs);
        QTEST(b.state().replyHex, "shown");
        QTRY_VERIFY_WITH_TIMEOUT(controller.requests >= 2 && !wait->isActive(), 3 * pollMs);
        QCOMPARE(b.state().readingMHz.has_value(), polls < 0);
        QCOMPARE(b.state().link, polls < 0 ? LinkCondition::Answering : LinkCondition::Waiting);
    }

    // A reply that opens with a wrong header is answered by a fresh request in the same
    // tick, and the good frame that answers that one is read.
    void headerSearch()
    {
        Bench b;
        QVERIFY(b.start());
        b.pollTimer()->start(0); // one tick now, the next 10 s later
        QCOMPARE(b.peer.readExactly(3), kRequest);
        b.peer.write("\x12\x34\x56");
        QCOMPARE(b.peer.readExactly(3), kRequest);
        b.peer.write(frame("1b9e50"));
        QTRY_COMPARE(b.state().readingMHz, std::optional<double>(18.1));
        QCOMPARE(b.state().link, LinkCondition::Answering);
    }

    void lost_data()
    {
        QTest::addColumn<bool>("atStart"); // else the far end hangs up (a pulled adapter: silence)
        QTest::newRow("far end hangs up") << false;
        QTest::newRow("not there at start, plugged in 3 s later") << true;
    }

    // Through a symbolic link, as /dev/serial/by-id names an adapter: a device lost or
    // not there at start is tried quietly once a poll interval and asked for its status
    // as soon as the link points at a device again.
    void lost()
    {
        QFETCH(bool, atStart);
        QTemporaryDir dir;
        const QString link = dir.filePath(u"line"_s);
        Bench b;
        StationSettings s;
        s.comPort = link;
        PtyPeer fresh;
        PtyPeer &back = atStart ? b.peer : fresh;
        if (atStart) {
            QVERIFY(!b.start(s, 200));
            QCOMPARE(b.state().link, LinkCondition::Absent);
            QTest::qWait(3000);
        } else {
            QVERIFY(pointLink(link, b.peer.slavePath()) && b.start(s, 200));
            QVERIFY(b.peer.readExactly(3).startsWith(kRequest)); // a busy machine may send two
            b.peer.write(frame("157048"));
            QTRY_COMPARE(b.state().link, LinkCondition::Answering);
            b.peer.closeMaster();
            QTRY_COMPARE(b.state().link, LinkCondition::Lost);
        }
        QVERIFY(!b.pollTimer()->isActive());
        back.readAvailable();
        QVERIFY(pointLink(link, back.slavePath()));
        QElapsedTimer appeared;
        appeared.start();
        QVERIFY(back.readExactly(3).startsWith(kRequest)); // reopened and polling
        qInfo("first poll %lld ms after the device appeared", appeared.elapsed());
        QVERIFY(appeared.elapsed() < 200 + 500); // one interval, and room for a busy machine
        back.write(frame("157048"));
        QTRY_COMPARE(b.state().link, LinkCondition::Answering);
    }

    // The threshold counts from the last frame written, not from the last reading; a
    // retune the line refused while the setup dialog held it goes out after it closes.
    // Found while the radio transmits, both wait, and each goes out once after PTT drops
    // and HoldAfterTxMs passes.
    void followsTheRadio()
    {
        Rigctld rig;
        QVERIFY(rig.start() && rig.set("F 14074000"));
        Bench b;
        StationSettings s;
        s.follow = {true, u"127.0.0.1"_s, rig.port(), 20, 0};
        s.interlock.holdAfterTxMs = 400;
        QVERIFY(b.start(s));
        const struct {
            const char *set;
            QByteArray expected;
        } moves[] = {
            {"F 14074000", frame("1579a8")},
            {"F 14090000", {}},
            {"F 14105000", frame("1585c4")}, // 31 kHz from the frame, 15 from the reading
            {"F 14080000", frame("157c00")}, // back: 25 kHz from the frame, 6 from the first
        };
        for (const auto &m : moves) {
            QVERIFY(rig.set(m.set));
            if (m.expected.isEmpty())
                QCOMPARE(b.peer.collect(800), QByteArray());
            else
                QCOMPARE(b.peer.readExactly(11).toHex(' '), m.expected.toHex(' '));
        }
        QCOMPARE(b.state().followState, RigFollower::State::Answering);
        b.station->suspend();
        QVERIFY(!b.pollTimer()->isActive());
        QVERIFY(rig.set("F 21074000"));
        QSignalSpy refused(&b.station->follower(), &RigFollower::frameDue);
        QVERIFY(refused.wait(2000));
        QCOMPARE(b.state().band, std::optional<std::size_t>(3)); // refused: unchanged
        QVERIFY(b.station->resume());
        QCOMPARE(b.peer.readExactly(22).toHex(' '), (frame("157c00") + frame("202808")).toHex(' '));
        QCOMPARE(b.state().band, std::optional<std::size_t>(5));

        QVERIFY(rig.set("T 1"));
        QTRY_VERIFY(b.state().ptt == rig::Ptt::On);
        b.station->suspend();
        QVERIFY(b.station->resume());
        QVERIFY(rig.set("F 14074000"));
        QCOMPARE(b.peer.collect(500), QByteArray());
        QElapsedTimer dropped;
        QVERIFY(rig.set("T 0"));
        dropped.start();
        QCOMPARE(b.peer.readExactly(22).toHex(' '), (frame("202808") + frame("1579a8")).toHex(' '));
        QVERIFY2(dropped.elapsed() >= 400, QByteArray::number(dropped.elapsed()));
        QCOMPARE(b.peer.collect(600), QByteArray());
    }

    // Armed on a real rigctld, keyed or away: each moving command's result (Dis Xcvr, which
    // goes out, is the panel's test); a refused command never goes out later.
    void interlock_data()
    {
        QTest::addColumn<bool>("away");   // rigctld stopped, else keyed with "T 1"
        QTest::addColumn<bool>("refuse"); // WhenUnknown=refuse
        QTest::addColumn<int>("result");  // of each moving command
        QTest::newRow("transmitting") << false << false << int(CommandResult::Transmitting);
        QTest::newRow("rigctld stopped, allow") << true << false << int(CommandResult::Written);
        QTest::newRow("rigctld stopped, refuse")
            << true << true << int(CommandResult::TransmitUnknown);
    }
    void interlock()
    {
        QFETCH(bool, away);
        QFETCH(bool, refuse);
        QFETCH(int, result);
        Rigctld rig;
        QVERIFY(rig.start() && rig.set(away ? "T 0" : "T 1"));
        Bench b;
        StationSettings s;
        s.follow.port = rig.port();
        s.interlock = {true, 0, refuse};
        QVERIFY(b.start(s));
        QTRY_VERIFY(b.state().ptt == (away ? rig::Ptt::Off : rig::Ptt::On));
        if (away)
            rig.kill();
        QTRY_VERIFY(b.state().ptt == (away ? rig::Ptt::Unknown : rig::Ptt::On));
        const LampState tx = lampLooks(b.state())[4].state; // beside Radio
        QCOMPARE(tx.colour, away ? u"grey"_s : u"red"_s);
        QCOMPARE(tx.note.contains(u"cannot see the radio"_s), away);
        for (const char *step :
             {"20", "f21074000", "up", "dn", "180", "bidir", "home", "cal", "xon"}) {
            QCOMPARE(int(act(*b.station, QString::fromLatin1(step))), result);
            if (result == int(CommandResult::Written))
                QCOMPARE(b.peer.readExactly(11).size(), 11);
        }
        QCOMPARE(b.peer.collect(200), QByteArray());
        if (away)
            return;
        QCOMPARE(b.state().band, std::optional<std::size_t>()); // the refused band left no lamp
        QVERIFY(rig.set("T 0"));
        QTRY_COMPARE(lampLooks(b.state())[4].state.colour, u"green"_s);
        QCOMPARE(b.peer.collect(300), QByteArray()); // refused means refused
        QCOMPARE(act(*b.station, u"20"_s), CommandResult::Written);
        QCOMPARE(b.peer.readExactly(11).toHex(' '), frame("157048").toHex(' '));
    }

    // --rig follows for this run only; choosing another place ends that.
    void runOnlyRig()
    {
        Bench b;
        QVERIFY(b.start());
        QSignalSpy stored(b.station, &Station::settingsChanged);
        b.station->followRigForThisRun({u"127.0.0.1"_s, 1});
        QVERIFY(b.state().following);
        QCOMPARE(b.station->follower().port(), quint16(1));
        b.station->setFollowing(false);
        b.station->setFollowing(true);
        QCOMPARE(stored.size(), 0);
        QVERIFY(!b.station->settings().follow.enabled);
        FollowSettings elsewhere = b.station->followSettings();
        elsewhere.port = 2;
        b.station->setFollowSettings(elsewhere);
        QCOMPARE(b.station->follower().port(), quint16(2));
        QVERIFY(b.station->settings().follow.enabled); // still on, and now stored
        QCOMPARE(stored.size(), 1);
        b.station->setFollowing(false);
        QCOMPARE(stored.size(), 2);
        QVERIFY(!b.state().following && !b.station->follower().isFollowing());
    }

    // The setup dialog's calls: stored at once, applied on resume with one frame.
    void suspended()
    {
        Bench b;
        QVERIFY(b.start({}, 500));
        QCOMPARE(b.station->tuneBand(3), CommandResult::Written);
        QCOMPARE(b.peer.readExactly(11), frame("157048"));
        b.station->suspend();
        QSignalSpy stored(b.station, &Station::settingsChanged);
        for (const char *step : {"home", "cal", "up", "80", "xon"})
            QCOMPARE(act(*b.station, QString::fromLatin1(step)), CommandResult::HeldBySetup);
        b.station->setLargeAntenna(true);
        b.station->setPollInterval(600);
        b.station->setLineSettings(u"9600,n,8,1"_s);
        QVERIFY(!b.station->choosePort(u"/nonexistent/tarvik-port"_s));
        QVERIFY(b.station->choosePort(b.peer.slavePath()));
        QCOMPARE(stored.size(), 4);
        QVERIFY(!b.pollTimer()->isActive());
        QCOMPARE(b.peer.collect(600), QByteArray()); // no frame and no poll while held
        QVERIFY(b.station->resume());
        QCOMPARE(b.peer.readExactly(11).toHex(' '), frame("157048").toHex(' ')); // not 80 m
        QCOMPARE(b.pollTimer()->interval(), 600);
        QVERIFY(b.pollTimer()->remainingTime() > 400);
        QCOMPARE(b.state().link, LinkCondition::Waiting);
        const termios line = b.peer.attributes();
        QCOMPARE(::cfgetospeed(&line), speed_t(B9600));
    }
};

QTEST_GUILESS_MAIN(tst_Station)
#include "tst_station.moc"

// Following the radio against a real rigctld and a scripted peer; the answer parser's edges
// are the fuzz corpus's. Its waits (settle, back-off) end when the test says, not by the clock.

#include "rigctld.h"
#include "rigendpoint.h"
#include "rigfollower.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

using namespace tarvik;
using State = RigFollower::State;

namespace {
// One move of the rig and the frame due once the settle is over; kNone proves none comes.
struct Step {
    QByteArray command;
    qint64 frame;
};
using Steps = QList<Step>;
constexpr qint64 kNone = 0;
constexpr int kForeverMs = 3'600'000; // a settle that only the test ends

// A follower whose frames the station takes as it does, and a rigctld not yet started.
struct Following {
    test::Rigctld rigctld;
    RigFollower follower{nullptr};
    QSignalSpy frames{&follower, &RigFollower::frameDue};

    void follow(quint16 port, int settleMs = kForeverMs)
    {
        QObject::connect(&follower, &RigFollower::frameDue, &follower,
                         [this](qint64 hz) { follower.noteSent(hz); });
        follower.setEndpoint(QStringLiteral("127.0.0.1"), port);
        follower.setSettleMs(settleMs);
        follower.start();
    }
    // The rig on 14.074 MHz, followed until that first frame is out.
    bool start(int settleMs)
    {
        if (!rigctld.start() || !rigctld.set("F 14074000"))
            return false;
        follow(rigctld.port(), settleMs);
        return QTest::qWaitFor([this] { return frames.count() == 1; }) && last() == 14074000;
    }
    qint64 last() const { return frames.last().at(0).toLongLong(); }
    QTimer *timer(const char *name) { return follower.findChild<QTimer *>(QLatin1String(name)); }
    // The follower's wait is over now, as if its time had passed.
    void elapse(const char *name)
    {
        if (timer(name)->isActive())
            timer(name)->start(0);
        QTRY_VERIFY(!timer(name)->isActive());
    }
};
} // namespace

Q_DECLARE_METATYPE(Steps)

class TestRigFollower : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // --rig's argument: "host:port" as the result shows it, "" where it is refused.
    void endpoint()
    {
        const char *rows[][2] = {{"shack", "shack:4532"},
                                 {"shack:4533", "shack:4533"},
                                 {"[::1]:4534", "::1:4534"},
                                 {"[::1]", "::1:4532"},
                                 {"::1", "::1:4532"},
                                 {"shack:", ""},
                                 {"shack:0", ""},
                                 {"shack:65536", ""},
                                 {"shack:+45", ""},
                                 {"[::1]4534", ""},
                                 {"[::1", ""},
                                 {"sh ack", ""},
                                 {"", ""}};
        for (const auto &[text, expected] : rows) {
            const auto e = rig::parseEndpoint(QString::fromLatin1(text));
            QCOMPARE(e ? e->host + u':' + QString::number(e->port) : QString(),
                     QString::fromLatin1(expected));
        }
    }

    void follows_data()
    {
        QTest::addColumn<int>("settleMs");
        QTest::addColumn<Steps>("steps");
        // Every row starts with the rig on 14.074 MHz, which goes out at once, settle or not.
        const auto row = [](const char *name, const Steps &steps, int settleMs = kForeverMs) {
            QTest::newRow(name) << settleMs << steps;
        };
        row("under the threshold", {{"F 14093999", kNone}});
        row("at the threshold", {{"F 14094000", 14094000}});
        row("band edges", {{"F 1800000", 1800000}, {"F 54000000", 54000000}});
        row("past the edges", {{"F 1799999", kNone}, {"F 54000001", kNone}});
        row("back into range", {{"F 144000000", kNone}, {"F 7074000", 7074000}});
    }

    void follows()
    {
        QFETCH(int, settleMs);
        QFETCH(Steps, steps);
        Following f;
        QVERIFY(f.start(settleMs));
        qsizetype expected = 1;
        for (const Step &step : steps) {
            const QString before = f.follower.statusText(); // every move shows there
            QVERIFY(f.rigctld.set(step.command));
            QTRY_VERIFY(f.follower.statusText() != before);
            f.elapse("rigSettle"); // the frame, if any, is decided here
            expected += step.frame > 0;
            QCOMPARE(f.frames.count(), expected);
            if (step.frame > 0)
                QCOMPARE(f.last(), step.frame);
        }
    }

    // A VFO spun in 10 kHz steps every 40 ms for 1 s, then left: asked every 50 ms, the
    // settle from the last step seen, one frame for where it stopped; then every 250 ms.
    void spin()
    {
        Following f;
        QVERIFY(f.start(kForeverMs));
        QElapsedTimer sinceLastStep;
        for (qint64 hz = 14084000; hz <= 14324000; hz += 10000) {
            QTest::qWait(40);
            QVERIFY(f.rigctld.set("F " + QByteArray::number(hz)));
            sinceLastStep.start();
        }
        QTRY_VERIFY(f.follower.statusText().contains(QStringLiteral("14.324000 MHz")));
        QCOMPARE(f.timer("rigPoll")->interval(), 50);
        // Restarted by the last step it saw, which came after the last step was set.
        QVERIFY(f.timer("rigSettle")->remainingTime() >= kForeverMs - sinceLastStep.elapsed() - 1);
        f.elapse("rigSettle");
        QCOMPARE(f.frames.count(), 2);
        QCOMPARE(f.last(), 14324000);
        f.elapse("rigTuning");
        QCOMPARE(f.timer("rigPoll")->interval(), 250);
    }

    void rigctldComesAndGoes()
    {
        Following f;
        f.follow(f.rigctld.port());
        QTRY_COMPARE(f.follower.state(), State::NotAnswering);
        QCOMPARE(f.follower.statusText(),
                 QStringLiteral("127.0.0.1:%1: Connection refused").arg(f.rigctld.port()));
        for (int expected : {1, 2}) { // the same frequency again: only a new connection sends it
            QVERIFY(f.rigctld.start() && f.rigctld.set("F 14074000"));
            f.elapse("rigRetry"); // or a later retry, should one have begun meanwhile
            QTRY_COMPARE_WITH_TIMEOUT(f.frames.count(), expected, 15000);
            QCOMPARE(f.last(), 14074000);
            QCOMPARE(f.follower.state(), State::Answering);
            f.rigctld.kill();
            QTRY_COMPARE(f.follower.state(), State::NotAnswering);
        }
        f.follower.stop();
        QCOMPARE(f.follower.state(), State::Off);
    }

    void badPeer_data()
    {
        QTest::addColumn<QByteArray>("pttAnswer");
        QTest::addColumn<QByteArray>("frequencyAnswer");
        QTest::addColumn<State>("state");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("frames");
        const auto row = [](const char *name, const QByteArray &ptt, const QByteArray &frequency,
                            State state, const char *status, int frameCount) {
            QTest::newRow(name) << ptt << frequency << state << QString::fromLatin1(status)
                                << frameCount;
        };
        const QByteArray noPtt = "RPRT -11\n";
        const State lost = State::NotAnswering, fine = State::Answering;
        row("never answers", "", "", lost, "no answer within 1 s", 0);
        row("garbage", noPtt, "banana\n", lost, "\"banana\" is not a frequency", 0);
        row("overlong line", noPtt, QByteArray(257, '1') + '\n', lost, "a line over 256 bytes", 0);
        row("overlong, no end", noPtt, QByteArray(300, '1'), lost, "a line over 256 bytes", 0);
        row("longest line", noPtt, QByteArray(248, '0') + "14074000\n", fine, "14.074000 MHz", 1);
        row("PTT unknown is receiving", noPtt, "14074000.0\n", fine, "MHz, PTT not reported", 1);
        row("transmitting holds the frame", "1\n", "14074000\n", fine, "MHz, transmitting", 0);
    }

    void badPeer()
    {
        QFETCH(QByteArray, pttAnswer);
        QFETCH(QByteArray, frequencyAnswer);
        QFETCH(State, state);
        QFETCH(QString, status);
        QFETCH(int, frames);
        QTcpServer peer;
        QVERIFY(peer.listen(QHostAddress::LocalHost));
        int mostAsked = 0; // questions waiting at once: the next is asked once one is answered
        connect(&peer, &QTcpServer::newConnection, &peer, [&] {
            QTcpSocket *socket = peer.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                mostAsked = qMax(mostAsked, int(socket->peek(1024).count('\n')));
                while (socket->canReadLine())
                    socket->write(socket->readLine() == "t\n" ? pttAnswer : frequencyAnswer);
            });
        });
        Following f;
        f.follow(peer.serverPort());
        QTRY_COMPARE(f.follower.state(), state);
        QVERIFY2(f.follower.statusText().contains(status), qPrintable(f.follower.statusText()));
        QCOMPARE(f.frames.count(), frames); // a first reading is judged as it arrives
        QCOMPARE(mostAsked, 1);
    }
};

QTEST_GUILESS_MAIN(TestRigFollower)
#include "tst_rigfollower.moc"

// Following the radio: the answer parser, then the follower against a real rigctld
// and against a scripted peer that answers badly or not at all. The follower's waits
// (settle, back-off) end when the test says so, never by the machine's speed.

#include "rigctld.h"
#include "rigendpoint.h"
#include "rigfollower.h"
#include "rigreply.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>

#include <algorithm>
#include <memory>

using namespace tarvik;
using State = RigFollower::State;

namespace {
// One move of the rig and the frame following must send for it once the settle is
// over; kNone proves none comes.
struct Step {
    QByteArray command;
    qint64 frame;
};
using Steps = QList<Step>;
constexpr qint64 kNone = 0;
constexpr int kForeverMs = 3'600'000; // a settle that only the test ends
const QString kHost = QStringLiteral("127.0.0.1");

QTimer *timer(RigFollower &follower, const char *name)
{
    return follower.findChild<QTimer *>(QLatin1String(name));
}

// The follower's wait is over now, as if its time had passed.
void elapse(RigFollower &follower, const char *name)
{
    QTimer *t = timer(follower, name);
    if (t->isActive()) {
        t->start(0);
        QTRY_VERIFY(!t->isActive());
    }
}

// Frames as the station takes them: each one written, so the threshold counts from it.
std::unique_ptr<QSignalSpy> frameSpy(RigFollower &follower)
{
    QObject::connect(&follower, &RigFollower::frameDue, &follower,
                     [&follower](qint64 hz) { follower.noteSent(hz); });
    return std::make_unique<QSignalSpy>(&follower, &RigFollower::frameDue);
}
} // namespace

Q_DECLARE_METATYPE(Steps)

class TestRigFollower : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parser_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<qint64>("hz"); // -1: no reading
        QTest::addColumn<rig::Ptt>("ptt");
        const auto row = [](const char *name, const char *line, qint64 hz, rig::Ptt ptt) {
            QTest::newRow(name) << QByteArray(line) << hz << ptt;
        };
        using rig::Ptt;
        row("whole hertz", "14074000", 14074000, Ptt::Unknown);
        row("zeros after the point", "14074000.000000", 14074000, Ptt::Unknown);
        row("leading zeros", "0014074000", 14074000, Ptt::Unknown);
        row("a fraction of a hertz", "14074000.5", -1, Ptt::Unknown);
        row("point, nothing after", "14074000.", -1, Ptt::Unknown);
        row("point, nothing before", ".0", -1, Ptt::Unknown);
        row("negative", "-14074000", -1, Ptt::Unknown);
        row("plus sign", "+14074000", -1, Ptt::Unknown);
        row("leading space", " 14074000", -1, Ptt::Unknown);
        row("carriage return", "14074000\r", -1, Ptt::Unknown);
        row("letter O for zero", "14O74000", -1, Ptt::Unknown);
        row("empty", "", -1, Ptt::Unknown);
        row("error report", "RPRT -11", -1, Ptt::Unknown);
        row("300 GHz", "300000000000", 300000000000, Ptt::Unknown);
        row("above 300 GHz", "300000000001", -1, Ptt::Unknown);
        row("25 digits", "9999999999999999999999999", -1, Ptt::Unknown);
        row("PTT off", "0", 0, Ptt::Off);
        row("PTT on", "1", 1, Ptt::On);
        row("PTT on, microphone", "2", 2, Ptt::On);
        row("PTT on, data", "3", 3, Ptt::On);
        row("no such PTT", "4", 4, Ptt::Unknown);
        row("PTT with its newline", "1\n", -1, Ptt::Unknown);
        row("PTT as a fraction", "0.0", 0, Ptt::Unknown);
    }

    void parser()
    {
        QFETCH(QByteArray, line);
        QFETCH(qint64, hz);
        QFETCH(rig::Ptt, ptt);
        QCOMPARE(rig::parseFrequency(line).value_or(-1), hz);
        QCOMPARE(rig::parsePtt(line), ptt);
    }

    // --rig's argument: "host:port" as the result shows it, "" where it is refused.
    void endpoint()
    {
        const char *rows[][2] = {
            {"shack", "shack:4532"},
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
            {"", ""},
        };
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
        // Every row starts with the rig on 14.074 MHz, which goes out at once.
        const int forever = kForeverMs;
        QTest::newRow("first reading ignores the settle") << forever << Steps{};
        QTest::newRow("under the threshold") << forever << Steps{{"F 14093999", kNone}};
        QTest::newRow("at the threshold") << forever << Steps{{"F 14094000", 14094000}};
        QTest::newRow("no settle") << 0 << Steps{{"F 21074000", 21074000}};
        QTest::newRow("144 MHz") << forever << Steps{{"F 144000000", kNone}};
        QTest::newRow("band edges")
            << forever << Steps{{"F 1800000", 1800000}, {"F 54000000", 54000000}};
        QTest::newRow("past the edges")
            << forever << Steps{{"F 1799999", kNone}, {"F 54000001", kNone}};
        QTest::newRow("back into range")
            << forever << Steps{{"F 144000000", kNone}, {"F 7074000", 7074000}};
        QTest::newRow("held while transmitting")
            << forever << Steps{{"T 1", kNone}, {"F 14200000", kNone}, {"T 0", 14200000}};
    }

    void follows()
    {
        QFETCH(int, settleMs);
        QFETCH(Steps, steps);
        test::Rigctld rigctld;
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, rigctld.port());
        follower.setSettleMs(settleMs);
        const auto frames = frameSpy(follower);
        follower.start();
        QTRY_COMPARE(frames->count(), 1);
        QCOMPARE(frames->at(0).at(0).toLongLong(), 14074000);
        QCOMPARE(follower.state(), State::Answering);
        qsizetype expected = 1;
        for (const Step &step : steps) {
            const QString before = follower.statusText(); // every move shows there
            QVERIFY(rigctld.set(step.command));
            QTRY_VERIFY(follower.statusText() != before);
            elapse(follower, "rigSettle"); // the frame, if any, is decided here
            expected += step.frame > 0;
            QTRY_COMPARE(frames->count(), expected);
            if (step.frame > 0)
                QCOMPARE(frames->last().at(0).toLongLong(), step.frame);
        }
    }

    // A VFO spun in 10 kHz steps every 40 ms for 1 s, then left: the follower asks every
    // 50 ms while it turns, the settle counts from the last step it saw, and one frame
    // goes out, for where the knob stopped. Then, 2 s on, it asks every 250 ms again.
    void spin()
    {
        test::Rigctld rigctld;
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, rigctld.port());
        follower.setSettleMs(kForeverMs);
        const auto frames = frameSpy(follower);
        follower.start();
        QTRY_COMPARE(frames->count(), 1);
        QElapsedTimer sinceLastStep;
        for (qint64 hz = 14084000; hz <= 14324000; hz += 10000) {
            QTest::qWait(40);
            QVERIFY(rigctld.set("F " + QByteArray::number(hz)));
            sinceLastStep.start();
        }
        QTRY_VERIFY(follower.statusText().contains(QStringLiteral("14.324000 MHz")));
        QCOMPARE(timer(follower, "rigPoll")->interval(), 50);
        // Restarted by the last step it saw, which came after the last step was set.
        QVERIFY(timer(follower, "rigSettle")->remainingTime() >=
                kForeverMs - sinceLastStep.elapsed() - 1);
        QCOMPARE(frames->count(), 1);
        elapse(follower, "rigSettle");
        QCOMPARE(frames->count(), 2);
        QCOMPARE(frames->last().at(0).toLongLong(), 14324000);
        elapse(follower, "rigTuning");
        QCOMPARE(timer(follower, "rigPoll")->interval(), 250);
    }

    void rigctldComesAndGoes()
    {
        test::Rigctld rigctld;
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, rigctld.port());
        const auto frames = frameSpy(follower);
        follower.start();
        QTRY_COMPARE(follower.state(), State::NotAnswering);
        QCOMPARE(follower.statusText(),
                 QStringLiteral("127.0.0.1:%1: Connection refused").arg(rigctld.port()));
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        elapse(follower, "rigRetry"); // or a later retry, should one have begun meanwhile
        QTRY_COMPARE_WITH_TIMEOUT(frames->count(), 1, 15000);
        rigctld.kill();
        QTRY_COMPARE(follower.state(), State::NotAnswering);
        // The same frequency again: only a connection that came back sends it.
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        elapse(follower, "rigRetry");
        QTRY_COMPARE_WITH_TIMEOUT(frames->count(), 2, 15000);
        QCOMPARE(frames->last().at(0).toLongLong(), 14074000);
        QCOMPARE(follower.state(), State::Answering);
        follower.stop();
        QCOMPARE(follower.state(), State::Off);
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
        row("never answers", "", "", State::NotAnswering, "no answer within 1 s", 0);
        row("garbage", noPtt, "banana\n", State::NotAnswering, "\"banana\" is not a frequency", 0);
        row("negative", noPtt, "-14074000\n", State::NotAnswering, "\"-14074000\" is not", 0);
        row("error report", noPtt, "RPRT -1\n", State::NotAnswering, "\"RPRT -1\" is not", 0);
        row("overlong line", noPtt, QByteArray(257, '1') + '\n', State::NotAnswering,
            "a line over 256 bytes", 0);
        row("overlong, no end", noPtt, QByteArray(300, '1'), State::NotAnswering,
            "a line over 256 bytes", 0);
        row("longest line", noPtt, QByteArray(248, '0') + "14074000\n", State::Answering,
            "14.074000 MHz", 1);
        row("PTT unknown is not transmitting", noPtt, "14074000.000000\n", State::Answering,
            "14.074000 MHz, PTT not reported", 1);
        row("transmitting holds the frame", "1\n", "14074000\n", State::Answering,
            "14.074000 MHz, transmitting", 0);
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
                mostAsked = std::max(mostAsked, int(socket->peek(1024).count('\n')));
                while (socket->canReadLine())
                    socket->write(socket->readLine() == "t\n" ? pttAnswer : frequencyAnswer);
            });
        });
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, peer.serverPort());
        const auto due = frameSpy(follower);
        follower.start();
        QTRY_COMPARE(follower.state(), state);
        QVERIFY2(follower.statusText().contains(status), qPrintable(follower.statusText()));
        QCOMPARE(due->count(), frames); // a first reading is judged as it arrives
        QCOMPARE(mostAsked, 1);
    }
};

QTEST_GUILESS_MAIN(TestRigFollower)
#include "tst_rigfollower.moc"

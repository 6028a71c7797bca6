// Following the radio: the answer parser, then the follower against a real rigctld
// and against a scripted peer that answers badly or not at all.

#include "rigctld.h"
#include "rigendpoint.h"
#include "rigfollower.h"
#include "rigreply.h"

#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

using namespace tarvik;
using State = RigFollower::State;

namespace {
// One move of the rig and the frame following must send for it: kNone proves none
// comes once the settle is over, kLater checks nothing (the next move comes first).
struct Step {
    QByteArray command;
    qint64 frame;
};
using Steps = QList<Step>;
constexpr qint64 kNone = 0;
constexpr qint64 kLater = -1;
const QString kHost = QStringLiteral("127.0.0.1");
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
        QTest::newRow("first reading ignores the settle") << 60000 << Steps{};
        QTest::newRow("under the threshold") << 300 << Steps{{"F 14093999", kNone}};
        QTest::newRow("at the threshold") << 300 << Steps{{"F 14094000", 14094000}};
        QTest::newRow("no settle") << 0 << Steps{{"F 21074000", 21074000}};
        QTest::newRow("144 MHz") << 300 << Steps{{"F 144000000", kNone}};
        QTest::newRow("band edges")
            << 300 << Steps{{"F 1800000", 1800000}, {"F 54000000", 54000000}};
        QTest::newRow("past the edges")
            << 300 << Steps{{"F 1799999", kNone}, {"F 54000001", kNone}};
        QTest::newRow("back into range")
            << 300 << Steps{{"F 144000000", kNone}, {"F 7074000", 7074000}};
        QTest::newRow("held while transmitting")
            << 300 << Steps{{"T 1", kNone}, {"F 14200000", kNone}, {"T 0", 14200000}};
        Steps spin;
        for (qint64 hz = 14124000; hz <= 14524000; hz += 50000) // 9 moves, then the 10th
            spin << Step{"F " + QByteArray::number(hz), kLater};
        spin << Step{"F 14574000", 14574000};
        QTest::newRow("spin through ten") << 1000 << spin;
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
        QSignalSpy frames(&follower, &RigFollower::frameDue);
        follower.start();
        QTRY_COMPARE(frames.count(), 1);
        QCOMPARE(frames.at(0).at(0).toLongLong(), 14074000);
        QCOMPARE(follower.state(), State::Answering);
        qsizetype expected = 1;
        for (const Step &step : steps) {
            const QString before = follower.statusText(); // every move shows there
            QVERIFY(rigctld.set(step.command));
            QTRY_VERIFY(follower.statusText() != before);
            if (step.frame == kNone)
                QTest::qWait(settleMs + 600);
            if (step.frame == kLater)
                continue;
            expected += step.frame > 0;
            QTRY_COMPARE(frames.count(), expected);
            if (step.frame > 0)
                QCOMPARE(frames.last().at(0).toLongLong(), step.frame);
        }
    }

    void rigctldComesAndGoes()
    {
        test::Rigctld rigctld;
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, rigctld.port());
        QSignalSpy frames(&follower, &RigFollower::frameDue);
        follower.start();
        QTRY_COMPARE(follower.state(), State::NotAnswering);
        QCOMPARE(follower.statusText(),
                 QStringLiteral("127.0.0.1:%1: Connection refused").arg(rigctld.port()));
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        QTRY_COMPARE_WITH_TIMEOUT(frames.count(), 1, 6000);
        rigctld.kill();
        QTRY_COMPARE(follower.state(), State::NotAnswering);
        // The same frequency again: only a connection that came back sends it.
        QVERIFY(rigctld.start());
        QVERIFY(rigctld.set("F 14074000"));
        QTRY_COMPARE_WITH_TIMEOUT(frames.count(), 2, 6000);
        QCOMPARE(frames.last().at(0).toLongLong(), 14074000);
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
        connect(&peer, &QTcpServer::newConnection, &peer, [&] {
            QTcpSocket *socket = peer.nextPendingConnection();
            connect(socket, &QTcpSocket::readyRead, socket, [&, socket] {
                while (socket->canReadLine())
                    socket->write(socket->readLine() == "t\n" ? pttAnswer : frequencyAnswer);
            });
        });
        RigFollower follower(nullptr);
        follower.setEndpoint(kHost, peer.serverPort());
        QSignalSpy due(&follower, &RigFollower::frameDue);
        follower.start();
        QTRY_COMPARE(follower.state(), state);
        QVERIFY2(follower.statusText().contains(status), qPrintable(follower.statusText()));
        QCOMPARE(due.count(), frames); // a first reading is judged as it arrives
    }
};

QTEST_GUILESS_MAIN(TestRigFollower)
#include "tst_rigfollower.moc"

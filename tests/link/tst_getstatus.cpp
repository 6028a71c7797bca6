#include "commport.h"
#include "frequencytext.h"
#include "getstatus.h"
#include "protocol.h"
#include "ptypeer.h"

#include <QMap>
#include <QTest>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
QString shownFrequency(const StatusPoll &poll)
{
    return poll.reading ? formatMHz(poll.reading->mhz, QLocale::c()) : QString();
}
} // namespace

class tst_GetStatus : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void decodesFrame_data();
    void decodesFrame();
    void unknownCodeLeavesDirectionLamps();
    void emptyBufferChangesNothing();
    void wrongHeaderTurnsLampRed();
    void frameSplitAcrossTicks();
    void headerAloneLeavesTheBox();
    void babblingLineEndsTheTick();
    void closedPortEndsQuietly();

private:
    void feed(const QByteArray &bytes);

    test::PtyPeer *m_peer = nullptr;
    CommPort *m_port = nullptr;
};

void tst_GetStatus::init()
{
    m_peer = new test::PtyPeer;
    QVERIFY(m_peer->isValid());
    m_port = new CommPort(this);
    m_port->setRunOverride(m_peer->slavePath());
    QVERIFY(m_port->open());
}

void tst_GetStatus::cleanup()
{
    delete m_port;
    m_port = nullptr;
    delete m_peer;
    m_peer = nullptr;
}

void tst_GetStatus::feed(const QByteArray &bytes)
{
    const qint64 before = m_port->serialPort()->bytesAvailable();
    m_peer->write(bytes);
    QTRY_COMPARE(m_port->serialPort()->bytesAvailable(), before + bytes.size());
}

void tst_GetStatus::decodesFrame_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<double>("sndFreq");
    QTest::addColumn<bool>("tuningGrey");
    QTest::addColumn<bool>("reversedRed");
    QTest::addColumn<bool>("bidirRed");
    QTest::addColumn<bool>("retractingRed");

    QTest::newRow("14.050 reversed idle")
        << QByteArray::fromHex("40410015704800403130 0d") << u"14.050"_s << 1405000.0 << true
        << false << true << false;
    QTest::newRow("7 MHz has a leading zero")
        << QByteArray::fromHex("4041000aae6000003130 0d") << u"07.000"_s << 700000.0 << true << true
        << true << false;
    QTest::newRow("moving shows red TUNING")
        << QByteArray::fromHex("40410015704801003130 0d") << u"14.050"_s << 1405000.0 << false
        << true << true << false;
    QTest::newRow("bidirectional retracting")
        << QByteArray::fromHex("40410015704800903130 0d") << u"14.050"_s << 1405000.0 << true
        << true << false << true;
    QTest::newRow("reversed idle variant 55")
        << QByteArray::fromHex("40410015704800553130 0d") << u"14.050"_s << 1405000.0 << true
        << false << true << false;
    QTest::newRow("normal retracting 25")
        << QByteArray::fromHex("40410015704800253130 0d") << u"14.050"_s << 1405000.0 << true
        << true << true << true;
    QTest::newRow("A5 upper-case code")
        << QByteArray::fromHex("4041002b07a001a53130 0d") << u"28.200"_s << 2820000.0 << false
        << true << false << true;
}

void tst_GetStatus::decodesFrame()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, shown);
    QFETCH(double, sndFreq);
    QFETCH(bool, tuningGrey);
    QFETCH(bool, reversedRed);
    QFETCH(bool, bidirRed);
    QFETCH(bool, retractingRed);

    feed(reply);
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::Reading);

    QCOMPARE(m_peer->readExactly(3), QByteArray::fromHex("3f410d"));
    QCOMPARE(shownFrequency(poll), shown);
    QCOMPARE(double(poll.reading->units), sndFreq);
    QCOMPARE(poll.wrongHeaders, 0);
    QCOMPARE(!poll.reading->moving, tuningGrey);
    QVERIFY(poll.reading->code);
    QCOMPARE(poll.reading->code->pattern != proto::Pattern::Reversed, reversedRed);
    QCOMPARE(poll.reading->code->pattern != proto::Pattern::Bidirectional, bidirRed);
    QCOMPARE(poll.reading->code->retracting, retractingRed);
    // All 22 digits are there to show; the 0D trailer shows as two digits.
    QVERIFY(poll.bodyRead);
    QCOMPARE(poll.replyHex, QString::fromLatin1(reply.toHex().toUpper()));
    QCOMPARE(poll.rxByteHex, u"0D"_s);
}

void tst_GetStatus::unknownCodeLeavesDirectionLamps()
{
    feed(QByteArray::fromHex("40410015704800803130 0d"));
    StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::Reading);
    QCOMPARE(poll.reading->code->pattern, proto::Pattern::Bidirectional);

    feed(QByteArray::fromHex("40410015704800303130 0d"));
    poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::Reading);
    QVERIFY(!poll.reading->code);
}

void tst_GetStatus::emptyBufferChangesNothing()
{
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::NothingRead);
    QCOMPARE(poll.wrongHeaders, 0);
    QVERIFY(!poll.bodyRead);
    QVERIFY(poll.rxByteHex.isEmpty());
    QCOMPARE(m_peer->readExactly(3), QByteArray::fromHex("3f410d"));
}

void tst_GetStatus::wrongHeaderTurnsLampRed()
{
    feed(QByteArray::fromHex("410015704800403130 0d"));
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::BadHeader);
    QCOMPARE(poll.wrongHeaders, 1);
    // The rest of the bad reply was discarded and the request went out again (the
    // repeat discards the transmit buffer first, so the first one may never leave).
    QCOMPARE(m_port->serialPort()->bytesAvailable(), 0);
    QVERIFY(m_peer->collect(30).endsWith(QByteArray::fromHex("3f410d")));
}

void tst_GetStatus::frameSplitAcrossTicks()
{
    feed(QByteArray::fromHex("4041001570"));
    StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::NothingRead); // not green for half a frame
    QVERIFY(poll.bodyRead);
    QCOMPARE(poll.replyHex, u"4041001570"_s);
    QVERIFY(shownFrequency(poll).isEmpty());

    // The tail arrives and is read by the next tick like any other bytes: no header.
    feed(QByteArray::fromHex("4800403130 0d"));
    poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::BadHeader);

    feed(QByteArray::fromHex("40410015704800403130 0d"));
    poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::Reading);
    QCOMPARE(shownFrequency(poll), u"14.050"_s);
}

void tst_GetStatus::headerAloneLeavesTheBox()
{
    feed(QByteArray::fromHex("404100"));
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::NothingRead);
    QVERIFY(!poll.bodyRead);
    QCOMPARE(poll.wrongHeaders, 0);
}

void tst_GetStatus::babblingLineEndsTheTick()
{
    QByteArray noise(2000, '\x41');
    feed(noise);
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::BadHeader);
    const QByteArray requests = m_peer->collect(50);
    QVERIFY(requests.size() >= 3);
    QVERIFY(requests.size() <= 3 * proto::kMaxHeaderSearches);
}

void tst_GetStatus::closedPortEndsQuietly()
{
    m_port->close();
    const StatusPoll poll = GetStatus(*m_port);
    QCOMPARE(poll.outcome, StatusPoll::Outcome::NothingRead);
    QVERIFY(!poll.requested);
    QCOMPARE(m_peer->collect(30), QByteArray());
}

QTEST_GUILESS_MAIN(tst_GetStatus)
#include "tst_getstatus.moc"

#include "commport.h"
#include "getstatus.h"
#include "protocol.h"
#include "ptypeer.h"

#include <QMap>
#include <QTest>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
// Records what the poll shows, element by element, starting from the panel's
// designed state.
struct RecordingDisplay : StatusDisplay {
    QMap<Front, bool> front{{Front::ConnectedRed, true},   {Front::TuningGrey, true},
                            {Front::RetractingRed, false}, {Front::ReversedRed, true},
                            {Front::BidirRed, true},       {Front::ThreeQuarterRed, true}};
    QStringList received;
    QString frequency;
    int calls = 0;
    void setFrontVisible(Front e, bool v) override
    {
        front[e] = v;
        ++calls;
    }
    void showReceived(const QString &hex) override
    {
        received << hex;
        ++calls;
    }
    void showFrequency(double mhz) override
    {
        frequency = formatMHz(mhz, QLocale::c());
        ++calls;
    }
};
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
    PanelState m_state;
};

void tst_GetStatus::init()
{
    m_peer = new test::PtyPeer;
    QVERIFY(m_peer->isValid());
    m_port = new CommPort(this);
    m_port->setRunOverride(m_peer->slavePath());
    QVERIFY(m_port->open());
    m_state = PanelState();
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
    RecordingDisplay d;
    QVERIFY(GetStatus(*m_port, m_state, d));

    QCOMPARE(m_peer->readExactly(3), QByteArray::fromHex("3f410d"));
    QCOMPARE(d.frequency, shown);
    QCOMPARE(*m_state.sndFreq, sndFreq);
    QCOMPARE(d.front[Front::ConnectedRed], false);
    QCOMPARE(d.front[Front::TuningGrey], tuningGrey);
    QCOMPARE(d.front[Front::ReversedRed], reversedRed);
    QCOMPARE(d.front[Front::BidirRed], bidirRed);
    QCOMPARE(d.front[Front::ThreeQuarterRed], true);
    QCOMPARE(d.front[Front::RetractingRed], retractingRed);
    // The box is written once, with all 22 digits; the 0D trailer shows as two digits.
    QCOMPARE(d.received.size(), 1);
    QCOMPARE(d.received.last(), QString::fromLatin1(reply.toHex().toUpper()));
    QCOMPARE(m_state.replyHex.size(), 22);
}

void tst_GetStatus::unknownCodeLeavesDirectionLamps()
{
    RecordingDisplay d;
    feed(QByteArray::fromHex("40410015704800803130 0d"));
    QVERIFY(GetStatus(*m_port, m_state, d));
    QCOMPARE(d.front[Front::BidirRed], false);

    d.front[Front::RetractingRed] = true;
    feed(QByteArray::fromHex("40410015704800303130 0d"));
    QVERIFY(GetStatus(*m_port, m_state, d));
    QCOMPARE(d.front[Front::BidirRed], false);
    QCOMPARE(d.front[Front::ReversedRed], true);
    QCOMPARE(d.front[Front::RetractingRed], false);
}

void tst_GetStatus::emptyBufferChangesNothing()
{
    RecordingDisplay d;
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.calls, 0);
    QCOMPARE(m_peer->readExactly(3), QByteArray::fromHex("3f410d"));
}

void tst_GetStatus::wrongHeaderTurnsLampRed()
{
    RecordingDisplay d;
    d.front[Front::ConnectedRed] = false;
    feed(QByteArray::fromHex("410015704800403130 0d"));
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.front[Front::ConnectedRed], true);
    // The rest of the bad reply was discarded and the request went out again (the
    // repeat discards the transmit buffer first, so the first one may never leave).
    QCOMPARE(m_port->serialPort()->bytesAvailable(), 0);
    QVERIFY(m_peer->collect(30).endsWith(QByteArray::fromHex("3f410d")));
}

void tst_GetStatus::frameSplitAcrossTicks()
{
    RecordingDisplay d;
    feed(QByteArray::fromHex("4041001570"));
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.received, QStringList({u"4041001570"_s}));
    QCOMPARE(d.front[Front::ConnectedRed], true); // not turned green by half a frame
    QVERIFY(d.frequency.isEmpty());

    // The tail arrives and is read by the next tick like any other bytes: no header.
    feed(QByteArray::fromHex("4800403130 0d"));
    d.front[Front::ConnectedRed] = false;
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.front[Front::ConnectedRed], true);

    feed(QByteArray::fromHex("40410015704800403130 0d"));
    QVERIFY(GetStatus(*m_port, m_state, d));
    QCOMPARE(d.frequency, u"14.050"_s);
}

void tst_GetStatus::headerAloneLeavesTheBox()
{
    RecordingDisplay d;
    feed(QByteArray::fromHex("404100"));
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QVERIFY(d.received.isEmpty());
    QCOMPARE(d.front[Front::ConnectedRed], true);
}

void tst_GetStatus::babblingLineEndsTheTick()
{
    QByteArray noise(2000, '\x41');
    feed(noise);
    RecordingDisplay d;
    d.front[Front::ConnectedRed] = false;
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.front[Front::ConnectedRed], true);
    const QByteArray requests = m_peer->collect(50);
    QVERIFY(requests.size() >= 3);
    QVERIFY(requests.size() <= 3 * proto::kMaxHeaderSearches);
}

void tst_GetStatus::closedPortEndsQuietly()
{
    m_port->close();
    RecordingDisplay d;
    QVERIFY(!GetStatus(*m_port, m_state, d));
    QCOMPARE(d.calls, 0);
    QCOMPARE(m_peer->collect(30), QByteArray());
}

QTEST_GUILESS_MAIN(tst_GetStatus)
#include "tst_getstatus.moc"

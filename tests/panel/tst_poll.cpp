// The status poll as the panel shows it: indicators, their accessible descriptions,
// the frequency display, and the timers around it.

#include "panelfixture.h"

#include <QLineEdit>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
const QByteArray kReversedIdle = QByteArray::fromHex("40410015704800403130 0d");
} // namespace

class tst_Poll : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void tickShowsTheController();
    void indicatorsFollowEachFrame_data();
    void indicatorsFollowEachFrame();
    void unchangedPollAnnouncesNothing();
    void silenceKeepsLastState();
    void wrongHeaderTurnsConnectedRed();
    void commaLocale();
    void data2TarvikLeavesItsTraces();
    void retractSequenceTimers();
    void nothingTheOperatorReachesStartsTheStatusTimers();

private:
    frm_main &startIdle(PanelFixture &f);
};

void tst_Poll::init()
{
    QLocale::setDefault(QLocale::c());
}

frm_main &tst_Poll::startIdle(PanelFixture &f)
{
    frm_main &w = f.start();
    w.Timer1()->stop();
    return w;
}

void tst_Poll::tickShowsTheController()
{
    PanelFixture f;
    f.preset(Key::Poll, u"200"_s);
    frm_main &w = f.start();
    f.reply(kReversedIdle);
    // The real timer runs the poll.
    QTRY_COMPARE(w.Text3()->text(), u"14.050"_s);
    QCOMPARE(w.Text1()->text(), u"40410015704800403130 0D"_s.remove(u' '));
    QCOMPARE(w.indicator(u"Connected"_s)->colourName(), u"green"_s);
    QCOMPARE(w.indicator(u"180 lamp"_s)->colourName(), u"green"_s);
    QCOMPARE(w.indicator(u"BiDir lamp"_s)->colourName(), u"red"_s);
    QCOMPARE(w.indicator(u"3/4 lamp"_s)->colourName(), u"red"_s);
    QCOMPARE(w.indicator(u"TUNING"_s)->colourName(), u"grey"_s);
    QCOMPARE(w.indicator(u"RETRACTING"_s)->colourName(), u"grey"_s);
    QCOMPARE(w.sndFreq(), std::optional<double>(1405000));
}

void tst_Poll::indicatorsFollowEachFrame_data()
{
    QTest::addColumn<QByteArray>("reply");
    QTest::addColumn<QString>("tuning");
    QTest::addColumn<QString>("retracting");
    QTest::addColumn<QString>("lamp180");
    QTest::addColumn<QString>("lampBid");
    QTest::newRow("moving") << QByteArray::fromHex("40410015704801003130 0d") << u"red"_s
                            << u"grey"_s << u"red"_s << u"red"_s;
    QTest::newRow("bidirectional retracting") << QByteArray::fromHex("40410015704800903130 0d")
                                              << u"grey"_s << u"red"_s << u"red"_s << u"green"_s;
    QTest::newRow("reversed 55") << QByteArray::fromHex("40410015704800553130 0d") << u"grey"_s
                                 << u"grey"_s << u"green"_s << u"red"_s;
    QTest::newRow("normal retracting 25") << QByteArray::fromHex("40410015704800253130 0d")
                                          << u"grey"_s << u"red"_s << u"red"_s << u"red"_s;
}

void tst_Poll::indicatorsFollowEachFrame()
{
    QFETCH(QByteArray, reply);
    QFETCH(QString, tuning);
    QFETCH(QString, retracting);
    QFETCH(QString, lamp180);
    QFETCH(QString, lampBid);
    PanelFixture f;
    frm_main &w = startIdle(f);
    f.reply(reply);
    w.Timer1_Timer();
    QCOMPARE(w.indicator(u"TUNING"_s)->colourName(), tuning);
    QCOMPARE(w.indicator(u"RETRACTING"_s)->colourName(), retracting);
    QCOMPARE(w.indicator(u"180 lamp"_s)->colourName(), lamp180);
    QCOMPARE(w.indicator(u"BiDir lamp"_s)->colourName(), lampBid);
    QCOMPARE(w.indicator(u"3/4 lamp"_s)->colourName(), u"red"_s);
    // What assistive technology reads is what shows.
    for (const char *name : {"TUNING", "RETRACTING", "180 lamp", "BiDir lamp"}) {
        Indicator *i = w.indicator(QString::fromLatin1(name));
        QCOMPARE(i->accessibleDescription(), i->colourName());
    }
}

void tst_Poll::unchangedPollAnnouncesNothing()
{
    PanelFixture f;
    frm_main &w = startIdle(f);
    QList<QObject *> changed;
    for (Indicator *i : w.findChildren<Indicator *>())
        QObject::connect(i, &Indicator::colourChanged, i, [&changed, i] { changed << i; });
    f.reply(kReversedIdle);
    w.Timer1_Timer();
    QCOMPARE(changed.size(), 2);
    QVERIFY(changed.contains(w.indicator(u"180 lamp"_s)));
    QVERIFY(changed.contains(w.indicator(u"Connected"_s)));
    changed.clear();
    f.reply(kReversedIdle);
    w.Timer1_Timer();
    QCOMPARE(w.Text3()->text(), u"14.050"_s);
    QVERIFY(changed.isEmpty());
}

void tst_Poll::silenceKeepsLastState()
{
    PanelFixture f;
    frm_main &w = startIdle(f);
    f.reply(QByteArray::fromHex("40410015704801903130 0d"));
    w.Timer1_Timer();
    w.Timer1_Timer(); // nothing waiting
    QCOMPARE(w.indicator(u"Connected"_s)->colourName(), u"green"_s);
    QCOMPARE(w.indicator(u"TUNING"_s)->colourName(), u"red"_s);
    QCOMPARE(w.indicator(u"BiDir lamp"_s)->colourName(), u"green"_s);
    QCOMPARE(w.Text3()->text(), u"14.050"_s);
}

void tst_Poll::wrongHeaderTurnsConnectedRed()
{
    PanelFixture f;
    frm_main &w = startIdle(f);
    f.reply(kReversedIdle);
    w.Timer1_Timer();
    f.reply(QByteArray::fromHex("410015704800403130 0d"));
    w.Timer1_Timer();
    Indicator *lamp = w.indicator(u"Connected"_s);
    QCOMPARE(lamp->colourName(), u"red"_s);
    QCOMPARE(lamp->accessibleDescription(), u"red"_s);
    QCOMPARE(w.indicator(u"180 lamp"_s)->colourName(), u"green"_s);
}

void tst_Poll::commaLocale()
{
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    PanelFixture f;
    frm_main &w = startIdle(f);
    f.reply(QByteArray::fromHex("4041000aae6000003130 0d"));
    w.Timer1_Timer();
    QCOMPARE(w.Text3()->text(), u"07,000"_s);
}

void tst_Poll::data2TarvikLeavesItsTraces()
{
    PanelFixture f;
    frm_main &w = startIdle(f);
    w.Timer1()->start();
    w.setSndFreq(1369999);
    w.setSndCmd(u"52"_s);
    w.Data2Tarvik();
    QCOMPARE(f.peer.readExactly(11), QByteArray::fromHex("40410014e79000005230 0d"));
    QCOMPARE(w.sndFreq(), std::optional<double>(1370000));
    QCOMPARE(w.state().freqHex, u"14E790"_s);
    QCOMPARE(w.sndCmd(), u"31"_s);
    QVERIFY(!w.Timer1()->isActive());
}

void tst_Poll::retractSequenceTimers()
{
    PanelFixture f;
    frm_main &w = startIdle(f);
    w.setSndFreq(1405000);

    w.Timer2_Timer();
    QCOMPARE(w.Text3()->text(), u"Retracted"_s);
    QCOMPARE(w.Text3()->font().pointSize(), 16);
    QCOMPARE(f.store->value(Key::Retracted), u"1"_s);
    QVERIFY(!w.Timer2()->isActive());

    w.Timer3_Timer();
    QCOMPARE(f.peer.readExactly(11), QByteArray::fromHex("40410015704800005230 0d"));
    QVERIFY(!w.Timer3()->isActive());
    QVERIFY(w.Timer4()->isActive());

    w.Timer4_Timer();
    QCOMPARE(f.peer.readExactly(11), QByteArray::fromHex("40410015704800003130 0d"));
    QCOMPARE(f.store->value(Key::Retracted), u"0"_s);
    QCOMPARE(w.retracted(), u"0"_s);
    QVERIFY(w.Timer1()->isActive());
    QVERIFY(!w.Timer4()->isActive());
}

void tst_Poll::nothingTheOperatorReachesStartsTheStatusTimers()
{
    PanelFixture f;
    frm_main &w = f.start();
    const auto buttons = w.findChildren<QPushButton *>();
    for (QPushButton *b : buttons)
        b->click();
    for (const char *name : {"mnuCompact", "mnuFull", "mnuDiag", "mnu20", "mnu6"})
        w.action(QString::fromLatin1(name))->trigger();
    QVERIFY(!w.Timer2()->isActive());
    QVERIFY(!w.Timer3()->isActive());
    QVERIFY(!w.Timer4()->isActive());
    QVERIFY(w.Timer1()->isActive());
}

QTEST_MAIN(tst_Poll)
#include "tst_poll.moc"

// The panel against the simulated controller, as `tarvik-desk --simulate` runs it:
// every command shows up on the panel through the poll alone.

#include "controllersimulator.h"
#include "panelfixture.h"

#include <QLineEdit>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Simulated : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void bandKeyTunesAndShowsTuning();
    void directionTogglesFollowTheController();
    void homeShowsRetracting();
    void stepsMoveTheDisplay();

private:
    void startOnSimulator();

    ControllerSimulator *m_sim = nullptr;
    std::unique_ptr<PanelFixture> m_fixture;
};

void tst_Simulated::init()
{
    m_sim = new ControllerSimulator(this);
    QVERIFY2(m_sim->start(), qPrintable(m_sim->errorString()));
    m_fixture = std::make_unique<PanelFixture>();
}

void tst_Simulated::cleanup()
{
    m_fixture.reset();
    delete m_sim;
    m_sim = nullptr;
}

void tst_Simulated::startOnSimulator()
{
    m_fixture->preset(Key::Poll, u"200"_s);
    m_fixture->window = std::make_unique<frm_main>(m_fixture->store);
    frm_main &w = *m_fixture->window;
    w.setPortOverride(m_sim->devicePath());
    w.Form_Load();
    w.show();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"Connected"_s)->colourName(), u"green"_s, 10000);
}

void tst_Simulated::bandKeyTunesAndShowsTuning()
{
    startOnSimulator();
    if (QTest::currentTestFailed())
        return;
    frm_main &w = *m_fixture->window;
    QTest::keyClick(&w, Qt::Key_F12); // 6 m: a long way from 20 m, so the move is seen
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"TUNING"_s)->colourName(), u"red"_s, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w.Text3()->text(), u"50.000"_s, 20000);
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"TUNING"_s)->colourName(), u"grey"_s, 10000);
    QCOMPARE(w.indicator(u"6 m lamp"_s)->colourName(), u"green"_s);
}

void tst_Simulated::directionTogglesFollowTheController()
{
    startOnSimulator();
    if (QTest::currentTestFailed())
        return;
    frm_main &w = *m_fixture->window;
    QTest::keyClick(&w, Qt::Key_1, Qt::AltModifier); // 180
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"180 lamp"_s)->colourName(), u"green"_s, 10000);
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier); // BiDir
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"BiDir lamp"_s)->colourName(), u"green"_s, 10000);
    QCOMPARE(w.indicator(u"180 lamp"_s)->colourName(), u"red"_s);
    QTest::keyClick(&w, Qt::Key_B, Qt::AltModifier); // lit, so back to normal
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"BiDir lamp"_s)->colourName(), u"red"_s, 10000);
    QCOMPARE(m_sim->direction(), 0x00);
}

void tst_Simulated::homeShowsRetracting()
{
    startOnSimulator();
    if (QTest::currentTestFailed())
        return;
    frm_main &w = *m_fixture->window;
    QTest::keyClick(&w, Qt::Key_H, Qt::AltModifier);
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"RETRACTING"_s)->colourName(), u"red"_s, 10000);
    QTRY_COMPARE_WITH_TIMEOUT(w.indicator(u"RETRACTING"_s)->colourName(), u"grey"_s, 10000);
    QVERIFY(m_sim->isRetracted());
}

void tst_Simulated::stepsMoveTheDisplay()
{
    startOnSimulator();
    if (QTest::currentTestFailed())
        return;
    frm_main &w = *m_fixture->window;
    const QString before = w.Text3()->text();
    QTest::mouseClick(w.button(u"cmdUP"_s), Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(w.Text3()->text() != before, 10000);
    const double shown = QLocale::c().toDouble(w.Text3()->text());
    QTRY_COMPARE_WITH_TIMEOUT(m_sim->frequency(), m_sim->targetFrequency(), 10000);
    QVERIFY(shown > before.toDouble());
}

QTEST_MAIN(tst_Simulated)
#include "tst_simulated.moc"

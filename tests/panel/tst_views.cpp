// The View menu, the On Top box and the window's place.

#include "panelfixture.h"

#include <QCheckBox>
#include <QMenuBar>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Views : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void viewCommand_data();
    void viewCommand();
    void lastViewChosenWins();
    void viewKeepsHandSetWidth();
    void onTopKeepsPlaceAndSize();
    void positionRestoredInTwips();
};

void tst_Views::viewCommand_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("checked");
    QTest::addColumn<QString>("style");
    QTest::addColumn<QString>("height");
    QTest::addColumn<int>("clientTwips");
    QTest::newRow("F3 compact") << int(Qt::Key_F3) << u"mnuCompact"_s << u"0"_s << u"2175"_s
                                << 1485;
    QTest::newRow("F4 full") << int(Qt::Key_F4) << u"mnuFull"_s << u"1"_s << u"3195"_s << 2505;
    QTest::newRow("F5 diagnostics")
        << int(Qt::Key_F5) << u"mnuDiag"_s << u"2"_s << u"3930"_s << 3240;
}

void tst_Views::viewCommand()
{
    QFETCH(int, key);
    QFETCH(QString, checked);
    QFETCH(QString, style);
    QFETCH(QString, height);
    QFETCH(int, clientTwips);
    PanelFixture f;
    f.preset(Key::Style, u"1"_s); // start somewhere else
    frm_main &w = f.start();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key(key));
    for (const char *name : {"mnuCompact", "mnuFull", "mnuDiag"})
        QCOMPARE(w.action(QString::fromLatin1(name))->isChecked(), checked == QLatin1String(name));
    QCOMPARE(f.store->value(Key::Style), style);
    QCOMPARE(f.store->value(Key::Height), height);
    QVERIFY2(qAbs(w.clientHeightTwips() - clientTwips) < 15,
             qPrintable(QString::number(w.clientHeightTwips())));
}

void tst_Views::lastViewChosenWins()
{
    PanelFixture f;
    frm_main &w = f.start();
    w.action(u"mnuDiag"_s)->trigger();
    w.action(u"mnuCompact"_s)->trigger();
    QVERIFY(w.action(u"mnuCompact"_s)->isChecked());
    QVERIFY(!w.action(u"mnuDiag"_s)->isChecked());
    QVERIFY(!w.action(u"mnuFull"_s)->isChecked());
    QVERIFY(qAbs(w.clientHeightTwips() - 1485) < 15);
    // Choosing the view already shown stores both keys again.
    f.storeSpy->clear();
    w.action(u"mnuCompact"_s)->trigger();
    QCOMPARE(f.storesOf(Key::Style), 1);
    QCOMPARE(f.storesOf(Key::Height), 1);
    w.close();
    QCOMPARE(f.store->value(Key::Style), u"0"_s);
}

void tst_Views::viewKeepsHandSetWidth()
{
    PanelFixture f;
    frm_main &w = f.start();
    w.resize(500, 400);
    w.action(u"mnuFull"_s)->trigger();
    QCOMPARE(w.width(), 500);
    QVERIFY(qAbs(w.clientHeightTwips() - 2505) < 15);
}

void tst_Views::onTopKeepsPlaceAndSize()
{
    PanelFixture f;
    frm_main &w = f.start();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect before = w.geometry();
    QTest::mouseClick(w.chkOnTop(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(w.chkOnTop()->isChecked());
    QVERIFY(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w.isVisible()); // changing the flags on the handle does not hide the window
    QCOMPARE(w.geometry(), before);
    QCOMPARE(f.store->value(Key::OnTop), u"1"_s);
    QTest::mouseClick(w.chkOnTop(), Qt::LeftButton, {}, QPoint(5, 5));
    QVERIFY(!w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint));
    QVERIFY(w.isVisible());
    QCOMPARE(w.geometry(), before);
    QCOMPARE(f.store->value(Key::OnTop), u"0"_s);
}

void tst_Views::positionRestoredInTwips()
{
    QTemporaryDir settings;
    {
        PanelFixture f(settings.path());
        f.preset(Key::PositionLeft, u"1500"_s);
        f.preset(Key::PositionTop, u"3000"_s);
        frm_main &w = f.start();
        QCOMPARE(w.pos(), QPoint(100, 200));
        w.move(40, 60);
        w.close();
    }
    PanelFixture f(settings.path());
    QCOMPARE(f.store->value(Key::PositionLeft), u"600"_s);
    QCOMPARE(f.store->value(Key::PositionTop), u"900"_s);
}

QTEST_MAIN(tst_Views)
#include "tst_views.moc"

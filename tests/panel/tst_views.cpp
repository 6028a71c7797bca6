// View -> height: the View menu's keys, and the view stored by the last run. A view
// changes only the height of the area under the menu bar; the width stays as it was.

#include "panelfixture.h"

#include <QCheckBox>
#include <QWindow>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_Views : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void view_data();
    void view();
    void onTopKeepsPlaceAndSize();
};

void tst_Views::view_data()
{
    QTest::addColumn<QString>("stored"); // Style left by the last run
    QTest::addColumn<QString>("press");
    QTest::addColumn<QString>("checked"); // the View menu item ticked
    QTest::addColumn<int>("clientTwips");
    QTest::addColumn<QString>("height"); // "Height" as stored afterwards
    const auto row = [](const char *tag, const char *stored, const char *press, const char *checked,
                        int twips, const char *height) {
        QTest::newRow(tag) << QString::fromLatin1(stored) << QString::fromLatin1(press)
                           << QString::fromLatin1(checked) << twips << QString::fromLatin1(height);
    };
    row("F3 compact", "1", "F3", "mnuCompact", 2175 - 690, "2175");
    row("F4 full", "0", "F4", "mnuFull", 3195 - 690, "3195");
    row("F5 diagnostics", "0", "F5", "mnuDiag", 3930 - 690, "3930");
    row("compact again", "0", "mnuCompact", "mnuCompact", 2175 - 690, "2175");
    row("last chosen wins", "0", "mnuDiag mnuCompact", "mnuCompact", 2175 - 690, "2175");
    row("stored compact", "0", "", "mnuCompact", 2200 - 690, "");
    row("stored full", "1", "", "mnuFull", 3400 - 690, "");
    row("stored diagnostics", "2", "", "mnuDiag", 4300 - 690, "");
    row("stored unknown: no view", "7", "", "", 1485, "");
}

void tst_Views::view()
{
    QFETCH(QString, stored);
    QFETCH(QString, press);
    QFETCH(QString, checked);
    QFETCH(int, clientTwips);
    PanelFixture f;
    f.preset(Key::Style, stored);
    frm_main &w = f.startActive();
    w.resize(500, w.height());
    for (const QString &p : press.split(u' ', Qt::SkipEmptyParts))
        f.press(p);
    for (const char *name : {"mnuCompact", "mnuFull", "mnuDiag"})
        QCOMPARE(w.action(QString::fromLatin1(name))->isChecked(), checked == QLatin1String(name));
    QVERIFY2(qAbs(w.clientHeightTwips() - clientTwips) < 15,
             qPrintable(QString::number(w.clientHeightTwips())));
    QCOMPARE(w.width(), 500);
    QTEST(f.store->value(Key::Height), "height");
    w.close();
    QCOMPARE(
        f.store->value(Key::Style),
        checked.isEmpty()
            ? stored
            : QString::number(
                  QStringList({u"mnuCompact"_s, u"mnuFull"_s, u"mnuDiag"_s}).indexOf(checked)));
}

void tst_Views::onTopKeepsPlaceAndSize()
{
    PanelFixture f;
    frm_main &w = f.start();
    QVERIFY(QTest::qWaitForWindowExposed(&w));
    const QRect before = w.geometry();
    for (bool on : {true, false}) {
        QTest::mouseClick(w.chkOnTop(), Qt::LeftButton, {}, QPoint(5, 5));
        QCOMPARE(w.windowHandle()->flags().testFlag(Qt::WindowStaysOnTopHint), on);
        QVERIFY(w.isVisible());
        QCOMPARE(w.geometry(), before);
        QCOMPARE(f.store->value(Key::OnTop), on ? u"1"_s : u"0"_s);
    }
}

QTEST_MAIN(tst_Views)
#include "tst_views.moc"

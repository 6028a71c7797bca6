// The keys for the buttons that have no access key, and Esc in Setup, checked on the
// wire: a key must send exactly what a click on its button sends.

#include "panelfixture.h"

#include <QLineEdit>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
QByteArray frame(const char *frequency)
{
    return QByteArray::fromHex(QByteArray("404100") + frequency + "00" + "00" + "31" + "300d");
}
} // namespace

class tst_Keyboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void bandKeys_data();
    void bandKeys();
    void stepKeys_data();
    void stepKeys();
    void escapeLeavesSetup();
};

void tst_Keyboard::bandKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QString>("band");
    QTest::addColumn<QByteArray>("expected");
    // A large antenna, whose lower limit leaves the three bands their own frequencies.
    QTest::newRow("Ctrl+8 is 80 m") << int(Qt::Key_8) << u"80"_s << frame("0a9ad8");
    QTest::newRow("Ctrl+4 is 40 m") << int(Qt::Key_4) << u"40"_s << frame("0ac1e8");
    QTest::newRow("Ctrl+3 is 30 m") << int(Qt::Key_3) << u"30"_s << frame("0f6950");
}

void tst_Keyboard::bandKeys()
{
    QFETCH(int, key);
    QFETCH(QString, band);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    f.preset(Key::Vastor, u"True"_s);
    frm_main &w = f.startActive();
    QSignalSpy pressed(w.button(u"cmd"_s + band), &QPushButton::clicked);
    // From the frequency display, where the focus starts: the key must not stop there.
    w.Text3()->setFocus();
    QTest::keyClick(w.Text3(), Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
    QCOMPARE(pressed.size(), 1);
    QCOMPARE(w.indicator(band + u" m lamp"_s)->colourName(), u"green"_s);
    QVERIFY(w.button(u"cmd"_s + band)->toolTip().startsWith(u"Key: Ctrl+"_s));
}

void tst_Keyboard::stepKeys_data()
{
    QTest::addColumn<int>("key");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("Ctrl+Up: 14.050 to 14.100") << int(Qt::Key_Up) << frame("1583d0");
    QTest::newRow("Ctrl+Down: 14.050 to 14.000") << int(Qt::Key_Down) << frame("155cc0");
}

void tst_Keyboard::stepKeys()
{
    QFETCH(int, key);
    QFETCH(QByteArray, expected);
    PanelFixture f;
    frm_main &w = f.startActive();
    QTest::keyClick(&w, Qt::Key_F6); // 20 m, 14.050 MHz
    QCOMPARE(f.peer.readExactly(11).toHex(' '), frame("157048").toHex(' '));
    QTest::keyClick(&w, Qt::Key(key), Qt::ControlModifier);
    QCOMPARE(f.peer.readExactly(11).toHex(' '), expected.toHex(' '));
}

void tst_Keyboard::escapeLeavesSetup()
{
    PanelFixture f;
    frm_main &w = f.startActive();
    QTest::keyClick(&w, Qt::Key_F2);
    QTRY_VERIFY(w.setupDialog() && w.setupDialog()->isVisible());
    QVERIFY(!w.isVisible());
    QTRY_VERIFY(w.setupDialog()->isActiveWindow());
    QTest::keyClick(w.setupDialog(), Qt::Key_Escape);
    QTRY_VERIFY(!w.setupDialog());
    // Left as closing leaves it: the panel is back, with the keyboard, and the line
    // hears the current frame again.
    QVERIFY(w.isVisible());
    QTRY_VERIFY(w.isActiveWindow());
    QCOMPARE(f.peer.readExactly(11).size(), 11);
}

QTEST_MAIN(tst_Keyboard)
#include "tst_keyboard.moc"

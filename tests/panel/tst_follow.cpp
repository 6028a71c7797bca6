// Following the radio from the panel: a real rigctld moves, and the frame it causes is
// checked on the pseudo-terminal with the band lamps; a rigctld that says nothing must
// not hold up the operator's own keys.

#include "frm_radio.h"
#include "panelfixture.h"
#include "rigctld.h"

#include <QLabel>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
// The panel started with `stored`, Timer1 stopped so that only frames reach the wire.
frm_main &start(PanelFixture &f, std::initializer_list<std::pair<Key, QString>> stored)
{
    for (const auto &[key, value] : stored)
        f.preset(key, value);
    frm_main &w = f.start();
    w.Timer1()->stop();
    return w;
}
QString radioSays(const frm_main &w)
{
    return w.findChild<QLabel *>(u"lblRadio"_s)->accessibleName();
}
} // namespace

class tst_Follow : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void followsTheRadio_data()
    {
        QTest::addColumn<QString>("how"); // "stored", "menu" or "--rig"
        QTest::addColumn<QString>("vastor");
        QTest::addColumn<bool>("reversed"); // 180 pressed first
        QTest::addColumn<qint64>("hz");
        QTest::addColumn<QByteArray>("expected");
        QTest::addColumn<QString>("band"); // "": no lamp lit
        const auto row = [](const char *name, const char *how, const char *vastor, bool reversed,
                            qint64 hz, const char *bytes, const char *direction, const char *band) {
            QTest::newRow(name) << QString::fromLatin1(how) << QString::fromLatin1(vastor)
                                << reversed << hz << frame(bytes, direction)
                                << QString::fromLatin1(band);
        };
        row("20 m, Enabled at start-up", "stored", "False", false, 14074000, "1579a8", "00", "20");
        row("15 m after 180, Follow Radio", "menu", "False", true, 21074000, "202808", "40", "15");
        row("30 m under the beam's limit", "--rig", "False", false, 10120000, "14e790", "00", "30");
        row("80 m under the Vastor's limit", "menu", "True", false, 3573000, "0a9ad8", "00", "80");
        row("40 m, Vastor", "--rig", "True", true, 7074000, "0acb48", "40", "40");
        row("between 30 m and 20 m", "stored", "True", false, 11000000, "10c8e0", "00", "");
    }

    void followsTheRadio()
    {
        QFETCH(QString, how);
        QFETCH(QString, vastor);
        QFETCH(qint64, hz);
        test::Rigctld rig;
        QVERIFY(rig.start());
        QVERIFY(rig.set("F " + QByteArray::number(hz)));
        const QString port = how == u"--rig" ? u"4532"_s : QString::number(rig.port());
        PanelFixture p;
        frm_main &w = start(p, {{Key::Vastor, vastor},
                                {Key::FollowPort, port},
                                {Key::FollowEnabled, how == u"stored" ? u"1"_s : u"0"_s}});
        QCOMPARE(w.indicator(u"Radio lamp"_s)->colourName(), u"grey"_s); // nothing heard yet
        QFETCH(bool, reversed);
        if (reversed) {
            w.button(u"cmd180"_s)->click();
            p.peer.readExactly(11);
        }
        if (how == u"menu")
            w.action(u"mnuFollow"_s)->trigger();
        if (how == u"--rig")
            w.followRigForThisRun(*rig::parseEndpoint(u"127.0.0.1:%1"_s.arg(rig.port())));

        QFETCH(QByteArray, expected);
        QCOMPARE(p.peer.readExactly(11).toHex(' '), expected.toHex(' '));
        QFETCH(QString, band);
        for (const Band &b : kBands) {
            const QString name = QString::fromLatin1(b.caption.data(), b.caption.size());
            QCOMPARE(w.indicator(name + u" m lamp"_s)->colourName(),
                     name == band ? u"green"_s : u"red"_s);
        }
        QVERIFY(w.Timer1()->isActive());
        QCOMPARE(w.indicator(u"Radio lamp"_s)->colourName(), u"green"_s);
        QCOMPARE(radioSays(w), u"Following the radio"_s);
        QVERIFY(w.action(u"mnuFollow"_s)->isChecked());
        // Only the menu item stores; --rig is for this run.
        QCOMPARE(p.store->value(Key::FollowEnabled), how == u"--rig" ? u"0"_s : u"1"_s);
        QCOMPARE(p.store->value(Key::FollowPort), port);
    }

    void keysWhileTheRadioIsSilent_data()
    {
        QTest::addColumn<bool>("listening");
        QTest::newRow("accepts, never answers") << true;
        QTest::newRow("nothing listening") << false;
    }

    void keysWhileTheRadioIsSilent()
    {
        QFETCH(bool, listening);
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        const quint16 port = silent.serverPort();
        if (!listening)
            silent.close();
        PanelFixture p;
        frm_main &w =
            start(p, {{Key::FollowEnabled, u"1"_s}, {Key::FollowPort, QString::number(port)}});
        QSignalSpy heard(w.indicator(u"Radio lamp"_s), &Indicator::colourChanged);
        w.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        if (listening)
            QTRY_VERIFY(silent.hasPendingConnections());

        QTest::keyClick(&w, Qt::Key_F6); // while the follower waits for its answer
        QCOMPARE(p.peer.readExactly(11), frame("157048", "00"));
        w.Timer1()->stop(); // no polls among the frames
        QTRY_COMPARE(w.indicator(u"Radio lamp"_s)->colourName(), u"red"_s);
        QCOMPARE(radioSays(w), u"Radio not answering"_s);
        QTest::keyClick(&w, Qt::Key_F12); // and while it waits to try again
        QCOMPARE(p.peer.readExactly(11), frame("4c4b40", "00"));

        w.action(u"mnuFollow"_s)->trigger();
        QCOMPARE(p.store->value(Key::FollowEnabled), u"0"_s);
        // Said once for each change: red, then grey.
        QCOMPARE(heard.size(), 2);
        QCOMPARE(heard.at(0).at(0).toString() + heard.at(1).at(0).toString(), u"redgrey"_s);
    }

    // What the dialog takes applies at once and is stored, Escape included; its status
    // line is the follower's, live.
    void radioDialog()
    {
        test::Rigctld rig;
        QVERIFY(rig.start() && rig.set("F 28074000"));
        PanelFixture p;
        frm_main &w =
            start(p, {{Key::FollowEnabled, u"1"_s}, {Key::FollowPort, u"1"_s}}); // nothing there
        w.action(u"mnuRadio"_s)->trigger();
        auto *dialog = qobject_cast<frm_radio *>(w.radioDialog());
        QVERIFY(dialog && QTest::qWaitForWindowActive(dialog));
        const struct {
            Qt::Key accessKey;
            QSpinBox *box;
            int value;
            Qt::Key leave;
        } entries[] = {{Qt::Key_P, dialog->portBox(), rig.port(), Qt::Key_Return},
                       {Qt::Key_T, dialog->thresholdBox(), 200, Qt::Key_Escape}};
        for (const auto &e : entries) {
            QTest::keyClick(dialog, e.accessKey, Qt::AltModifier);
            QCOMPARE(QApplication::focusWidget(), e.box);
            e.box->selectAll();
            QTest::keyClicks(e.box, QString::number(e.value));
            QTest::keyClick(e.box, e.leave);
        }
        QCOMPARE(p.peer.readExactly(11), frame("2ad668", "00"));
        QTRY_VERIFY(!w.radioDialog());
        QCOMPARE(p.store->value(Key::FollowPort), QString::number(rig.port()));
        QCOMPARE(p.store->value(Key::FollowThreshold), u"200"_s);
        QCOMPARE(w.indicator(u"Radio lamp"_s)->toolTip(),
                 u"127.0.0.1:%1: 28.074000 MHz, receiving"_s.arg(rig.port()));
    }
};

QTEST_MAIN(tst_Follow)
#include "tst_follow.moc"

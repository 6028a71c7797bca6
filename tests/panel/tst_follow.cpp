// Following the radio from the panel: a real rigctld moves, and the frame it causes is
// checked on the pseudo-terminal with the band lamps; a rigctld that says nothing must
// not hold up the operator's own keys.

#include "frm_main.h"
#include "frm_radio.h"
#include "ptypeer.h"
#include "rigctld.h"
#include "settingsstore.h"

#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
QByteArray frame(const char *frequency, const char *direction)
{
    return QByteArray::fromHex(QByteArray("404100") + frequency + "00" + direction + "31300d");
}

// A panel on a pseudo-terminal with settings of its own; Timer1 is stopped after
// start-up, so that only frames reach the wire.
struct Panel {
    QTemporaryDir dir;
    test::PtyPeer peer;
    SettingsStore store{dir.filePath(u"TarvikDesk.conf"_s), nullptr};
    frm_main window{&store};

    explicit Panel(std::initializer_list<std::pair<Key, QString>> stored)
    {
        for (const auto &[key, value] : stored)
            store.setValue(key, value);
        window.setPortOverride(peer.slavePath());
        window.Form_Load();
        window.Timer1()->stop();
        window.show();
    }
    QString radioSays() const
    {
        return window.findChild<QLabel *>(u"lblRadio"_s)->accessibleName();
    }
    Indicator *lamp(const QString &name) const { return window.indicator(name); }
};
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
        Panel p({{Key::Vastor, vastor},
                 {Key::FollowPort, port},
                 {Key::FollowEnabled, how == u"stored" ? u"1"_s : u"0"_s}});
        QCOMPARE(p.lamp(u"Radio lamp"_s)->colourName(), u"grey"_s); // nothing heard yet
        QFETCH(bool, reversed);
        if (reversed) {
            p.window.button(u"cmd180"_s)->click();
            p.peer.readExactly(11);
        }
        if (how == u"menu")
            p.window.action(u"mnuFollow"_s)->trigger();
        if (how == u"--rig")
            p.window.followRigForThisRun(*rig::parseEndpoint(u"127.0.0.1:%1"_s.arg(rig.port())));

        QFETCH(QByteArray, expected);
        QCOMPARE(p.peer.readExactly(11).toHex(' '), expected.toHex(' '));
        QFETCH(QString, band);
        for (const Band &b : kBands) {
            const QString name = QString::fromLatin1(b.caption.data(), b.caption.size());
            QCOMPARE(p.lamp(name + u" m lamp"_s)->colourName(),
                     name == band ? u"green"_s : u"red"_s);
        }
        QVERIFY(p.window.Timer1()->isActive());
        QCOMPARE(p.lamp(u"Radio lamp"_s)->colourName(), u"green"_s);
        QCOMPARE(p.radioSays(), u"Following the radio"_s);
        QVERIFY(p.window.action(u"mnuFollow"_s)->isChecked());
        // Only the menu item stores; --rig is for this run.
        QCOMPARE(p.store.value(Key::FollowEnabled), how == u"--rig" ? u"0"_s : u"1"_s);
        QCOMPARE(p.store.value(Key::FollowPort), port);
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
        Panel p({{Key::FollowEnabled, u"1"_s}, {Key::FollowPort, QString::number(port)}});
        QSignalSpy heard(p.lamp(u"Radio lamp"_s), &Indicator::colourChanged);
        p.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&p.window));
        if (listening)
            QTRY_VERIFY(silent.hasPendingConnections());

        QTest::keyClick(&p.window, Qt::Key_F6); // while the follower waits for its answer
        QCOMPARE(p.peer.readExactly(11), frame("157048", "00"));
        p.window.Timer1()->stop(); // no polls among the frames
        QTRY_COMPARE(p.lamp(u"Radio lamp"_s)->colourName(), u"red"_s);
        QCOMPARE(p.radioSays(), u"Radio not answering"_s);
        QTest::keyClick(&p.window, Qt::Key_F12); // and while it waits to try again
        QCOMPARE(p.peer.readExactly(11), frame("4c4b40", "00"));

        p.window.action(u"mnuFollow"_s)->trigger();
        QCOMPARE(p.store.value(Key::FollowEnabled), u"0"_s);
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
        Panel p({{Key::FollowEnabled, u"1"_s}, {Key::FollowPort, u"1"_s}}); // nothing there
        p.window.action(u"mnuRadio"_s)->trigger();
        auto *dialog = qobject_cast<frm_radio *>(p.window.radioDialog());
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
        QTRY_VERIFY(!p.window.radioDialog());
        QCOMPARE(p.store.value(Key::FollowPort), QString::number(rig.port()));
        QCOMPARE(p.store.value(Key::FollowThreshold), u"200"_s);
        QCOMPARE(p.lamp(u"Radio lamp"_s)->toolTip(),
                 u"127.0.0.1:%1: 28.074000 MHz, receiving"_s.arg(rig.port()));
    }
};

QTEST_MAIN(tst_Follow)
#include "tst_follow.moc"

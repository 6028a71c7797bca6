// The station's state -> what the panel shows: every indicator, what a screen reader
// is told about it, the frequency display, the received string and the Radio lamp.
// Replies come through the pseudo-terminal to a real Station; what each status code
// means is the Station's own test, here only how each kind of state looks.

#include "panelfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>

#include <numeric>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
// In the order of the `shown` column.
const QStringList kIndicators = {u"Connected"_s, u"TUNING"_s, u"RETRACTING"_s, u"180 lamp"_s,
                                 u"BiDir lamp"_s};
} // namespace

class tst_PanelState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reply_data()
    {
        QTest::addColumn<QByteArray>("before"); // polled first
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("frequency");
        QTest::addColumn<QString>("shown"); // Connected, TUNING, RETRACTING, 180, BiDir
        QTest::addColumn<QString>("tip");   // the Connected lamp's
        const auto row = [](const char *tag, const QByteArray &before, const QByteArray &reply,
                            const char *frequency, const char *shown, const char *tip,
                            const char *locale = "C") {
            QTest::newRow(tag) << before << reply << QString::fromLatin1(locale)
                               << QString::fromLatin1(frequency) << QString::fromLatin1(shown)
                               << QString::fromLatin1(tip);
        };
        const QByteArray none;
        const char *answering = "The controller is answering";
        row("designed state, nothing heard", none, none, "", "red grey grey red red",
            "No status frame from the controller yet");
        row("normal", none, frame("157048", "00"), "14.050", "green grey grey red red", answering);
        row("reversed", none, frame("157048", "40"), "14.050", "green grey grey green red",
            answering);
        row("bidirectional, retracting, moving", none, frame("2b07a0", "a5", "31", "01"), "28.200",
            "green red red red green", answering);
        row("comma locale", none, frame("0aae60"), "07,000", "green grey grey red red", answering,
            "de_DE");
        row("not understood", frame("157048", "40"), frame("157048", "40").mid(1), "14.050",
            "red grey grey green red", "The controller's reply was not understood");
    }

    void reply()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, reply);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        PanelFixture f;
        MainWindow &w = f.startActive();
        if (!before.isEmpty())
            f.poll(before);
        f.poll(reply);
        QTEST(w.frequencyBox()->text(), "frequency");
        if (reply.size() == 11)
            QCOMPARE(w.receivedBox()->text(), QString::fromLatin1(reply.toHex().toUpper()));
        QStringList shown;
        for (const QString &name : kIndicators)
            shown << f.colour(name);
        QTEST(shown.join(u' '), "shown");
        QTEST(w.indicator(u"Connected"_s)->toolTip(), "tip");
        QCOMPARE(f.colour(u"3/4 lamp"_s), u"red"_s);
    }

    // The lamp stays green through silence; the tip and the screen reader tell it,
    // the reader once per change however many polls go unanswered.
    void connectedTellsSilence()
    {
        PanelFixture f;
        f.presetFile("[StartUp]\nPoll=200\n");
        MainWindow &w = f.start();
        Indicator *lamp = w.indicator(u"Connected"_s);
        QStringList heard;
        connect(lamp, &Indicator::descriptionChanged, this,
                [&heard](const QString &description) { heard << description; });
        f.peer.write(frame("157048", "40"));
        QTRY_COMPARE(lamp->toolTip(), u"The controller is answering"_s);
        QTRY_COMPARE(lamp->toolTip(), u"No reply from the controller for 1 s"_s);
        QCOMPARE(lamp->colourName(), u"green"_s);
        f.peer.write(frame("157048", "40"));
        QTRY_COMPARE(lamp->toolTip(), u"The controller is answering"_s);
        QCOMPARE(heard, (QStringList{u"green"_s, u"green, Controller not answering"_s,
                                     u"green, Controller answering"_s}));
    }

    // A command lights its band's lamp alone.
    void bandLamps()
    {
        PanelFixture f;
        MainWindow &w = f.startActive();
        for (const char *press : {"cmd17", "mnu6"}) {
            f.press(QString::fromLatin1(press));
            for (Indicator *i : w.findChildren<Indicator *>())
                if (i->accessibleName().endsWith(u" m lamp"))
                    QCOMPARE(i->colourName(),
                             i->accessibleName().startsWith(press[0] == 'm' ? u"6 "_s : u"17"_s)
                                 ? u"green"_s
                                 : u"red"_s);
        }
    }

    // The Radio lamp and what a screen reader hears: grey while off, red for a rigctld
    // that does not answer, grey again when following is turned off, each said once.
    void radioLamp()
    {
        QTcpServer silent;
        QVERIFY(silent.listen(QHostAddress::LocalHost));
        PanelFixture f;
        f.presetFile("[Follow]\nEnabled=1\nPort=" + QByteArray::number(silent.serverPort()) + '\n');
        MainWindow &w = f.start();
        Indicator *lamp = w.indicator(u"Radio lamp"_s);
        const auto says = [&w] {
            return w.findChild<QLabel *>(u"lblRadio"_s)->accessibleName();
        };
        QSignalSpy heard(lamp, &Indicator::colourChanged);
        QVERIFY(w.action(u"mnuFollow"_s)->isChecked());
        QTRY_COMPARE(lamp->colourName(), u"red"_s);
        QCOMPARE(says(), u"Radio not answering"_s);
        QVERIFY(lamp->toolTip().startsWith(u"127.0.0.1:%1"_s.arg(silent.serverPort())));
        w.action(u"mnuFollow"_s)->trigger();
        QCOMPARE(lamp->colourName(), u"grey"_s);
        QCOMPARE(says(), u"Not following the radio"_s);
        QCOMPARE(heard.size(), 2);
    }

    // One operator in twelve cannot tell red from green: a lit lamp must be brighter by 40 %
    // of full scale and carry a highlight, an unlit one must be flat. Rec. 601 luma of the
    // pixels inside the lamp, drawn as at 100 %, 150 % and 200 %.
    void litLampStandsOutWithoutColour_data()
    {
        QTest::addColumn<double>("scale");
        QTest::newRow("100 %") << 1.0;
        QTest::newRow("150 %") << 1.5;
        QTest::newRow("200 %") << 2.0;
    }

    void litLampStandsOutWithoutColour()
    {
        QFETCH(double, scale);
        PanelFixture f;
        MainWindow &w = f.startActive();
        f.poll(frame("157048")); // Connected lit, the 180 lamp not
        const auto lumas = [&](const QString &name) {
            Indicator *lamp = w.indicator(name);
            QImage image(lamp->size() * scale, QImage::Format_RGB32);
            image.setDevicePixelRatio(scale);
            image.fill(Qt::black);
            lamp->render(&image);
            const QPointF centre((image.width() - 1) / 2.0, (image.height() - 1) / 2.0);
            const double radius = (15 / 2.0 - 1.5) * scale; // the rim blends into black
            QList<double> values;
            for (int y = 0; y < image.height(); ++y)
                for (int x = 0; x < image.width(); ++x)
                    if (QLineF(centre, QPointF(x, y)).length() <= radius) {
                        const QColor c = image.pixelColor(x, y);
                        values << 0.299 * c.red() + 0.587 * c.green() + 0.114 * c.blue();
                    }
            std::sort(values.begin(), values.end());
            return values;
        };
        const QList<double> lit = lumas(u"Connected"_s), unlit = lumas(u"180 lamp"_s);
        QVERIFY(!lit.isEmpty() && !unlit.isEmpty());
        const double litMean = std::accumulate(lit.begin(), lit.end(), 0.0) / lit.size();
        const double unlitMean = std::accumulate(unlit.begin(), unlit.end(), 0.0) / unlit.size();
        QVERIFY2(litMean - unlitMean >= 0.4 * 255,
                 qPrintable(QString::number(litMean - unlitMean)));
        QVERIFY(lit.last() >= 200);                  // a highlight
        QVERIFY(unlit.last() - unlit.first() <= 25); // flat
    }
};

QTEST_MAIN(tst_PanelState)
#include "tst_panelstate.moc"

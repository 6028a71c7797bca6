// What the panel alone shows of a state; every lamp's look is held to the looks table
// in tst_panelremote.

#include "panelfixture.h"

#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTcpServer>

#include <numeric>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_PanelState : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The frequency as the locale writes numbers.
    void frequencyInTheLocale()
    {
        QLocale::setDefault(QLocale(u"de_DE"_s));
        PanelFixture f;
        MainWindow &w = f.startActive();
        f.poll(frame("0aae60"));
        QCOMPARE(w.frequencyBox()->text(), u"07,000"_s);
        QCOMPARE(w.receivedBox()->text(), QString::fromLatin1(frame("0aae60").toHex().toUpper()));
        QLocale::setDefault(QLocale::c());
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

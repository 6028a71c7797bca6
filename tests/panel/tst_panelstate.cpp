// Status frame -> what the panel shows: every indicator, what a screen reader is told
// about it, the frequency display and the received string.

#include "panelfixture.h"

#include <QLineEdit>

#include <numeric>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
// In the order of the `shown` column.
const QStringList kIndicators = {u"Connected"_s, u"TUNING"_s, u"RETRACTING"_s, u"180 lamp"_s,
                                 u"BiDir lamp"_s};
} // namespace

class tst_Status : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void reply_data()
    {
        QTest::addColumn<QByteArray>("before"); // polled first
        QTest::addColumn<QByteArray>("reply");
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text3");
        QTest::addColumn<QString>("shown"); // Connected, TUNING, RETRACTING, 180, BiDir
        const auto row = [](const char *tag, const QByteArray &before, const QByteArray &reply,
                            const char *text3, const char *shown, const char *locale = "C") {
            QTest::newRow(tag) << before << reply << QString::fromLatin1(locale)
                               << QString::fromLatin1(text3) << QString::fromLatin1(shown);
        };
        const QByteArray none;
        row("designed state, nothing heard", none, none, "", "red grey grey red red");
        row("00 normal", none, frame("157048", "00"), "14.050", "green grey grey red red");
        row("10 normal, retracting", none, frame("157048", "10"), "14.050",
            "green grey red red red");
        row("15 normal", none, frame("157048", "15"), "14.050", "green grey grey red red");
        row("25 normal, retracting", none, frame("157048", "25"), "14.050",
            "green grey red red red");
        row("40 reversed", none, frame("157048", "40"), "14.050", "green grey grey green red");
        row("50 reversed, retracting", none, frame("157048", "50"), "14.050",
            "green grey red green red");
        row("55 reversed", none, frame("157048", "55"), "14.050", "green grey grey green red");
        row("65 reversed, retracting", none, frame("157048", "65"), "14.050",
            "green grey red green red");
        row("80 bidirectional", none, frame("157048", "80"), "14.050", "green grey grey red green");
        row("90 bidirectional, retracting", none, frame("157048", "90"), "14.050",
            "green grey red red green");
        row("95 bidirectional", none, frame("157048", "95"), "14.050", "green grey grey red green");
        row("A5 bidirectional, retracting, moving", none, frame("2b07a0", "a5", "31", "01"),
            "28.200", "green red red red green");
        row("unknown 30 keeps the pattern, ends retracting", frame("157048", "90"),
            frame("157048", "30"), "14.050", "green grey grey red green");
        row("7 MHz with a leading zero", none, frame("0aae60"), "07.000",
            "green grey grey red red");
        row("half a thousandth rounds up", none, frame("186a32"), "16.001",
            "green grey grey red red");
        row("comma locale", none, frame("0aae60"), "07,000", "green grey grey red red", "de_DE");
        row("FFFFFF", none, frame("ffffff"), "167.772", "green grey grey red red");
        row("wrong header turns Connected red", frame("157048", "40"), frame("157048", "40").mid(1),
            "14.050", "red grey grey green red");
        row("silence keeps the last state", frame("157048", "90", "31", "01"), none, "14.050",
            "green red red red green");
        row("half a frame is not an answer", none, frame("157048").left(5), "",
            "red grey grey red red");
        row("its tail has no header", frame("157048", "40"), frame("157048").mid(5), "14.050",
            "red grey grey green red");
    }

    void reply()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, reply);
        QFETCH(QString, locale);
        QLocale::setDefault(QLocale(locale));
        PanelFixture f;
        frm_main &w = f.startActive();
        if (!before.isEmpty())
            f.poll(before);
        f.poll(reply);
        QTEST(w.Text3()->text(), "text3");
        if (reply.size() == 11)
            QCOMPARE(w.Text1()->text(), QString::fromLatin1(reply.toHex().toUpper()));
        QStringList shown;
        for (const QString &name : kIndicators)
            shown << f.colour(name);
        QTEST(shown.join(u' '), "shown");
        QCOMPARE(f.colour(u"3/4 lamp"_s), u"red"_s);
        for (Indicator *i : w.findChildren<Indicator *>()) // a note may follow the colour
            QCOMPARE(i->accessibleDescription().section(u',', 0, 0), i->colourName());
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
        frm_main &w = f.startActive();
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

QTEST_MAIN(tst_Status)
#include "tst_status.moc"

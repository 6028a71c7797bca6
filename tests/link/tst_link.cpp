// The protocol code on its own, for what the panel cannot be made to show: hex text
// pieces the panel never builds, numbers beyond the controller's, fractional
// frequencies. Everything an operator can cause is checked on the wire by tst_wire.

#include "frame.h"
#include "hexcodec.h"

#include <QTest>

using namespace tarvik;
using namespace Qt::StringLiterals;

class tst_Link : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hex2ascii_data();
    void hex2ascii();
    void hexToDecimal_data();
    void hexToDecimal();
    void setFrequency_data();
    void setFrequency();
};

void tst_Link::hex2ascii_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("single zero piece") << u"0"_s << QByteArray::fromHex("00");
    QTest::newRow("lone trailing digit") << u"4041005"_s << QByteArray::fromHex("40410005");
    QTest::newRow("digit then junk") << u"4G"_s << QByteArray::fromHex("04");
    QTest::newRow("junk then digit") << u"G4"_s << QByteArray::fromHex("00");
    QTest::newRow("lower case") << u"3f0d"_s << QByteArray::fromHex("3f0d");
    QTest::newRow("every byte survives") << u"00FF7F80"_s << QByteArray::fromHex("00ff7f80");
}

void tst_Link::hex2ascii()
{
    QFETCH(QString, text);
    QTEST(tarvik::hex2ascii(text), "bytes");
}

void tst_Link::hexToDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<int>("value"); // -1: an error
    QTest::newRow("empty") << QString() << 0;
    QTest::newRow("largest field") << u"FFFFFF"_s << 0xFFFFFF;
    QTest::newRow("lower-case a counts 42") << u"1a"_s << 16 + 42;
    QTest::newRow("space is an error") << u"15 048"_s << -1;
    QTest::newRow("punctuation is an error") << u"15-048"_s << -1;
    QTest::newRow("beyond 32 bits is an error") << u"FFFFFFFFFF"_s << -1;
    QTest::newRow("leading zeros beyond 8 digits") << u"000000000010"_s << 16;
}

void tst_Link::hexToDecimal()
{
    QFETCH(QString, text);
    QTEST(HexToDecimal(text).value_or(-1), "value");
}

void tst_Link::setFrequency_data()
{
    QTest::addColumn<double>("sndFreq");
    QTest::addColumn<QString>("field");
    QTest::newRow("fraction rounded down") << 1405000.4 << u"157048"_s;
    QTest::newRow("fraction rounded up") << 1405000.5 << u"157049"_s;
    QTest::newRow("0FFFFF keeps its zero") << 1048575.0 << u"0FFFFF"_s;
    QTest::newRow("100000 needs none") << 1048576.0 << u"100000"_s;
    QTest::newRow("capped at FFFFFF") << 16782215.0 << u"FFFFFF"_s;
}

void tst_Link::setFrequency()
{
    QFETCH(double, sndFreq);
    QTEST(frequencyField(sndFreq), "field");
}

QTEST_GUILESS_MAIN(tst_Link)
#include "tst_link.moc"

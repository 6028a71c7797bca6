#include "frame.h"
#include "frequencytext.h"
#include "hexcodec.h"

#include <QTest>

using namespace tarvik;
using namespace Qt::StringLiterals;

class tst_Frames : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void hex2ascii_data();
    void hex2ascii();
    void hexToDecimal_data();
    void hexToDecimal();
    void setFrequency_data();
    void setFrequency();
    void fixedCode_data();
    void fixedCode();
    void directionField_data();
    void directionField();
    void formatMHz_data();
    void formatMHz();
};

void tst_Frames::hex2ascii_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("trailer") << u"300D"_s << QByteArray::fromHex("300d");
    QTest::newRow("single zero piece") << u"0"_s << QByteArray::fromHex("00");
    QTest::newRow("empty") << QString() << QByteArray();
    QTest::newRow("lone trailing digit") << u"4041005"_s << QByteArray::fromHex("40410005");
    QTest::newRow("digit then junk") << u"4G"_s << QByteArray::fromHex("04");
    QTest::newRow("junk then digit") << u"G4"_s << QByteArray::fromHex("00");
    QTest::newRow("lower case") << u"3f0d"_s << QByteArray::fromHex("3f0d");
    QTest::newRow("every byte survives") << u"00FF7F80"_s << QByteArray::fromHex("00ff7f80");
}

void tst_Frames::hex2ascii()
{
    QFETCH(QString, text);
    QFETCH(QByteArray, bytes);
    QCOMPARE(tarvik::hex2ascii(text), bytes);
}

void tst_Frames::hexToDecimal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<bool>("ok");
    QTest::addColumn<int>("value");
    QTest::newRow("14.050 MHz") << u"157048"_s << true << 1405000;
    QTest::newRow("empty") << QString() << true << 0;
    QTest::newRow("largest field") << u"FFFFFF"_s << true << 0xFFFFFF;
    QTest::newRow("lower-case a counts 42") << u"a"_s << true << 42;
    QTest::newRow("lower-case in the middle") << u"1a"_s << true << 16 + 42;
    QTest::newRow("space is an error") << u"15 048"_s << false << 0;
    QTest::newRow("punctuation is an error") << u"15-048"_s << false << 0;
    QTest::newRow("beyond 32 bits is an error") << u"FFFFFFFFFF"_s << false << 0;
    QTest::newRow("leading zeros beyond 8 digits") << u"000000000010"_s << true << 16;
}

void tst_Frames::hexToDecimal()
{
    QFETCH(QString, text);
    QFETCH(bool, ok);
    QFETCH(int, value);
    const auto result = HexToDecimal(text);
    QCOMPARE(result.has_value(), ok);
    if (ok)
        QCOMPARE(*result, value);
}

void tst_Frames::setFrequency_data()
{
    QTest::addColumn<double>("sndFreq");
    QTest::addColumn<bool>("vastor");
    QTest::addColumn<QString>("sndDir");
    QTest::addColumn<QString>("sndCmd");
    QTest::addColumn<QByteArray>("frame");
    QTest::addColumn<double>("sndFreqAfter");

    QTest::newRow("14.050 MHz normal")
        << 1405000.0 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410015704800003130 0d") << 1405000.0;
    QTest::newRow("28.200 MHz reversed")
        << 2820000.0 << false << u"0040"_s << u"31"_s
        << QByteArray::fromHex("4041002b07a000403130 0d") << 2820000.0;
    QTest::newRow("just under the small limit")
        << 1369999.0 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410014e79000003130 0d") << 1370000.0;
    QTest::newRow("under the large limit")
        << 600000.0 << true << u"0000"_s << u"31"_s
        << QByteArray::fromHex("4041000a9ad800003130 0d") << 695000.0;
    QTest::newRow("small antenna cannot go to 7 MHz")
        << 700000.0 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410014e79000003130 0d") << 1370000.0;
    QTest::newRow("0FFFFF keeps its leading zero")
        << 1048575.0 << true << u"0000"_s << u"31"_s
        << QByteArray::fromHex("4041000fffff00003130 0d") << 1048575.0;
    QTest::newRow("100000 needs no zero")
        << 1048576.0 << true << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410010000000003130 0d") << 1048576.0;
    QTest::newRow("40 m leading zero")
        << 705000.0 << true << u"0080"_s << u"31"_s
        << QByteArray::fromHex("4041000ac1e800803130 0d") << 705000.0;
    QTest::newRow("fraction rounded down")
        << 1405000.4 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410015704800003130 0d") << 1405000.4;
    QTest::newRow("fraction rounded up")
        << 1405000.5 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("40410015704900003130 0d") << 1405000.5;
    QTest::newRow("other command code rides once")
        << 1405000.0 << false << u"0000"_s << u"52"_s
        << QByteArray::fromHex("40410015704800005230 0d") << 1405000.0;
    QTest::newRow("above FFFFFF is capped at 11 bytes")
        << 16777215.0 + 5000 << false << u"0000"_s << u"31"_s
        << QByteArray::fromHex("404100ffffff00003130 0d") << 16782215.0;
}

void tst_Frames::setFrequency()
{
    QFETCH(double, sndFreq);
    QFETCH(bool, vastor);
    QFETCH(QString, sndDir);
    QFETCH(QString, sndCmd);
    QFETCH(QByteArray, frame);
    QFETCH(double, sndFreqAfter);

    const SetFrequencyFrame built = encodeSetFrequency(sndFreq, vastor, sndDir, sndCmd);
    QCOMPARE(built.bytes.toHex(' '), frame.toHex(' '));
    QCOMPARE(built.bytes.size(), 11);
    QCOMPARE(built.sndFreq, sndFreqAfter);
    QCOMPARE(built.freqHex, QString::fromLatin1(frame.mid(3, 3).toHex().toUpper()));
}

void tst_Frames::fixedCode_data()
{
    QTest::addColumn<QString>("sndDir");
    QTest::addColumn<QString>("code");
    QTest::addColumn<QByteArray>("frame");
    QTest::newRow("home normal") << u"0000"_s << u"53"_s
                                 << QByteArray::fromHex("4041000000000000533 00d");
    QTest::newRow("home reversed")
        << u"0040"_s << u"53"_s << QByteArray::fromHex("4041000000000040533 00d");
    QTest::newRow("calibrate bidirectional")
        << u"0080"_s << u"56"_s << QByteArray::fromHex("4041000000000080563 00d");
    QTest::newRow("enable xcvr") << u"0000"_s << u"52"_s
                                 << QByteArray::fromHex("4041000000000000523 00d");
    QTest::newRow("disable xcvr") << u"0040"_s << u"55"_s
                                  << QByteArray::fromHex("4041000000000040553 00d");
}

void tst_Frames::fixedCode()
{
    QFETCH(QString, sndDir);
    QFETCH(QString, code);
    QFETCH(QByteArray, frame);
    const QByteArray codeLatin1 = code.toLatin1();
    QCOMPARE(fixedCodeFrame(sndDir, std::string_view(codeLatin1.constData(), 2)).toHex(' '),
             frame.toHex(' '));
}

void tst_Frames::directionField_data()
{
    QTest::addColumn<QString>("sndDir");
    QTest::addColumn<bool>("valid");
    QTest::newRow("normal") << u"0000"_s << true;
    QTest::newRow("bidirectional") << u"0080"_s << true;
    QTest::newRow("three digits") << u"040"_s << false;
    QTest::newRow("five digits") << u"00400"_s << false;
    QTest::newRow("not hex") << u"00G0"_s << false;
    QTest::newRow("empty") << QString() << false;
}

void tst_Frames::directionField()
{
    QFETCH(QString, sndDir);
    QFETCH(bool, valid);
    QCOMPARE(isValidDirectionField(sndDir), valid);
}

void tst_Frames::formatMHz_data()
{
    QTest::addColumn<double>("mhz");
    QTest::addColumn<QString>("localeName");
    QTest::addColumn<QString>("shown");
    QTest::newRow("14.050") << 14.05 << u"C"_s << u"14.050"_s;
    QTest::newRow("leading zero below 10") << 7.0 << u"C"_s << u"07.000"_s;
    QTest::newRow("rounded to three places") << 14.0505 << u"C"_s << u"14.051"_s;
    QTest::newRow("comma locale") << 14.05 << u"de_DE"_s << u"14,050"_s;
    QTest::newRow("comma locale below 10") << 6.95 << u"fr_FR"_s << u"06,950"_s;
    QTest::newRow("above 100 MHz") << 167.77215 << u"C"_s << u"167.772"_s;
}

void tst_Frames::formatMHz()
{
    QFETCH(double, mhz);
    QFETCH(QString, localeName);
    QFETCH(QString, shown);
    QCOMPARE(tarvik::formatMHz(mhz, QLocale(localeName)), shown);
}

QTEST_GUILESS_MAIN(tst_Frames)
#include "tst_frames.moc"

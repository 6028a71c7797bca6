// The port's serial trace, over a real pseudo-terminal: what crosses the line is
// recorded byte-exact and the file turns over at its size limit. A port numbered below
// 1 names no device.

#include "commport.h"
#include "ptypeer.h"
#include "serialtrace.h"

#include <QDir>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

using namespace tarvik;
using namespace Qt::StringLiterals;

namespace {
QStringList linesOf(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts);
}

// Each line: the wall-clock time to the millisecond, then what is expected.
void expectLines(const QStringList &lines, const QStringList &expected)
{
    static const QRegularExpression stamp(
        u"^\\d{4}-\\d\\d-\\d\\d \\d\\d:\\d\\d:\\d\\d\\.\\d{3} "_s);
    QCOMPARE(lines.size(), expected.size());
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const auto match = stamp.match(lines[i]);
        QVERIFY2(match.hasMatch(), qPrintable(lines[i]));
        QCOMPARE(lines[i].mid(match.capturedLength()), expected[i]);
    }
}

void readAll(CommPort &port, qint64 count)
{
    QTRY_VERIFY(port.serialPort()->bytesAvailable() >= count);
    while (port.readByte()) {
    }
}
} // namespace

class tst_SerialTrace : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // A poll and its answer, read a byte at a time as the panel reads, then a hang-up.
    void traceOfALine()
    {
        test::PtyPeer peer;
        QTemporaryDir dir;
        SerialTrace trace(nullptr);
        QVERIFY(trace.open(dir.filePath(u"trace.log"_s)));
        CommPort port(nullptr);
        port.setTrace(&trace);
        port.setRunOverride(peer.slavePath());
        QVERIFY(port.setSettings(u" 9600, n,8,1"_s));
        QVERIFY(port.openLine());

        QVERIFY(port.write(QByteArray::fromHex("3f410d")));
        QCOMPARE(peer.readExactly(3), QByteArray::fromHex("3f410d"));
        peer.write(QByteArray::fromHex("4041000102"));
        readAll(port, 5);
        peer.write(QByteArray::fromHex("0d"));
        readAll(port, 1);
        peer.closeMaster();
        QTRY_VERIFY((port.readByte(), !port.isOpen()));

        // Not closed: the timer has to write it out by itself.
        QTRY_COMPARE(linesOf(trace.fileName()).size(), 6);
        expectLines(linesOf(trace.fileName()),
                    {u"OPEN %1 9600,N,8,1"_s.arg(peer.slavePath()), u"TX 3F 41 0D"_s,
                     u"RX 40 41 00 01 02"_s, u"RX 0D"_s, u"LOST "_s + peer.slavePath(),
                     u"CLOSE "_s + peer.slavePath()});
    }

    void rotation_data()
    {
        QTest::addColumn<bool>("flushEach");
        QTest::newRow("written out at the end") << false;
        QTest::newRow("written out line by line") << true;
    }
    // Lines of 36 bytes and a limit of 100: two lines a file, the last two files kept.
    void rotation()
    {
        QFETCH(bool, flushEach);
        QTemporaryDir dir;
        const QString path = dir.filePath(u"trace.log"_s);
        {
            SerialTrace trace(nullptr);
            trace.setMaxFileSize(100);
            QVERIFY(trace.open(path));
            for (char i = 0; i < 7; ++i) {
                trace.transmitted(QByteArray::fromHex("3f41") + i);
                if (flushEach)
                    QVERIFY(trace.flush());
            }
        }
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files),
                 (QStringList{u"trace.log"_s, u"trace.log.1"_s}));
        expectLines(linesOf(path + u".1"_s) + linesOf(path),
                    {u"TX 3F 41 04"_s, u"TX 3F 41 05"_s, u"TX 3F 41 06"_s});
    }

    void portNumberBelowOne()
    {
        for (const QString &comPort : {u"0"_s, u"-3"_s}) {
            CommPort port(nullptr);
            port.setCommPort(comPort);
            QCOMPARE(port.deviceName(), QString());
            QVERIFY(!port.openLine());
            QCOMPARE(port.notAvailableText(),
                     u"COM %1: not available. Check Com Port setting."_s.arg(comPort));
            QVERIFY(port.failureAdvice().contains(u"numbered from 1"_s));
        }
    }
};

QTEST_GUILESS_MAIN(tst_SerialTrace)
#include "tst_serialtrace.moc"

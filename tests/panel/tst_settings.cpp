// Stored value -> value in use. Each row leaves a settings file as an earlier run or a
// hand editor might have, starts the panel on it and closes it again: what the close
// writes back is the value the panel used, and a value it cannot use gives way to the
// default without a word. Polling runs at the interval written back, the line at the
// speed written back, and the file is clean text afterwards.

#include "panelfixture.h"

#include <QCheckBox>
#include <QRandomGenerator>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

Q_DECLARE_METATYPE(tarvik::Key)

class tst_Settings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void storedValue_data();
    void storedValue();
    void unwritableFolderIsReportedOnce();
};

void tst_Settings::storedValue_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<Key>("key");
    QTest::addColumn<QString>("inUse");
    const auto row = [](const char *tag, const QByteArray &file, Key key, const char *inUse) {
        QTest::newRow(tag) << file << key << QString::fromLatin1(inUse);
    };
    const std::pair<Key, const char *> defaults[] = {
        {Key::ComPort, "1"},        {Key::Settings, "4800,n,8,1"},
        {Key::PositionLeft, "165"}, {Key::PositionTop, "450"},
        {Key::Retracted, "0"},      {Key::SndDir, "0000"},
        {Key::Poll, "500"},         {Key::Vastor, "False"},
        {Key::OnTop, "0"},          {Key::Style, "0"},
        {Key::Height, ""}};
    for (const auto &[key, value] : defaults)
        QTest::addRow("nothing stored: %s", settingKey(key).name.data())
            << QByteArray() << key << QString::fromLatin1(value);
    const auto startUp = [](const char *line) {
        return "[StartUp]\n" + QByteArray(line) + '\n';
    };
    row("Poll highest", startUp("Poll=10000"), Key::Poll, "10000");
    row("Poll lowest", startUp("Poll=200"), Key::Poll, "200");
    row("Poll below range", startUp("Poll=199"), Key::Poll, "500");
    row("Poll above range", startUp("Poll=10001"), Key::Poll, "500");
    row("Poll beyond 16 bits", startUp("Poll=70000"), Key::Poll, "500");
    row("Poll not a number", startUp("Poll=fast"), Key::Poll, "500");
    row("ComPort device path", startUp("ComPort=/dev/ttyUSB0"), Key::ComPort, "/dev/ttyUSB0");
    row("ComPort zero", startUp("ComPort=0"), Key::ComPort, "1");
    row("ComPort beyond 16 bits", startUp("ComPort=40000"), Key::ComPort, "1");
    row("ComPort device name", startUp("ComPort=COM3"), Key::ComPort, "1");
    row("Settings 9600", startUp("Settings=9600,n,8,1"), Key::Settings, "9600,n,8,1");
    row("Settings baud only", startUp("Settings=9600"), Key::Settings, "4800,n,8,1");
    row("Settings garbage", startUp("Settings=fast please"), Key::Settings, "4800,n,8,1");
    row("sndDir reversed", startUp("sndDir=0040"), Key::SndDir, "0040");
    row("sndDir not hex", startUp("sndDir=12G4"), Key::SndDir, "0000");
    row("sndDir three digits", startUp("sndDir=040"), Key::SndDir, "0000");
    row("Vastor True", startUp("Vastor=True"), Key::Vastor, "True");
    row("Vastor lower case is not True", startUp("Vastor=true"), Key::Vastor, "False");
    row("Vastor yes", startUp("Vastor=yes"), Key::Vastor, "False");
    row("OnTop 1", startUp("OnTop=1"), Key::OnTop, "1");
    row("OnTop 2", startUp("OnTop=2"), Key::OnTop, "0");
    row("Position-Left text", startUp("Position-Left=left"), Key::PositionLeft, "165");
    row("Position-Top overflow", startUp("Position-Top=1e400"), Key::PositionTop, "450");
    row("Style unknown is kept", "[Startup]\nStyle=7\n", Key::Style, "7");
    row("section and key in any case", "[startup]\npoll=300\n", Key::Poll, "300");
    row("two spellings of one section", "[StartUp]\nPoll=300\n[STARTUP]\nVastor=True\n",
        Key::Vastor, "True");
    row("blanks and CR", "[StartUp]\n Poll = 300 \r\n", Key::Poll, "300");
    row("control character dropped", startUp("Poll=3\t00"), Key::Poll, "300");
    row("last one wins", startUp("Poll=300\npoll=400"), Key::Poll, "400");
    row("line not UTF-8", startUp("Poll=3\377"), Key::Poll, "500");
    row("no section", "Poll=300\n", Key::Poll, "500");
    row("NUL bytes", QByteArray("[StartUp]\0\nPoll\0=300\n", 21), Key::Poll, "500");
    row("one long line", "[StartUp]\nPoll=" + QByteArray(1 << 20, '9'), Key::Poll, "500");
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &c : noise)
        c = char(random.bounded(256));
    row("64 kB of binary garbage", noise, Key::Poll, "500");
}

void tst_Settings::storedValue()
{
    QFETCH(QByteArray, file);
    QFETCH(Key, key);
    PanelFixture f;
    if (!file.isEmpty())
        f.presetFile(file);
    frm_main &w = f.start();
    QVERIFY(w.MSComm1().isOpen());
    w.close();
    QTEST(f.store->value(key), "inUse");
    QVERIFY(f.messages.isEmpty());
    QCOMPARE(QString::number(w.Timer1()->interval()), f.store->value(Key::Poll));
    const speed_t speeds[] = {B4800, B9600};
    const termios line = f.peer.attributes();
    QCOMPARE(::cfgetospeed(&line), speeds[f.store->value(Key::Settings).startsWith(u"9600")]);
    QCOMPARE(w.chkOnTop()->isChecked(), f.store->value(Key::OnTop) == u"1");
    QFile written(f.path());
    QVERIFY(written.open(QIODevice::ReadOnly));
    const QByteArray bytes = written.readAll();
    QVERIFY(bytes.contains("[StartUp]\nComPort="));
    for (const char c : bytes)
        QVERIFY(c == '\n' || uchar(c) >= 0x20);
}

// A settings "folder" that is really a file cannot be written, even by root.
void tst_Settings::unwritableFolderIsReportedOnce()
{
    QTemporaryDir dir;
    QFile blocker(dir.filePath(u"blocked"_s));
    QVERIFY(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    PanelFixture f(blocker.fileName());
    frm_main &w = f.start();
    w.action(u"mnuFull"_s)->trigger();
    w.chkOnTop()->click();
    QTRY_COMPARE(f.messages.size(), 1);
    QVERIFY(f.messages.first().contains(blocker.fileName()));
    f.peer.readAvailable();
    w.Timer1()->start(10);
    QCOMPARE(f.peer.readExactly(3), kRequest); // polling on
    w.close();
    QCOMPARE(f.messages.size(), 1);
}

QTEST_MAIN(tst_Settings)
#include "tst_settings.moc"

// Settings files a station can end up with: binary garbage, or a file or folder the
// operator may not write. The panel starts, keeps running and polling, says so once,
// and never damages a file it cannot write.
//
// Permissions mean nothing to root, so when run as root the permission cases run
// again in a copy of this program under an unprivileged user (setpriv), and this
// process only checks how that went.

#include "panelfixture.h"

#include <QCheckBox>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QStandardPaths>

#include <sys/stat.h>
#include <unistd.h>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
const QByteArray kIdle = QByteArray::fromHex("404100157048000031300d");
const QByteArray kStoredFile = "[StartUp]\nComPort=1\nSettings=4800,n,8,1\nPosition-Left=165\n"
                               "Position-Top=450\nretracted=0\nsndDir=0000\nPoll=300\n"
                               "Vastor=False\nOnTop=0\nStyle=0\n";
constexpr uid_t kNobody = 65534;

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

// The panel still polls: a request goes out and a reply turns the lamp green.
void expectPolling(PanelFixture &f)
{
    QByteArray wire;
    QTRY_VERIFY((wire += f.peer.readAvailable()).contains(QByteArray::fromHex("3f410d")));
    f.peer.write(kIdle);
    QTRY_COMPARE(f.window->indicator(u"Connected"_s)->colourName(), u"green"_s);
}
} // namespace

class tst_BrokenSettings : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void garbageFileStartsOnDefaults();
    void readOnly_data();
    void readOnly();
};

void tst_BrokenSettings::garbageFileStartsOnDefaults()
{
    QTemporaryDir dir;
    QByteArray noise(64 * 1024, Qt::Uninitialized);
    QRandomGenerator random(7);
    for (char &c : noise)
        c = char(random.bounded(256));
    QVERIFY(writeFile(dir.filePath(u"TarvikDesk.conf"_s), noise));

    PanelFixture f(dir.path());
    frm_main &w = f.start();
    QCOMPARE(w.pollrate(), 500);
    QCOMPARE(w.sndDir(), u"0000"_s);
    QCOMPARE(w.MSComm1().settings(), u"4800,n,8,1"_s);
    QVERIFY(w.MSComm1().isOpen());
    QVERIFY(f.messages->texts.isEmpty());
    expectPolling(f);
    if (QTest::currentTestFailed())
        return;

    // The operator's next change leaves a clean file behind.
    w.chkOnTop()->click();
    const QByteArray written = fileBytes(f.path());
    QVERIFY(written.startsWith("[StartUp]\nComPort=1\n"));
    QVERIFY(written.contains("OnTop=1\n"));
    for (const char c : written)
        QVERIFY(c == '\n' || uchar(c) >= 0x20);
}

void tst_BrokenSettings::readOnly_data()
{
    QTest::addColumn<bool>("folderToo");
    QTest::newRow("read-only file") << false;
    QTest::newRow("read-only folder") << true;
}

void tst_BrokenSettings::readOnly()
{
    QFETCH(bool, folderToo);
    if (::geteuid() == 0) {
        const QString setpriv = QStandardPaths::findExecutable(u"setpriv"_s);
        if (setpriv.isEmpty())
            QSKIP("setpriv is needed to drop root");
        // A copy the unprivileged user can reach wherever the build tree lives.
        QTemporaryDir copyDir;
        QVERIFY(QFile::setPermissions(copyDir.path(), QFile::ReadOwner | QFile::WriteOwner |
                                                          QFile::ExeOwner | QFile::ReadOther |
                                                          QFile::ExeOther));
        const QString self = copyDir.filePath(u"tst_brokensettings"_s);
        QVERIFY(QFile::copy(QCoreApplication::applicationFilePath(), self));
        QProcess child;
        child.setProcessChannelMode(QProcess::MergedChannels);
        child.start(setpriv, {u"--reuid=%1"_s.arg(kNobody), u"--regid=%1"_s.arg(kNobody),
                              u"--clear-groups"_s, self,
                              u"readOnly:%1"_s.arg(QString::fromLatin1(QTest::currentDataTag()))});
        QVERIFY(child.waitForFinished(120000));
        const QString output = QString::fromLocal8Bit(child.readAll());
        QVERIFY2(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0,
                 qPrintable(output));
        QVERIFY2(output.contains(u"PASS   : tst_BrokenSettings::readOnly("_s), qPrintable(output));
        return;
    }

    QTemporaryDir dir;
    const QString path = dir.filePath(u"TarvikDesk.conf"_s);
    QVERIFY(writeFile(path, kStoredFile));
    QVERIFY(::chmod(QFile::encodeName(path).constData(), 0444) == 0);
    if (folderToo)
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0555) == 0);
    auto restore = qScopeGuard([&] { ::chmod(QFile::encodeName(dir.path()).constData(), 0755); });

    {
        PanelFixture f(dir.path());
        frm_main &w = f.start();
        QCOMPARE(w.pollrate(), 300); // the stored values are read
        // A lock another user left on this pseudo-terminal would stop the port here.
        QVERIFY2(w.MSComm1().isOpen(), qPrintable(w.MSComm1().openErrorString()));
        expectPolling(f);
        if (QTest::currentTestFailed())
            return;
        // Changes that store: On Top twice, and two views.
        w.chkOnTop()->click();
        w.chkOnTop()->click();
        w.action(u"mnuFull"_s)->trigger();
        w.action(u"mnuCompact"_s)->trigger();
        QTRY_COMPARE(f.messages->texts.size(), 1);
        QTest::qWait(200);
        QCOMPARE(f.messages->texts.size(), 1);
        QVERIFY(f.messages->texts.first().contains(u"cannot be saved"_s));
        QVERIFY(w.isVisible());
        expectPolling(f);
        if (QTest::currentTestFailed())
            return;
        w.close();
    }
    QCOMPARE(fileBytes(path), kStoredFile);
    QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden),
             QStringList{u"TarvikDesk.conf"_s});
}

QTEST_MAIN(tst_BrokenSettings)
#include "tst_brokensettings.moc"

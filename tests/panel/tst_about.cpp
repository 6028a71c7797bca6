// The Help menu: the About box, the system-information launcher and the help pages,
// the latter read from where the build puts them beside the program.

#include "frmabout.h"
#include "helpwindow.h"
#include "panelfixture.h"

#include <tarvik/version.h>

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QTextBrowser>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

namespace {
// A stand-in system-information program: it only leaves a mark beside itself.
void writeFakeTool(const QString &path)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("#!/bin/sh\n: > \"$0.started\"\n");
    QVERIFY(file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
}

QString helpFolder()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           u"/../share/tarvik-desk/help"_s);
}
} // namespace

class tst_About : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void cleanup();
    void aboutShowsTitleAndVersion();
    void enterAndEscClose_data();
    void enterAndEscClose();
    void aboutAgainBringsTheSameBox();
    void systemInfo_data();
    void systemInfo();
    void f1OpensHelpAtContents();
    void helpLinksReachPagesThatExist();
    void missingHelpFileIsNamed();

private:
    QByteArray m_path;
    QByteArray m_configDirs;
};

void tst_About::initTestCase()
{
    m_path = qgetenv("PATH");
    m_configDirs = qgetenv("XDG_CONFIG_DIRS");
}

void tst_About::cleanup()
{
    qputenv("PATH", m_path);
    qputenv("XDG_CONFIG_DIRS", m_configDirs);
}

void tst_About::aboutShowsTitleAndVersion()
{
    PanelFixture f;
    frm_main &w = f.start();
    w.action(u"mnuAbout"_s)->trigger();
    auto *box = qobject_cast<frmAbout *>(w.aboutBox());
    QVERIFY(box);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    QVERIFY(w.isVisible());

    QCOMPARE(box->windowTitle(), u"About Tarvik_Desk"_s);
    QCOMPARE(box->findChild<QLabel *>(u"lblTitle"_s)->text(), u"Tarvik_Desk"_s);
    QCOMPARE(box->findChild<QLabel *>(u"lblVersion"_s)->text(),
             u"Version "_s + QLatin1String(version::text));
    // A fixed frame of 5730 x 3555 twips.
    QCOMPARE(box->minimumSize(), box->maximumSize());
    QCOMPARE(box->size(), QSize(382, 237));
    auto *ok = box->findChild<QPushButton *>(u"cmdOK"_s);
    QVERIFY(ok->isDefault());
    QCOMPARE(ok->nextInFocusChain(), box->findChild<QPushButton *>(u"cmdSysInfo"_s));
}

void tst_About::enterAndEscClose_data()
{
    QTest::addColumn<int>("key");
    QTest::newRow("Enter") << int(Qt::Key_Return);
    QTest::newRow("Esc") << int(Qt::Key_Escape);
}

void tst_About::enterAndEscClose()
{
    QFETCH(int, key);
    PanelFixture f;
    frm_main &w = f.start();
    w.action(u"mnuAbout"_s)->trigger();
    QPointer<QWidget> box = w.aboutBox();
    QVERIFY(box);
    QTest::keyClick(box, Qt::Key(key));
    QTRY_VERIFY(box.isNull());
    QCOMPARE(w.aboutBox(), nullptr);
    QVERIFY(f.messages->texts.isEmpty());
}

void tst_About::aboutAgainBringsTheSameBox()
{
    PanelFixture f;
    frm_main &w = f.start();
    w.action(u"mnuAbout"_s)->trigger();
    QPointer<QWidget> first = w.aboutBox();
    QVERIFY(first);
    // Loading would set the version line again; mark it to see that it does not.
    auto *version = first->findChild<QLabel *>(u"lblVersion"_s);
    version->setText(u"marked"_s);

    w.action(u"mnuAbout"_s)->trigger();
    QCOMPARE(w.aboutBox(), first.data());
    QCOMPARE(w.findChildren<frmAbout *>().size(), 1);
    QCOMPARE(version->text(), u"marked"_s);
}

void tst_About::systemInfo_data()
{
    // configured: SystemInfo/Path in the system-wide settings ("%1" is the tools
    // folder); a null string writes no settings file. tools: fake programs on the PATH.
    QTest::addColumn<QString>("configured");
    QTest::addColumn<QStringList>("tools");
    QTest::addColumn<QString>("started");
    QTest::newRow("configured path is started as it stands")
        << u"%1/my sysinfo"_s << QStringList{u"my sysinfo"_s} << u"my sysinfo"_s;
    QTest::newRow("configured path missing: no second lookup")
        << u"%1/gone"_s << QStringList{u"hardinfo"_s} << QString();
    QTest::newRow("configured path empty: no second lookup")
        << u""_s << QStringList{u"hardinfo"_s} << QString();
    QTest::newRow("hardinfo on the PATH")
        << QString() << QStringList{u"hardinfo"_s} << u"hardinfo"_s;
    QTest::newRow("hardinfo before the others")
        << QString() << QStringList{u"lshw-gtk"_s, u"hardinfo2"_s, u"hardinfo"_s} << u"hardinfo"_s;
    QTest::newRow("nothing to start") << QString() << QStringList() << QString();
}

void tst_About::systemInfo()
{
    QFETCH(QString, configured);
    QFETCH(QStringList, tools);
    QFETCH(QString, started);
    QTemporaryDir dir;
    // A space in the folder: a shell would split the path.
    const QString bin = dir.path() + u"/system tools"_s;
    const QString xdg = dir.path() + u"/xdg"_s;
    QVERIFY(QDir().mkpath(bin) && QDir().mkpath(xdg + u"/TarvikDesk"_s));
    for (const QString &name : tools)
        writeFakeTool(bin + u'/' + name);
    if (!configured.isNull()) {
        QFile conf(xdg + u"/TarvikDesk/TarvikDesk.conf"_s);
        QVERIFY(conf.open(QIODevice::WriteOnly));
        const QString path = configured.isEmpty() ? configured : configured.arg(bin);
        conf.write("[SystemInfo]\nPath=" + path.toUtf8() + "\n");
    }
    qputenv("PATH", QFile::encodeName(bin));
    qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdg));

    PanelFixture f;
    frm_main &w = f.start();
    w.action(u"mnuAbout"_s)->trigger();
    QTest::mouseClick(w.aboutBox()->findChild<QPushButton *>(u"cmdSysInfo"_s), Qt::LeftButton);
    if (started.isEmpty()) {
        QCOMPARE(f.messages->texts,
                 QStringList{u"System Information Is Unavailable At This Time"_s});
        QCOMPARE(f.messages->titles, QStringList{u"Tarvik_Desk"_s});
    } else {
        QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(bin + u'/' + started + u".started"_s), 20000);
        QVERIFY(f.messages->texts.isEmpty());
    }
    QVERIFY(w.aboutBox()); // the box stays open either way
}

void tst_About::f1OpensHelpAtContents()
{
    PanelFixture f;
    frm_main &w = f.start();
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    auto *help = qobject_cast<HelpWindow *>(w.helpWindow());
    QVERIFY(help);
    QVERIFY(help->isVisible());
    QVERIFY(help->isWindow());
    QCOMPARE(help->browser()->source(), QUrl::fromLocalFile(helpFolder() + u"/index.html"_s));
    QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
    QVERIFY(help->windowTitle().contains(u"Contents"_s));

    // Read on elsewhere, then F1 again: the same window, back at the contents.
    help->browser()->setSource(QUrl(u"setup.html"_s));
    QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: The Setup dialog"_s);
    w.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&w));
    QTest::keyClick(&w, Qt::Key_F1);
    QCOMPARE(w.helpWindow(), help);
    QCOMPARE(w.findChildren<HelpWindow *>().size(), 1);
    QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
}

void tst_About::helpLinksReachPagesThatExist()
{
    const QDir folder(helpFolder());
    const QStringList pages = folder.entryList({u"*.html"_s}, QDir::Files);
    QVERIFY(pages.contains(u"index.html"_s));
    static const QRegularExpression link(uR"(href="([^"#]*)(?:#([^"]*))?")"_s);
    for (const QString &page : pages) {
        QFile file(folder.filePath(page));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString html = QString::fromUtf8(file.readAll());
        QVERIFY2(!html.contains(u"<script"_s, Qt::CaseInsensitive), qPrintable(page));
        QVERIFY2(!html.contains(u"://"_s), qPrintable(page)); // nothing from outside
        for (auto it = link.globalMatch(html); it.hasNext();) {
            const auto match = it.next();
            const QString target = match.captured(1).isEmpty() ? page : match.captured(1);
            QVERIFY2(pages.contains(target), qPrintable(page + u" -> "_s + target));
            if (match.captured(2).isEmpty())
                continue;
            QFile targetFile(folder.filePath(target));
            QVERIFY(targetFile.open(QIODevice::ReadOnly));
            QVERIFY2(targetFile.readAll().contains("name=\"" + match.captured(2).toUtf8() + '"'),
                     qPrintable(page + u" -> "_s + match.captured(0)));
        }
    }
}

void tst_About::missingHelpFileIsNamed()
{
    QTemporaryDir dir;
    const QString path = dir.path() + u"/gone/index.html"_s;
    auto owner = std::make_unique<QWidget>();
    auto *help = new HelpWindow(path, owner.get());
    QVERIFY(
        help->browser()->toPlainText().contains(u"The help file %1 was not found."_s.arg(path)));
}

QTEST_MAIN(tst_About)
#include "tst_about.moc"

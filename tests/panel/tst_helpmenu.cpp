// The Help menu: the About box, its system-information launcher, and the help pages
// read from where the build puts them beside the program.

#include "aboutbox.h"
#include "helpwindow.h"
#include "panelfixture.h"

#include <tarvik/version.h>

#include <QDir>
#include <QLabel>
#include <QTextBrowser>

using namespace tarvik;
using namespace tarvik::test;
using namespace Qt::StringLiterals;

class tst_HelpMenu : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Enter closes it (Escape is walked over the accessibility bus).
    void aboutBox()
    {
        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuAbout"_s);
        QPointer<QWidget> box = w.aboutBox();
        QVERIFY(box && box->isVisible() && !box->isModal());
        QCOMPARE(box->windowTitle(), u"About Tarvik_Desk"_s);
        auto *version = box->findChild<QLabel *>(u"lblVersion"_s);
        QCOMPARE(version->text(), u"Version "_s + QLatin1String(version::text));
        QCOMPARE(box->size(), QSize(382, 237)); // a fixed 5730 x 3555 twips
        QCOMPARE(box->minimumSize(), box->maximumSize());
        version->setText(u"marked"_s); // About again brings the same box, not loaded again
        f.press(u"mnuAbout"_s);
        QCOMPARE(w.aboutBox(), box.data());
        QCOMPARE(version->text(), u"marked"_s);
        QTest::keyClick(box, Qt::Key_Return);
        QTRY_VERIFY(box.isNull());
        QVERIFY(f.messages.isEmpty());
    }

    void systemInfo_data()
    {
        // configured: SystemInfo/Path in the system-wide settings ("%1" is the tools
        // folder), null for no settings file; tools: fake programs on the PATH.
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QStringList>("tools");
        QTest::addColumn<QString>("started");
        QTest::newRow("configured path is started as it stands")
            << u"%1/my sysinfo"_s << QStringList{u"my sysinfo"_s} << u"my sysinfo"_s;
        QTest::newRow("hardinfo before the others")
            << QString() << QStringList{u"lshw-gtk"_s, u"hardinfo2"_s, u"hardinfo"_s}
            << u"hardinfo"_s;
        QTest::newRow("nothing to start") << QString() << QStringList() << QString();
    }

    void systemInfo()
    {
        QFETCH(QString, configured);
        QFETCH(QStringList, tools);
        QFETCH(QString, started);
        QTemporaryDir dir;
        const QString bin = dir.path() + u"/system tools"_s; // a shell would split it
        const QString xdg = dir.path() + u"/xdg"_s;
        QVERIFY(QDir().mkpath(bin) && QDir().mkpath(xdg + u"/TarvikDesk"_s));
        for (const QString &name : tools) {
            QFile tool(bin + u'/' + name); // it only leaves a mark beside itself
            QVERIFY(tool.open(QIODevice::WriteOnly));
            tool.write("#!/bin/sh\n: > \"$0.started\"\n");
            QVERIFY(tool.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
        }
        if (!configured.isNull()) {
            QFile conf(xdg + u"/TarvikDesk/TarvikDesk.conf"_s);
            QVERIFY(conf.open(QIODevice::WriteOnly));
            conf.write("[SystemInfo]\nPath=" + QString(configured).replace(u"%1"_s, bin).toUtf8());
        }
        qputenv("PATH", QFile::encodeName(bin));
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(xdg));

        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuAbout"_s);
        QTest::mouseClick(w.aboutBox()->findChild<QPushButton *>(u"cmdSysInfo"_s), Qt::LeftButton);
        if (started.isEmpty())
            QCOMPARE(f.messages, QStringList{u"System Information Is Unavailable At This Time"_s});
        else
            QTRY_VERIFY_WITH_TIMEOUT(QFile::exists(bin + u'/' + started + u".started"_s), 20000);
        QVERIFY(w.aboutBox()); // the box stays open either way
    }

    // Contents opens the help there; read on elsewhere, Contents again: the same window,
    // back at the contents. (F1 is walked over the accessibility bus.)
    void helpOpensAtContents()
    {
        PanelFixture f;
        MainWindow &w = f.start();
        f.press(u"mnuContents"_s);
        auto *help = qobject_cast<HelpWindow *>(w.helpWindow());
        QVERIFY(help && help->isVisible() && help->isWindow());
        QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
        help->browser()->setSource(QUrl(u"setup.html"_s));
        f.press(u"mnuContents"_s);
        QCOMPARE(w.helpWindow(), help);
        QCOMPARE(help->browser()->documentTitle(), u"Tarvik_Desk Help: Contents"_s);
    }
};

QTEST_MAIN(tst_HelpMenu)
#include "tst_helpmenu.moc"

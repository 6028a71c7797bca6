#include "sysinfo.h"

#include <tarvik/version.h>

#include <QFileInfo>
#include <QMessageBox>
#include <QProcess>
#include <QSettings>
#include <QStandardPaths>

namespace tarvik {

namespace {
#ifdef Q_OS_WIN
const QString kPathKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO");
const QString kPathValue = QStringLiteral("PATH");
const QString kFolderKey = QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location");
const QString kFolderValue = QStringLiteral("MSINFO");
const QString kToolFile = QStringLiteral("\\MSINFO32.EXE");
#else
const QString kPathKey = QStringLiteral("SystemInfo");
const QString kPathValue = QStringLiteral("Path");
// System-information programs Debian ships, most useful first.
const QStringList kKnownTools{QStringLiteral("hardinfo"), QStringLiteral("hardinfo2"),
                              QStringLiteral("kinfocenter"), QStringLiteral("lshw-gtk")};
#endif

void reportUnavailable(QWidget *parent)
{
    QMessageBox box(QMessageBox::Information, QString::fromLatin1(kApplicationTitle),
                    QStringLiteral("System Information Is Unavailable At This Time"),
                    QMessageBox::Ok, parent);
    box.exec();
}

// The second place to look, when no path has been configured.
QString locateTool()
{
#ifdef Q_OS_WIN
    QString folder;
    if (!machineValue(KeyRoot::LocalMachine, kFolderKey, kFolderValue, folder))
        return QString();
    const QString path = folder + kToolFile;
    return QFileInfo::exists(path) ? path : QString();
#else
    for (const QString &tool : kKnownTools) {
        const QString path = QStandardPaths::findExecutable(tool);
        if (!path.isEmpty())
            return path;
    }
    return QString();
#endif
}
} // namespace

bool machineValue(KeyRoot root, const QString &keyName, const QString &valueName, QString &value)
{
    Q_UNUSED(root); // the only root there is
#ifdef Q_OS_WIN
    const QSettings key(QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyName,
                        QSettings::Registry64Format);
#else
    // The native format here is an INI file named .conf, the usual name under /etc/xdg.
    QSettings key(QSettings::NativeFormat, QSettings::SystemScope, QStringLiteral("TarvikDesk"),
                  QStringLiteral("TarvikDesk"));
    key.beginGroup(keyName);
#endif
    if (!key.contains(valueName)) {
        value.clear();
        return false;
    }
    // An unquoted comma splits an INI value into a list; a path may hold one.
    value = key.value(valueName).toStringList().join(QLatin1Char(','));
    return true;
}

void startSystemInfo(QWidget *parent)
{
    // A configured path is the administrator's choice and is used as it stands; if
    // nothing is there, starting it fails and the operator hears so, rather than
    // something else being started in its place.
    QString path;
    if (!machineValue(KeyRoot::LocalMachine, kPathKey, kPathValue, path))
        path = locateTool();
    // Started directly, never through a shell: the path is not a command line.
    if (path.isEmpty() || !QProcess::startDetached(path, QStringList()))
        reportUnavailable(parent);
}

} // namespace tarvik

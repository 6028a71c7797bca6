#include "settingsstore.h"

#include "latin1.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QStringList>

#include <cstdio>

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace tarvik {

namespace {

// The copy a write fills before renaming it over the file. Its name is fixed and only
// this program writes it, so a leftover from a killed write can be told from any file
// of the user's: nothing else beside the settings file is ever removed.
QString copyPath(const QString &path)
{
    const QFileInfo file(path);
    return file.dir().filePath(QStringLiteral(".tarvik-save.") + file.fileName() +
                               QStringLiteral(".tmp"));
}

// A writer holds FILE.lock while it writes; the copy is only removed while nobody does.
void removeLeftoverCopy(const QString &path)
{
    const QString copy = copyPath(path);
    if (!QFileInfo::exists(copy))
        return;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (lock.tryLock(0))
        QFile::remove(copy);
}

// More than any chain a dotfiles manager makes; a loop of links ends here too.
constexpr int kMostLinks = 40;

// The file a write replaces: the end of a chain of symbolic links (one made by a
// dotfiles manager, say), so that every link in the chain goes on naming the one file.
QString endOfLinks(const QString &path)
{
    QFileInfo info(path);
    for (int i = 0; i < kMostLinks && info.isSymLink(); ++i)
        info.setFile(info.symLinkTarget());
    return info.absoluteFilePath();
}

// The bytes go to the copy, reach the disk, and the copy is renamed over the file, so
// the file is at every moment either the old one whole or the new one whole. The copy
// lies beside the file itself, past every link, so the rename stays in one directory.
bool replaceFile(const QString &target, const QByteArray &bytes)
{
    const QString copy = copyPath(target);
    QFile out(copy);
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    if (QFileInfo::exists(target))
        out.setPermissions(QFile::permissions(target));
    const bool whole = out.write(bytes) == bytes.size() && out.flush() &&
                       ::fsync(out.handle()) == 0 && out.error() == QFileDevice::NoError;
    out.close();
    if (!whole ||
        ::rename(QFile::encodeName(copy).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(copy);
        return false;
    }
    return true;
}

// Long enough for any write of a file this size; a lock whose owner died is taken over
// at once, so this only runs out when a live writer hangs.
constexpr int kLockWaitMs = 10000;

bool sameName(const QString &a, const QString &b)
{
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

} // namespace

QString SettingsStore::defaultPath()
{
    const QString app = latin1(kApplication);
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) + u'/' + app +
           u'/' + app + QStringLiteral(".conf");
}

SettingsStore::SettingsStore(const QString &filePath, QObject *parent)
    : QObject(parent)
    , m_path(filePath)
{
    removeLeftoverCopy(endOfLinks(filePath));
    readFile();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath() const
{
    return m_path;
}

// Judged by the mode and the mount, never by trying: root may write a file whose mode
// says no, and an administrator who made it 0444 meant it to stay as it is.
QString SettingsStore::whyNotWritable() const
{
    const QString target = endOfLinks(m_path);
    const QByteArray name = QFile::encodeName(target);
    struct stat file {
    };
    const bool exists = ::stat(name.constData(), &file) == 0;
    if (exists && (file.st_mode & S_IWUSR) == 0)
        return QStringLiteral("the file is read-only (mode %1)")
            .arg(file.st_mode & 07777, 4, 8, QLatin1Char('0'));
    const QByteArray where = exists ? name : QFile::encodeName(QFileInfo(target).absolutePath());
    struct statvfs mount {
    };
    if (::statvfs(where.constData(), &mount) == 0 && (mount.f_flag & ST_RDONLY) != 0)
        return QStringLiteral("it lies on a read-only file system");
    return {};
}

void SettingsStore::readFile()
{
    QFile file(m_path);
    m_file = file.open(QIODevice::ReadOnly) ? IniFile::parse(file.readAll()) : IniFile();
}

QString SettingsStore::text(const QString &section, const QString &key) const
{
    if (!IniFile::isValidName(section) || !IniFile::isValidName(key))
        return {};
    return m_file.value(section, key);
}

bool SettingsStore::setText(const QString &section, const QString &key, const QString &value)
{
    if (!IniFile::isValidName(section) || !IniFile::isValidName(key))
        return false;
    return store({Entry{section, key, value}});
}

QString SettingsStore::value(Key key) const
{
    const SettingKey &k = settingKey(key);
    return m_file.value(latin1(k.section), latin1(k.name));
}

bool SettingsStore::setValue(Key key, const QString &value)
{
    return setValues({{key, value}});
}

bool SettingsStore::setValues(const SettingValues &values)
{
    QList<Entry> entries;
    entries.reserve(values.size());
    for (const auto &[key, value] : values) {
        const SettingKey &k = settingKey(key);
        entries.append(Entry{latin1(k.section), latin1(k.name), value});
    }
    return store(entries);
}

// A value that could not be written is kept for this run and goes out with the next
// write that works.
bool SettingsStore::store(const QList<Entry> &entries)
{
    QList<Entry> done;
    for (const auto &[section, key, value] : entries) {
        const auto [s, k] = m_file.spelling(section, key);
        m_file.setValue(s, k, value);
        m_unwritten.removeIf([&s = s, &k = k](const Entry &e) {
            return sameName(std::get<0>(e), s) && sameName(std::get<1>(e), k);
        });
        m_unwritten.append(Entry{s, k, value});
        done.append(Entry{s, k, IniFile::cleanValue(value)});
    }
    const bool ok = write();
    for (const auto &[section, key, value] : done)
        Q_EMIT stored(section, key, value);
    if (ok)
        Q_EMIT written();
    else
        Q_EMIT writeFailed(m_path);
    return ok;
}

// The file is read again under the lock, whoever wrote it last, and only the values
// this program stored are laid over it.
bool SettingsStore::write()
{
    if (!whyNotWritable().isEmpty())
        return false;
    const QString target = endOfLinks(m_path);
    QDir().mkpath(QFileInfo(target).absolutePath());
    QLockFile lock(target + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    reload();
    if (!replaceFile(target, m_file.render()))
        return false;
    m_unwritten.clear();
    return true;
}

// The file as it is on disk now, with what this program stored and has not written.
void SettingsStore::reload()
{
    readFile();
    for (const auto &[section, key, value] : std::as_const(m_unwritten))
        m_file.setValue(section, key, value);
}

void SettingsStore::remember(const SettingValues &values)
{
    for (const auto &[key, value] : values)
        m_known.insert(int(key), IniFile::cleanValue(value));
}

bool SettingsStore::saveChanges(const SettingValues &values)
{
    SettingValues changed;
    for (const auto &[key, value] : values)
        if (m_known.value(int(key), QStringLiteral("\n")) != IniFile::cleanValue(value))
            changed.append({key, value});
    if (changed.isEmpty())
        return true;
    remember(changed);
    return setValues(changed);
}

} // namespace tarvik

#include "settingsstore.h"

#include "latin1.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

namespace tarvik {

namespace {

// A kill between QSaveFile naming its copy of the file and renaming it into place
// leaves the copy behind, as FILE.XXXXXX with six letters. An older one than this was
// not being written by anyone.
constexpr qint64 kLeftoverAgeSeconds = 60;

// A writer holds FILE.lock while it writes; a copy is only removed while nobody does.
void removeLeftoverCopies(const QString &path)
{
    const QFileInfo file(path);
    const QRegularExpression copyName(QRegularExpression::anchoredPattern(
        QRegularExpression::escape(file.fileName()) + QStringLiteral("\\.[A-Za-z]{6}")));
    const QDateTime cutoff = QDateTime::currentDateTime().addSecs(-kLeftoverAgeSeconds);
    QStringList leftovers;
    const QFileInfoList entries =
        file.dir().entryInfoList(QDir::Files | QDir::Hidden | QDir::NoSymLinks);
    for (const QFileInfo &entry : entries)
        if (copyName.match(entry.fileName()).hasMatch() && entry.lastModified() < cutoff)
            leftovers.append(entry.filePath());
    if (leftovers.isEmpty())
        return;
    QLockFile lock(path + QStringLiteral(".lock"));
    if (!lock.tryLock(0))
        return;
    for (const QString &leftover : leftovers)
        QFile::remove(leftover);
}

// Long enough for any write of a file this size; a lock whose owner died is taken over
// at once, so this only runs out when a live writer hangs.
constexpr int kLockWaitMs = 10000;

std::pair<QDateTime, qint64> fileStamp(const QString &path)
{
    const QFileInfo info(path);
    if (!info.exists())
        return {QDateTime(), -1};
    return {info.lastModified(), info.size()};
}

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
    removeLeftoverCopies(filePath);
    readFile();
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath() const
{
    return m_path;
}

// The stamp is taken first: a write that slips in before the read only makes the next
// write read the file again.
void SettingsStore::readFile()
{
    std::tie(m_seenModified, m_seenSize) = fileStamp(m_path);
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

bool SettingsStore::write()
{
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    QLockFile lock(m_path + QStringLiteral(".lock"));
    if (!lock.tryLock(kLockWaitMs))
        return false;
    if (fileStamp(m_path) != std::pair(m_seenModified, m_seenSize)) {
        readFile();
        for (const auto &[section, key, value] : std::as_const(m_unwritten))
            m_file.setValue(section, key, value);
    }
    const QByteArray bytes = m_file.render();
    QSaveFile out(m_path);
    // A write cut short at flush time (a full disk, a file size limit) does not always
    // make the commit fail, and the short file would replace the good one: hence flush.
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.flush() ||
        out.error() != QFileDevice::NoError || !out.commit())
        return false;
    std::tie(m_seenModified, m_seenSize) = fileStamp(m_path);
    m_unwritten.clear();
    return true;
}

} // namespace tarvik

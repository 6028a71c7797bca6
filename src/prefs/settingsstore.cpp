#include "settingsstore.h"

#include "latin1.h"

#include <QDateTime>
#include <QDir>
#include <QFileDevice>
#include <QFileInfo>
#include <QHash>
#include <QIODevice>
#include <QLockFile>
#include <QRegularExpression>
#include <QSet>
#include <QSettings>
#include <QStandardPaths>
#include <QStringList>

namespace tarvik {

namespace {

// Every table section is a spelling of this one; the file shows it like this.
QString mainSection()
{
    return latin1(settingKey(Key::ComPort).section);
}

bool isMainSection(QStringView section)
{
    for (const auto &k : kSettingKeys)
        if (section.compare(latin1(k.section), Qt::CaseInsensitive) == 0)
            return true;
    return false;
}

// The table's spelling of a key of the main section, or "" for a key it does not list.
QString tableKeyName(QStringView key)
{
    for (const auto &k : kSettingKeys) {
        const QString name = latin1(k.name);
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return name;
    }
    return {};
}

// Names that survive a trip through the file and through QSettings' key syntax, where
// '/' and '\' separate groups.
bool isValidName(QStringView name)
{
    if (name.isEmpty() || name != name.trimmed())
        return false;
    if (name.front() == u';' || name.front() == u'#')
        return false;
    for (const QChar c : name) {
        if (c.unicode() < 0x20 || c == QChar::ReplacementCharacter)
            return false;
        if (c == u'/' || c == u'\\' || c == u'[' || c == u']' || c == u'=')
            return false;
    }
    return true;
}

// A value is one line of text: control characters would break the line or hide in it.
QString cleanValue(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value)
        if (c.unicode() >= 0x20)
            out.append(c);
    return out.trimmed();
}

QString joinKey(const QString &section, const QString &key)
{
    return section + u'/' + key;
}

// Case variants of a name are one name, spelt as the table spells it or, for names the
// table does not know, as it was first seen.
class NameFolder
{
public:
    QString section(const QString &name)
    {
        if (isMainSection(name))
            return mainSection();
        return firstSpelling(m_sections, name);
    }

    // Without a section the key sits before the first header and keeps that place.
    QString key(const QString &section, const QString &name)
    {
        if (section == mainSection()) {
            const QString known = tableKeyName(name);
            if (!known.isEmpty())
                return joinKey(section, known);
        }
        const QString full = section.isEmpty() ? name : joinKey(section, name);
        return firstSpelling(m_keys, full);
    }

private:
    static QString firstSpelling(QHash<QString, QString> &spellings, const QString &name)
    {
        const QString folded = name.toCaseFolded();
        auto it = spellings.constFind(folded);
        if (it == spellings.constEnd())
            it = spellings.insert(folded, name);
        return *it;
    }

    QHash<QString, QString> m_sections;
    QHash<QString, QString> m_keys;
};

// Reads "[section]" headers and "key=value" lines. The value is the text after the
// first '=', exactly as written but for surrounding blanks: no quotes, no escapes, no
// lists, so a hand-written 9600,n,8,1 stays one text. Whatever cannot be read is skipped
// and the rest of the file still counts; a later duplicate replaces an earlier one.
bool readConf(QIODevice &device, QSettings::SettingsMap &map)
{
    QByteArray data = device.readAll();
    if (data.startsWith("\xEF\xBB\xBF"))
        data.remove(0, 3);

    NameFolder names;
    QString section;
    bool inGoodSection = true;
    for (const QByteArray &rawLine : data.split('\n')) {
        const QString line = QString::fromUtf8(rawLine).trimmed();
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#'))
            continue;
        if (line.contains(QChar::ReplacementCharacter))
            continue; // not UTF-8 text, so not something the operator wrote
        if (line.startsWith(u'[')) {
            const QString name =
                line.endsWith(u']') ? line.mid(1, line.size() - 2).trimmed() : QString();
            // The keys under a header that cannot be read belong to no known section.
            inGoodSection = isValidName(name);
            if (inGoodSection)
                section = names.section(name);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (eq < 0 || !inGoodSection)
            continue;
        const QString key = line.left(eq).trimmed();
        if (!isValidName(key))
            continue;
        map.insert(names.key(section, key), cleanValue(QStringView(line).mid(eq + 1)));
    }
    return true;
}

bool writeConf(QIODevice &device, const QSettings::SettingsMap &map)
{
    // Case-folded section -> its lines. Keys without a section come first, as they must,
    // then the main section with its keys in table order, then the rest as QSettings sorts.
    const QString mainFolded = mainSection().toCaseFolded();
    QStringList sectionOrder{QString(), mainFolded};
    QHash<QString, QString> headers{{QString(), QString()}, {mainFolded, mainSection()}};
    QHash<QString, QStringList> lines;
    QSet<QString> seen;

    for (const auto &k : kSettingKeys) {
        const QString key = joinKey(mainSection(), latin1(k.name));
        const auto it = map.constFind(key);
        if (it != map.constEnd() && !seen.contains(key.toCaseFolded())) {
            seen.insert(key.toCaseFolded());
            lines[mainFolded].append(latin1(k.name) + u'=' + cleanValue(it->toString()));
        }
    }
    for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
        const qsizetype slash = it.key().indexOf(u'/');
        const QString section = slash < 0 ? QString() : it.key().left(slash);
        const QString name = it.key().mid(slash + 1);
        if ((slash >= 0 && !isValidName(section)) || !isValidName(name))
            continue;
        // Two spellings of one name can only meet here when the file changed under us.
        if (seen.contains(it.key().toCaseFolded()))
            continue;
        seen.insert(it.key().toCaseFolded());
        const QString folded = section.toCaseFolded();
        if (!headers.contains(folded)) {
            headers.insert(folded, section);
            sectionOrder.append(folded);
        }
        lines[folded].append(name + u'=' + cleanValue(it->toString()));
    }

    QString text;
    for (const QString &folded : sectionOrder) {
        const QStringList body = lines.value(folded);
        if (body.isEmpty())
            continue;
        if (!folded.isEmpty()) {
            if (!text.isEmpty())
                text += u'\n';
            text += u'[' + headers.value(folded) + QStringLiteral("]\n");
        }
        text += body.join(u'\n') + u'\n';
    }

    const QByteArray bytes = text.toUtf8();
    if (device.write(bytes) != bytes.size())
        return false;
    // QSettings hands us a QSaveFile, which buffers. A write cut short at flush time (a
    // full disk, a file size limit) does not always make its commit fail, and the
    // truncated file would replace the good one; so flush here and refuse to go on.
    if (auto *file = qobject_cast<QFileDevice *>(&device))
        return file->flush() && file->error() == QFileDevice::NoError;
    return true;
}

QSettings::Format confFormat()
{
    static const QSettings::Format format =
        QSettings::registerFormat(QStringLiteral("conf"), readConf, writeConf);
    return format;
}

// A kill between QSaveFile naming its copy of the file and renaming it into place
// leaves the copy behind, as FILE.XXXXXX with six letters. An older one than this was
// not being written by anyone.
constexpr qint64 kLeftoverAgeSeconds = 60;

// QSettings holds FILE.lock while it writes; a copy is only removed while nobody does.
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
    , m_settings(std::make_unique<QSettings>(filePath, confFormat()))
{
    removeLeftoverCopies(filePath);
}

SettingsStore::~SettingsStore() = default;

QString SettingsStore::filePath() const
{
    return m_path;
}

// The file's own spelling of section/key when it holds one, else the table's, else the
// caller's. QSettings compares keys case-sensitively; this is where case stops mattering.
QString SettingsStore::storedKey(const QString &section, const QString &key) const
{
    if (isMainSection(section)) {
        const QString known = tableKeyName(key);
        if (!known.isEmpty())
            return joinKey(mainSection(), known);
    }
    const QString wanted = joinKey(section, key);
    QString sectionSpelling = isMainSection(section) ? mainSection() : section;
    const QStringList keys = m_settings->allKeys();
    for (const QString &stored : keys) {
        if (stored.compare(wanted, Qt::CaseInsensitive) == 0)
            return stored;
        const qsizetype slash = stored.indexOf(u'/');
        if (slash > 0 && QStringView(stored).left(slash).compare(section, Qt::CaseInsensitive) == 0)
            sectionSpelling = stored.left(slash);
    }
    return joinKey(sectionSpelling, key);
}

QString SettingsStore::GetSetting(const QString &section, const QString &key) const
{
    if (!isValidName(section) || !isValidName(key))
        return {};
    return m_settings->value(storedKey(section, key)).toString();
}

bool SettingsStore::SaveSetting(const QString &section, const QString &key, const QString &value)
{
    if (!isValidName(section) || !isValidName(key))
        return false;
    // A value that could not be written is kept for this run and goes out with the next
    // write that works. QSettings alone would drop it with its cache on reopening (it
    // keeps no cache for a file that does not exist yet), hence our own list.
    const QString fullKey = storedKey(section, key);
    const QString text = cleanValue(value);
    m_unwritten.insert(fullKey, text);
    // A failed sync marks the QSettings object for good, so a later write that works
    // would still look failed; a fresh object starts clean.
    if (m_settings->status() != QSettings::NoError) {
        m_settings = std::make_unique<QSettings>(m_path, confFormat());
    }
    for (auto it = m_unwritten.constBegin(); it != m_unwritten.constEnd(); ++it)
        m_settings->setValue(it.key(), it.value());
    m_settings->sync();
    const bool written = m_settings->status() == QSettings::NoError;
    if (written)
        m_unwritten.clear();

    const qsizetype slash = fullKey.indexOf(u'/');
    Q_EMIT stored(fullKey.left(slash), fullKey.mid(slash + 1), text);
    if (!written)
        Q_EMIT writeFailed(m_path);
    return written;
}

QString SettingsStore::value(Key key) const
{
    const SettingKey &k = settingKey(key);
    return GetSetting(latin1(k.section), latin1(k.name));
}

bool SettingsStore::setValue(Key key, const QString &value)
{
    const SettingKey &k = settingKey(key);
    return SaveSetting(latin1(k.section), latin1(k.name), value);
}

} // namespace tarvik

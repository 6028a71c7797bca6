#include "inifile.h"

#include "latin1.h"
#include "settingskeys.h"

#include <algorithm>
#include <utility>

namespace tarvik {

namespace {

bool sameName(QStringView a, std::string_view b)
{
    return a.compare(QLatin1StringView(b.data(), qsizetype(b.size())), Qt::CaseInsensitive) == 0;
}

// The table's spelling of a section it lists, or "". The first listed spelling wins,
// so "Startup" is "StartUp".
QString tableSection(QStringView name)
{
    for (const auto &k : kSettingKeys)
        if (sameName(name, k.section))
            return latin1(k.section);
    return {};
}

// The key's row in the table, or the table's size for a key it does not list there.
std::size_t tableRank(QStringView section, QStringView key)
{
    for (std::size_t i = 0; i < kSettingKeys.size(); ++i)
        if (sameName(section, kSettingKeys[i].section) && sameName(key, kSettingKeys[i].name))
            return i;
    return kSettingKeys.size();
}

QString followSection()
{
    return latin1(settingKey(Key::FollowEnabled).section);
}

} // namespace

bool IniFile::isValidName(QStringView name)
{
    if (name.isEmpty() || name != name.trimmed())
        return false;
    if (name.front() == u';' || name.front() == u'#')
        return false;
    return std::none_of(name.begin(), name.end(), [](QChar c) {
        return c.unicode() < 0x20 || c == QChar::ReplacementCharacter || c == u'[' || c == u']' ||
               c == u'=';
    });
}

// A value is one line of text: control characters would break the line or hide in it.
QString IniFile::cleanValue(QStringView value)
{
    QString out;
    out.reserve(value.size());
    for (const QChar c : value)
        if (c.unicode() >= 0x20)
            out.append(c);
    return out.trimmed();
}

QString IniFile::indexKey(const QString &section, const QString &key)
{
    return section + u'\n' + key.toCaseFolded();
}

qsizetype IniFile::entryIndex(const QString &section, const QString &key) const
{
    return m_entries.value(indexKey(section.toCaseFolded(), key), -1);
}

QString IniFile::sectionSpelling(const QString &section) const
{
    const QString known = tableSection(section);
    if (!known.isEmpty())
        return known;
    return m_sectionNames.value(section.toCaseFolded(), section);
}

std::pair<QString, QString> IniFile::spelling(const QString &section, const QString &key) const
{
    const QString s = sectionSpelling(section);
    const std::size_t rank = tableRank(s, key);
    if (rank < kSettingKeys.size())
        return {s, latin1(kSettingKeys[rank].name)};
    const qsizetype at = entryIndex(s, key);
    return {s, at < 0 ? key : m_lines[at].key};
}

QString IniFile::value(const QString &section, const QString &key) const
{
    const qsizetype at = entryIndex(section, key);
    return at < 0 ? QString() : m_lines[at].value;
}

// The line of a key that is there is rewritten in place; its line ending stays.
bool IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (!isValidName(section) || !isValidName(key))
        return false;
    const QString text = cleanValue(value);
    const qsizetype at = entryIndex(section, key);
    if (at >= 0) {
        Line &line = m_lines[at];
        if (line.value == text)
            return true;
        line.value = text;
        line.raw = (line.key + u'=' + text).toUtf8() + (line.raw.endsWith('\r') ? "\r" : "");
        return true;
    }
    if (text.isEmpty())
        return true;
    const auto [s, k] = spelling(section, key);
    const QString folded = s.toCaseFolded();
    Line line{(k + u'=' + text).toUtf8(), folded, k, text};
    const qsizetype end = m_sectionEnd.value(folded, -1);
    if (end >= 0) {
        insertLine(end + 1, line);
        return true;
    }
    if (!m_lines.isEmpty() && !m_lines.back().raw.trimmed().isEmpty())
        addLine(Line{});
    m_sectionNames.insert(folded, s);
    addLine(Line{'[' + s.toUtf8() + ']', folded, {}, {}, true});
    addLine(line);
    return true;
}

void IniFile::addLine(Line line)
{
    const qsizetype at = m_lines.size();
    if (line.header || !line.key.isEmpty())
        m_sectionEnd.insert(line.section, at);
    if (!line.key.isEmpty())
        m_entries.insert(indexKey(line.section, line.key), at);
    m_lines.append(std::move(line));
}

// New keys are few (a first start fills the missing ones), so the index is rebuilt.
void IniFile::insertLine(qsizetype at, Line line)
{
    m_lines.insert(at, std::move(line));
    reindex();
}

void IniFile::reindex()
{
    m_entries.clear();
    m_sectionEnd.clear();
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        const Line &line = m_lines[i];
        if (line.header || !line.key.isEmpty())
            m_sectionEnd.insert(line.section, i);
        if (!line.key.isEmpty())
            m_entries.insert(indexKey(line.section, line.key), i);
    }
}

namespace {
// "[name]" with perhaps a comment after it: the name, or a null string for a line that
// is no header; an empty one for a header that cannot be read.
QString headerName(const QString &line)
{
    if (!line.startsWith(u'['))
        return {};
    const qsizetype close = line.indexOf(u']');
    if (close < 0)
        return QStringLiteral("");
    const QString rest = line.mid(close + 1).trimmed();
    if (!rest.isEmpty() && !rest.startsWith(u';') && !rest.startsWith(u'#'))
        return QStringLiteral("");
    return line.mid(1, close - 1).trimmed();
}
} // namespace

IniFile IniFile::parse(QByteArray bytes)
{
    IniFile file;
    const bool bom = bytes.startsWith("\xEF\xBB\xBF");
    QList<QByteArray> raws = bytes.split('\n');
    file.m_finalNewline = bytes.isEmpty() || bytes.endsWith('\n');
    if (file.m_finalNewline)
        raws.removeLast();
    QString section; // folded; null for the part before the first header or a bad one
    QString sectionName;
    bool inGoodSection = true;
    QList<std::pair<QString, QString>> misfiled;
    for (qsizetype i = 0; i < raws.size(); ++i) {
        const QByteArray &raw = raws[i];
        const QByteArray body = i == 0 && bom ? raw.mid(3) : raw;
        const QString line = QString::fromUtf8(body).trimmed();
        Line kept{raw, {}, {}, {}};
        if (line.isEmpty() || line.startsWith(u';') || line.startsWith(u'#') ||
            line.contains(QChar::ReplacementCharacter)) {
            file.addLine(kept); // not something the program reads
            continue;
        }
        const QString name = headerName(line);
        if (!name.isNull()) {
            inGoodSection = isValidName(name);
            section = inGoodSection ? name.toCaseFolded() : QString();
            sectionName = name;
            if (inGoodSection) {
                if (!file.m_sectionNames.contains(section))
                    file.m_sectionNames.insert(section, file.sectionSpelling(name));
                kept.section = section;
                kept.header = true;
            }
            file.addLine(kept);
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed();
        if (eq < 0 || !inGoodSection || !isValidName(key)) {
            file.addLine(kept);
            continue;
        }
        const QString value = cleanValue(QStringView(line).mid(eq + 1));
        // The last release filed the Follow keys under [StartUp].
        if (sameName(sectionName, settingKey(Key::ComPort).section) &&
            tableRank(sectionName, key) == kSettingKeys.size() &&
            tableRank(followSection(), key) < kSettingKeys.size()) {
            misfiled.append({key, value});
            continue;
        }
        kept.section = section;
        kept.key = key;
        kept.value = value;
        file.addLine(kept);
    }
    for (const auto &[key, value] : misfiled)
        file.setValue(followSection(), key, value);
    return file;
}

QByteArray IniFile::render() const
{
    QByteArray out;
    for (const Line &line : m_lines)
        out += line.raw + '\n';
    if (!m_finalNewline && !out.isEmpty())
        out.chop(1);
    return out;
}

} // namespace tarvik

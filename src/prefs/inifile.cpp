#include "inifile.h"

#include "latin1.h"
#include "settingskeys.h"

#include <algorithm>

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

QString mainSection()
{
    return latin1(settingKey(Key::ComPort).section);
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

qsizetype IniFile::sectionIndex(const QString &name) const
{
    return m_sectionByName.value(name.toCaseFolded(), -1);
}

qsizetype IniFile::entryIndex(const Section &section, const QString &key)
{
    return section.byName.value(key.toCaseFolded(), -1);
}

qsizetype IniFile::addSection(const QString &name)
{
    m_sections.append(Section{name, {}});
    m_sectionByName.insert(name.toCaseFolded(), m_sections.size() - 1);
    return m_sections.size() - 1;
}

QString IniFile::sectionSpelling(const QString &section) const
{
    const QString known = tableSection(section);
    if (!known.isEmpty())
        return known;
    const qsizetype si = sectionIndex(section);
    return si < 0 ? section : m_sections[si].name;
}

std::pair<QString, QString> IniFile::spelling(const QString &section, const QString &key) const
{
    const QString s = sectionSpelling(section);
    const std::size_t rank = tableRank(s, key);
    if (rank < kSettingKeys.size())
        return {s, latin1(kSettingKeys[rank].name)};
    const qsizetype si = sectionIndex(s);
    const qsizetype ei = si < 0 ? -1 : entryIndex(m_sections[si], key);
    return {s, ei < 0 ? key : m_sections[si].entries[ei].first};
}

const QString *IniFile::find(const QString &section, const QString &key) const
{
    const qsizetype si = sectionIndex(section);
    const qsizetype ei = si < 0 ? -1 : entryIndex(m_sections[si], key);
    return ei < 0 ? nullptr : &m_sections[si].entries[ei].second;
}

QString IniFile::value(const QString &section, const QString &key) const
{
    const QString *found = find(section, key);
    return found ? *found : QString();
}

bool IniFile::setValue(const QString &section, const QString &key, const QString &value)
{
    if (!isValidName(section) || !isValidName(key))
        return false;
    const QString text = cleanValue(value);
    if (!text.isEmpty() || find(section, key))
        setCleanValue(section, key, text);
    return true;
}

void IniFile::setCleanValue(const QString &section, const QString &key, const QString &value)
{
    const auto [s, k] = spelling(section, key);
    qsizetype si = sectionIndex(s);
    if (si < 0)
        si = addSection(s);
    Section &target = m_sections[si];
    const qsizetype ei = entryIndex(target, k);
    if (ei >= 0) {
        target.entries[ei].second = value;
    } else {
        target.byName.insert(k.toCaseFolded(), target.entries.size());
        target.entries.append({k, value});
    }
}

IniFile IniFile::parse(QByteArray bytes)
{
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    IniFile file;
    QString section;
    bool inGoodSection = true;
    for (const QByteArray &rawLine : bytes.split('\n')) {
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
            if (inGoodSection && file.sectionIndex(name) < 0)
                file.addSection(file.sectionSpelling(name));
            section = name;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        const QString key = line.left(eq).trimmed();
        if (eq < 0 || !inGoodSection || !isValidName(key))
            continue;
        // The last release filed the Follow keys under [StartUp].
        const bool misfiled = sameName(section, settingKey(Key::ComPort).section) &&
                              tableRank(section, key) == kSettingKeys.size() &&
                              tableRank(followSection(), key) < kSettingKeys.size();
        file.setCleanValue(misfiled ? followSection() : section, key,
                           cleanValue(QStringView(line).mid(eq + 1)));
    }
    return file;
}

QByteArray IniFile::render() const
{
    QList<const Section *> order{&m_sections.front()};
    const qsizetype main = sectionIndex(mainSection());
    if (main > 0)
        order.append(&m_sections[main]);
    for (qsizetype i = 1; i < m_sections.size(); ++i)
        if (i != main)
            order.append(&m_sections[i]);

    QByteArray out;
    for (const Section *s : order) {
        if (!s->name.isEmpty())
            out += (out.isEmpty() ? "[" : "\n[") + s->name.toUtf8() + "]\n";
        // The table's keys lead, in table order: none of them is ranked after the table.
        QList<std::pair<std::size_t, qsizetype>> ranked;
        for (qsizetype i = 0; i < s->entries.size(); ++i)
            ranked.append({tableRank(s->name, s->entries[i].first), i});
        std::stable_sort(ranked.begin(), ranked.end(),
                         [](const auto &a, const auto &b) { return a.first < b.first; });
        for (const auto &[rank, i] : ranked)
            out += s->entries[i].first.toUtf8() + '=' + s->entries[i].second.toUtf8() + '\n';
    }
    return out;
}

} // namespace tarvik

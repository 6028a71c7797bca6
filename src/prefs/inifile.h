#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

namespace tarvik {

// The settings file as text held in memory: sections and their keys in the order the
// file gave them, so that a save leaves whatever the program does not know where it
// was. Names match without regard to case; a name the key table (settingskeys.h) knows
// is spelt as the table spells it, any other as it was first seen.
//
// Data flow: parse() takes the file's bytes, value()/setValue() work on the copy, and
// render() gives the bytes of the whole file. No disk access here: SettingsStore does it.
class IniFile
{
public:
    // "[section]" headers and "key=value" lines. The value is the text after the first
    // '=', as written but for surrounding blanks and control characters: no quotes, no
    // escapes, no lists, so a hand-written 9600,n,8,1 stays one text. Whatever cannot be
    // read is skipped and the rest still counts; a later duplicate replaces an earlier
    // one. Follow keys the last release filed under [StartUp] are read into [Follow].
    static IniFile parse(QByteArray bytes);
    // The part before the first header, the main section with the table's keys first,
    // then every other section in the order it came; the table's keys lead in each.
    QByteArray render() const;

    // "" for a key that is not there.
    QString value(const QString &section, const QString &key) const;
    // False when a name cannot be written to the file (the file is left as it was).
    // Storing "" under a key that is not there changes nothing: it reads as "" already.
    bool setValue(const QString &section, const QString &key, const QString &value);
    // The names as the file spells them: "Startup"/"style" is "StartUp"/"Style".
    std::pair<QString, QString> spelling(const QString &section, const QString &key) const;

    static bool isValidName(QStringView name);
    static QString cleanValue(QStringView value);

private:
    struct Section {
        QString name; // empty: the part before the first header
        QList<std::pair<QString, QString>> entries;
        QHash<QString, qsizetype> byName{}; // case-folded key -> its place in entries
    };

    qsizetype sectionIndex(const QString &name) const;
    QString sectionSpelling(const QString &section) const;
    const QString *find(const QString &section, const QString &key) const;
    static qsizetype entryIndex(const Section &section, const QString &key);
    void setCleanValue(const QString &section, const QString &key, const QString &value);
    qsizetype addSection(const QString &name);

    // Looked up by hash, so that a file of a million lines still reads in moments.
    QList<Section> m_sections{Section{}};
    QHash<QString, qsizetype> m_sectionByName{{QString(), 0}}; // case-folded name
};

} // namespace tarvik

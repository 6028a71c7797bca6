#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>

#include <utility>

namespace tarvik {

// The settings file as lines held in memory. Every line the program does not change
// stands as it was, byte for byte and in its place: comments, blank lines, keys and
// sections it does not know, lines that are not UTF-8 text. A value that changes
// rewrites only its own line; a new key goes after the last key of its section, a new
// section at the end. Names match without regard to case; a name the key table
// (settingskeys.h) knows is spelt as the table spells it, any other as it was first seen.
//
// Data flow: parse() takes the file's bytes, value()/setValue() work on the copy, and
// render() gives the bytes of the whole file. No disk access here: SettingsStore does it.
class IniFile
{
public:
    // "[section]" headers (a ';' or '#' comment may follow) and "key=value" lines. The
    // value is the text after the first '=', as written but for surrounding blanks and
    // control characters: no quotes, no escapes, no lists, so a hand-written 9600,n,8,1
    // stays one text. Whatever cannot be read is kept but counts for nothing; a later
    // duplicate replaces an earlier one. Follow keys the last release filed under
    // [StartUp] are read into [Follow] and move there when the file is rendered.
    static IniFile parse(QByteArray bytes);
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
    struct Line {
        QByteArray raw;  // as read, without its '\n'
        QString section; // the case-folded section an entry or header belongs to
        QString key;     // an entry's key as spelt; empty for any other line
        QString value;
        bool header = false;
    };

    void addLine(Line line);
    void insertLine(qsizetype at, Line line);
    void reindex();
    qsizetype entryIndex(const QString &section, const QString &key) const;
    QString sectionSpelling(const QString &section) const;
    static QString indexKey(const QString &section, const QString &key);

    QList<Line> m_lines;
    bool m_finalNewline = true;
    // Looked up by hash, so that a file of a million lines still reads in moments.
    QHash<QString, qsizetype> m_entries;    // folded "section\nkey" -> its last line
    QHash<QString, qsizetype> m_sectionEnd; // folded section -> the line a new key follows
    QHash<QString, QString> m_sectionNames; // folded section -> its spelling
};

} // namespace tarvik

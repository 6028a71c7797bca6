#pragma once

#include "inifile.h"
#include "settings.h"
#include "settingskeys.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <tuple>

namespace tarvik {

// The per-user settings store: section and key in, text out. Reads of a missing key
// give "". Every store is written through to disk at once (atomically: a copy of our
// own, then a rename), so it survives an abnormal end. The file belongs to the user:
// a save changes the lines of the values stored and no other byte.
//
// Names match without regard to case, and values are read as the text the operator
// wrote, commas and all (inifile.h has the rules). Each key lives in the section the
// key table names; sections and keys the program does not know keep their place.
//
// Data flow: the file is read into an IniFile; reads are served from it. A store (one
// value, or a whole set through setValues) goes into the list of values not yet on
// disk, then the file is written once: under FILE.lock the file is read again as it is
// now, the unwritten values are laid over it, and the text replaces the file through a
// copy and a rename, beside the file at the end of any chain of symbolic links. The
// program's own view of its keys (remember) lets saveChanges() store only the values it
// changed, so an edit made on disk meanwhile stands.
class SettingsStore : public QObject
{
    Q_OBJECT
public:
    // $XDG_CONFIG_HOME/TarvikDesk/TarvikDesk.conf (~/.config/... by default).
    static QString defaultPath();

    SettingsStore(const QString &filePath, QObject *parent);
    ~SettingsStore() override;

    QString text(const QString &section, const QString &key) const;
    // False when the value could not be written to disk.
    bool setText(const QString &section, const QString &key, const QString &value);

    QString value(Key key) const;
    bool setValue(Key key, const QString &value);
    // Every value in one write of the file. False when that write failed; the values
    // are kept all the same and go out with the next write that works.
    bool setValues(const SettingValues &values);

    // The program's values as it took them from the file (or last saved them).
    void remember(const SettingValues &values);
    // Stores the values that differ from the remembered ones, in one write (none when
    // nothing changed), and remembers them.
    bool saveChanges(const SettingValues &values);
    // Reads the file again as it is on disk now (a reload of the settings).
    void reload();

    QString filePath() const;
    // Why a write must leave the file as it is (its mode denies its owner writing, or it
    // lies on a read-only mount), or "" when it may be replaced. A store is then kept in
    // memory only, and writeFailed() says so.
    QString whyNotWritable() const;

Q_SIGNALS:
    // A value went to the store (whether or not the disk took it), named as the file
    // names it: "Startup"/"style" comes out as "StartUp"/"Style".
    void stored(const QString &section, const QString &key, const QString &value);
    // The store could not be written; the file on disk is left as it was.
    void writeFailed(const QString &path);
    // The file on disk was replaced: once per write.
    void written();

private:
    using Entry = std::tuple<QString, QString, QString>; // section, key, value
    bool store(const QList<Entry> &entries);
    bool write();
    void readFile();

    QString m_path;
    IniFile m_file;
    QList<Entry> m_unwritten;    // stored but not yet on disk, in the order stored
    QHash<int, QString> m_known; // by Key
};

} // namespace tarvik

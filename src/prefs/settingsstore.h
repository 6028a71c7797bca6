#pragma once

#include "settingskeys.h"

#include <QHash>
#include <QObject>
#include <QString>

#include <memory>

class QSettings;

namespace tarvik {

// The per-user settings store: section and key in, text out. Reads of a missing key
// give "". Every store is written through to disk at once (atomically: a temporary
// file, then a rename), so it survives an abnormal end.
//
// Names match without regard to case, and values are read as the text the operator
// wrote, commas and all; the file is an INI file QSettings reads and writes through a
// format of our own.
//
// Data flow: the file is read once into QSettings' copy (our reader folds case variants
// of a name into one spelling); reads are served from that copy. Each SaveSetting puts
// the value into the copy and syncs at once: QSettings merges any change made to the
// file meanwhile, our writer renders the whole file, and QSaveFile replaces it.
// Copies a killed write left beside the file are removed when a store opens.
class SettingsStore : public QObject
{
    Q_OBJECT
public:
    // $XDG_CONFIG_HOME/TarvikDesk/TarvikDesk.conf (~/.config/... by default).
    static QString defaultPath();

    SettingsStore(const QString &filePath, QObject *parent);
    ~SettingsStore() override;

    QString GetSetting(const QString &section, const QString &key) const;
    // False when the value could not be written to disk.
    bool SaveSetting(const QString &section, const QString &key, const QString &value);

    QString value(Key key) const;
    bool setValue(Key key, const QString &value);

    QString filePath() const;

Q_SIGNALS:
    // A value went to the store (whether or not the disk took it), named as the file
    // names it: "Startup"/"style" comes out as "StartUp"/"Style".
    void stored(const QString &section, const QString &key, const QString &value);
    // The store could not be written; the file on disk is left as it was.
    void writeFailed(const QString &path);

private:
    QString storedKey(const QString &section, const QString &key) const;

    QString m_path;
    // Owned here rather than by parent, because a failed write replaces it.
    std::unique_ptr<QSettings> m_settings;
    QHash<QString, QString> m_unwritten; // stored key -> value not yet on disk
};

} // namespace tarvik

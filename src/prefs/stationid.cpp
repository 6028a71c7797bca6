#include "stationid.h"

#include "settingsstore.h"

#include <QCryptographicHash>
#include <QFile>
#include <QRandomGenerator>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {

constexpr int kIdBytes = 16;

QString randomId()
{
    QByteArray bytes(kIdBytes, '\0');
    QRandomGenerator::system()->generate(bytes.begin(), bytes.end());
    return QString::fromLatin1(bytes.toHex());
}

QByteArray machineId()
{
    for (const char *path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly))
            if (const QByteArray id = file.read(256).trimmed(); !id.isEmpty())
                return id;
    }
    return {};
}

} // namespace

// By hand rather than by a pattern: every start checks the id, and compiling a pattern
// would page in the whole regular-expression engine for it.
bool isStationId(const QString &text)
{
    return text.size() == 2 * kIdBytes && std::all_of(text.begin(), text.end(), [](QChar c) {
               return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f');
           });
}

// Hashed with a purpose string, so the id tells nothing of the machine id itself (which
// systemd asks never to be shown on a network).
QString derivedStationId(const QByteArray &id, const QString &profile)
{
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData("tarvik-station-id\n");
    hash.addData(id);
    hash.addData("\n");
    hash.addData(profile.toUtf8());
    return QString::fromLatin1(hash.result().left(kIdBytes).toHex());
}

StationIdentity stationIdentity(SettingsStore &store, const QString &profile)
{
    if (const QString stored = store.value(Key::StationId); isStationId(stored))
        return {stored, {}};
    const QString made = randomId();
    if (store.setValue(Key::StationId, made))
        return {made, u"made a new station id"_s};
    const QByteArray machine = machineId();
    if (machine.isEmpty())
        return {made, u"the settings file cannot keep a station id and there is no machine id: "
                      u"this run has one of its own"_s};
    return {derivedStationId(machine, profile),
            u"the settings file cannot keep a station id: derived it from the machine id"_s};
}

} // namespace tarvik

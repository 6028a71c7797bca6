#pragma once

#include "commport.h"
#include "frm_main.h"
#include "messagecatcher.h"
#include "ptypeer.h"
#include "settingsstore.h"

#include <QAction>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <memory>

namespace tarvik::test {

// A panel on a real pseudo-terminal with a settings file of its own. Stored values
// are written before start(), as a previous run would have left them.
class PanelFixture
{
    // Declared first so that they outlive the window, which is destroyed first.
    QTemporaryDir m_dir;
    QString m_path;
    std::unique_ptr<QObject> m_owner;

public:
    explicit PanelFixture(const QString &settingsFolder = QString())
        : m_owner(new QObject)
    {
        m_path = (settingsFolder.isEmpty() ? m_dir.path() : settingsFolder) +
                 QStringLiteral("/TarvikDesk.conf");
        store = new SettingsStore(m_path, m_owner.get());
        storeSpy = std::make_unique<QSignalSpy>(store, &SettingsStore::stored);
        messages = new MessageCatcher(m_owner.get());
    }

    void preset(Key key, const QString &value) { store->setValue(key, value); }

    // Opens the panel on the pseudo-terminal, either through the stored "ComPort"
    // (as an operator's device path) or through the run-only override.
    frm_main &start(bool throughStoredPort = false)
    {
        if (throughStoredPort)
            preset(Key::ComPort, peer.slavePath());
        window = std::make_unique<frm_main>(store);
        if (!throughStoredPort)
            window->setPortOverride(peer.slavePath());
        window->Form_Load();
        window->show();
        storeSpy->clear();
        return *window;
    }

    // Started, active and quiet: Timer1 is stopped so that only the commands under
    // test reach the wire (each command starts it again).
    frm_main &startActive()
    {
        frm_main &w = start();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            qWarning("window not active");
        w.Timer1()->stop();
        peer.collect(20);
        return w;
    }

    // Writes a status frame and lets the port gather it before the next tick.
    void reply(const QByteArray &frame)
    {
        QSerialPort *port = window->MSComm1().serialPort();
        const qint64 before = port->bytesAvailable();
        peer.write(frame);
        QTRY_COMPARE(port->bytesAvailable(), before + frame.size());
    }

    int storesOf(Key key) const
    {
        int n = 0;
        for (const QList<QVariant> &call : *storeSpy)
            if (call.at(1).toString().compare(
                    QString::fromLatin1(settingKey(key).name.data(), settingKey(key).name.size()),
                    Qt::CaseInsensitive) == 0)
                ++n;
        return n;
    }

    QString path() const { return m_path; }

    PtyPeer peer;
    SettingsStore *store = nullptr;
    MessageCatcher *messages = nullptr;
    std::unique_ptr<QSignalSpy> storeSpy;
    std::unique_ptr<frm_main> window;
};

inline QString latin1(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

} // namespace tarvik::test

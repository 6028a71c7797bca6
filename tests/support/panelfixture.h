#pragma once

// What the panel tests share: a Station and the main window over it on a real
// pseudo-terminal with a settings file of their own, driven as an operator drives it.

#include "commport.h"
#include "frames.h"
#include "mainwindow.h"
#include "ptypeer.h"
#include "settingsstore.h"
#include "station.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace tarvik::test {

class PanelFixture
{
    QTemporaryDir m_dir; // first, so that it outlives the window
    QString m_path;
    std::unique_ptr<QObject> m_owner{new QObject};

public:
    explicit PanelFixture(const QString &settingsFolder = QString())
        : m_path((settingsFolder.isEmpty() ? m_dir.path() : settingsFolder) +
                 QStringLiteral("/TarvikDesk.conf"))
        , store(new SettingsStore(m_path, m_owner.get()))
        , station(new Station(m_owner.get()))
    {
        // Answers every message box as an operator pressing OK would, keeping its text.
        auto *catcher = new QTimer(m_owner.get());
        QObject::connect(catcher, &QTimer::timeout, m_owner.get(), [this] {
            if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
                messages << box->text();
                box->accept();
            }
        });
        catcher->start(10);
    }

    void presetFile(const QByteArray &bytes)
    {
        QFile f(m_path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the settings file");
        f.close();
        delete store;
        store = new SettingsStore(m_path, m_owner.get());
    }
    QByteArray file() const
    {
        QFile f(m_path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    // Start-up as tarvik-desk does it, through the stored "ComPort" or the run-only override.
    MainWindow &start(bool throughStoredPort = false)
    {
        if (!throughStoredPort)
            station->setPortOverride(peer.slavePath());
        window = std::make_unique<MainWindow>(station, store);
        window->start();
        window->show();
        return *window;
    }

    // Started, active and quiet: polling stopped, so only what the test does reaches
    // the wire (each command starts it again).
    MainWindow &startActive()
    {
        MainWindow &w = start();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            qWarning("the panel did not become active");
        pollTimer()->stop();
        peer.collect(10);
        return w;
    }

    QTimer *pollTimer() const { return station->findChild<QTimer *>(QStringLiteral("pollTimer")); }

    // What the operator does: "cmd20" clicks a button, "mnu20" chooses a menu item,
    // anything else is a key ("F6", "Alt+H", "Ctrl+Up").
    void press(const QString &what)
    {
        if (what.startsWith(u"cmd"))
            QTest::mouseClick(window->button(what), Qt::LeftButton);
        else if (what.startsWith(u"mnu"))
            window->action(what)->trigger();
        else
            QTest::keySequence(window.get(), QKeySequence(what));
    }

    void poll(const QByteArray &reply) { pollOnce(*station, peer, reply); }

    QString colour(const QString &indicator) const
    {
        return window->indicator(indicator)->colourName();
    }

    PtyPeer peer;
    SettingsStore *store;
    Station *station;
    QStringList messages;
    std::unique_ptr<MainWindow> window;
};

} // namespace tarvik::test

#pragma once

// What the panel tests share: a panel on a real pseudo-terminal with a settings file
// of its own, driven as an operator drives it, and the one frame helper.

#include "commport.h"
#include "frm_main.h"
#include "ptypeer.h"
#include "settingsstore.h"

#include <QAction>
#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSerialPort>
#include <QTemporaryDir>
#include <QTimer>

#include <memory>

namespace tarvik::test {

// 40 41 00, the frequency (six hex digits), byte 6, byte 7, the command, 30 0D. A
// status reply has the same shape: byte 6 is the motion flag, byte 7 the status code.
inline QByteArray frame(const char *freq, const char *byte7 = "00", const char *cmd = "31",
                        const char *byte6 = "00")
{
    return QByteArray::fromHex(QByteArray("404100") + freq + byte6 + byte7 + cmd + "300d");
}
inline const QByteArray kRequest = QByteArray::fromHex("3f410d");

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

    QString path() const { return m_path; }
    void preset(Key key, const QString &value) { store->setValue(key, value); }
    // The whole file, as an earlier run or a hand editor left it.
    void presetFile(const QByteArray &bytes)
    {
        delete store;
        QFile f(m_path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            qFatal("cannot write the settings file");
        f.close();
        store = new SettingsStore(m_path, m_owner.get());
    }

    // Start-up as tarvik-desk does it, on the pseudo-terminal: through the stored
    // "ComPort", or through the run-only override.
    frm_main &start(bool throughStoredPort = false, const QString &device = QString())
    {
        if (throughStoredPort)
            preset(Key::ComPort, device.isEmpty() ? peer.slavePath() : device);
        window = std::make_unique<frm_main>(store);
        if (!throughStoredPort)
            window->setPortOverride(peer.slavePath());
        window->Form_Load();
        window->show();
        return *window;
    }

    // Started, active and quiet: Timer1 stopped, so only what the test does reaches
    // the wire (each command starts it again).
    frm_main &startActive()
    {
        frm_main &w = start();
        w.activateWindow();
        if (!QTest::qWaitForWindowActive(&w))
            qWarning("the panel did not become active");
        w.Timer1()->stop();
        peer.collect(10);
        return w;
    }

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

    // Polls with `reply` waiting on the line: Timer1 ticks until the reply is read
    // (an empty reply: for a moment, to show that silence changes nothing).
    void poll(const QByteArray &reply)
    {
        QSerialPort *port = window->MSComm1().serialPort();
        peer.write(reply);
        QTRY_COMPARE(port->bytesAvailable(), reply.size());
        QTimer *t = window->Timer1();
        const int interval = t->interval();
        t->start(0);
        if (reply.isEmpty())
            QTest::qWait(20);
        QTRY_COMPARE(port->bytesAvailable(), 0);
        t->stop();
        t->setInterval(interval);
        peer.readAvailable();
    }

    QString colour(const QString &indicator) const
    {
        return window->indicator(indicator)->colourName();
    }

    PtyPeer peer;
    SettingsStore *store;
    QStringList messages;
    std::unique_ptr<frm_main> window;
};

} // namespace tarvik::test

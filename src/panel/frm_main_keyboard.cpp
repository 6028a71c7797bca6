// The main window's keyboard: access keys that a menu title would take from a button,
// and keys for the commands whose captions carry no access key.

#include "frm_main.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QShortcut>

namespace tarvik {

namespace {
struct CommandKey {
    const char *button;
    QKeyCombination key;
    const char *keyName;
};

constexpr CommandKey kCommandKeys[] = {
    {"cmd80", Qt::CTRL | Qt::Key_8, "Ctrl+8"},       {"cmd40", Qt::CTRL | Qt::Key_4, "Ctrl+4"},
    {"cmd30", Qt::CTRL | Qt::Key_3, "Ctrl+3"},       {"cmdUP", Qt::CTRL | Qt::Key_Up, "Ctrl+Up"},
    {"cmdDN", Qt::CTRL | Qt::Key_Down, "Ctrl+Down"},
};
} // namespace

// The 80, 40 and 30 m bands (the function keys run out at 20 m) and the 50 kHz steps.
// Each key presses its button, so the key, the button and a click share one code path;
// the button's tool tip names the key, and a screen reader reads it as the button's
// description.
void frm_main::addCommandKeys()
{
    for (const CommandKey &k : kCommandKeys) {
        QPushButton *b = button(QString::fromLatin1(k.button));
        if (!b)
            continue;
        auto *shortcut = new QShortcut(QKeySequence(k.key), this);
        connect(shortcut, &QShortcut::activated, b, [b] {
            if (b->isEnabled())
                b->click();
        });
        b->setToolTip(QStringLiteral("Key: %1").arg(QString::fromLatin1(k.keyName)));
    }
}

// "&Home" and "&Help" both claim Alt+H, "&BiDir" and "&Band" Alt+B. Left to Qt, the
// clash makes the first press only move the focus and the second open the menu, so
// the command never goes out. At a station the command matters more: the button takes
// the key, and the menus stay reachable through F10 and the arrow keys.
void frm_main::claimClashingAccessKeys()
{
    QSet<int> menuKeys;
    for (QAction *a : menuBar()->actions())
        menuKeys.insert(QKeySequence::mnemonic(a->text())[0].toCombined());
    for (QPushButton *b : centralWidget()->findChildren<QPushButton *>()) {
        const QKeySequence key = QKeySequence::mnemonic(b->text());
        if (!key.isEmpty() && menuKeys.contains(key[0].toCombined()))
            m_claimedKeys.insert(key[0].toCombined(), b);
    }
    if (!m_claimedKeys.isEmpty())
        qApp->installEventFilter(this);

    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::ShortcutFocusReason);
        if (!menuBar()->actions().isEmpty())
            menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
}

bool frm_main::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    QPushButton *b = m_claimedKeys.value(key->keyCombination().toCombined());
    if (!b || !b->isEnabled())
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Taken as an ordinary key press, so that no shortcut sees it.
        event->accept();
        return true;
    }
    b->click();
    return true;
}

} // namespace tarvik

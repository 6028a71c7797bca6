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
struct StepKey {
    const char *button;
    QKeyCombination key;
};

constexpr StepKey kStepKeys[] = {
    {"cmdUP", Qt::CTRL | Qt::Key_Up},
    {"cmdDN", Qt::CTRL | Qt::Key_Down},
};

// The button's tool tip names its key, and a screen reader reads that as the button's
// description. With `ownShortcut` the key presses the button, so the key, the button
// and a click share one code path.
void giveKey(frm_main *window, QPushButton *b, QKeyCombination key, bool ownShortcut)
{
    b->setToolTip(
        QStringLiteral("Key: %1").arg(QKeySequence(key).toString(QKeySequence::NativeText)));
    if (!ownShortcut)
        return;
    auto *shortcut = new QShortcut(QKeySequence(key), window);
    QObject::connect(shortcut, &QShortcut::activated, b, [b] {
        if (b->isEnabled())
            b->click();
    });
}
} // namespace

// Every band button and the 50 kHz steps name their keys. The upper six bands' keys
// belong to their Band menu items; the 80, 40 and 30 m bands (the function keys run
// out at 20 m) and the steps have keys of their own.
void frm_main::addCommandKeys()
{
    for (std::size_t i = 0; i < kBands.size(); ++i)
        giveKey(this, m_bandButtons[i], kBands[i].key, kBands[i].menuCaption.empty());
    for (const StepKey &k : kStepKeys)
        giveKey(this, button(QString::fromLatin1(k.button)), k.key, true);
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

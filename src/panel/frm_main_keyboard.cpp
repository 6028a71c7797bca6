// Keys for the commands whose captions carry no access key: the 80, 40 and 30 m bands
// (the function keys run out at 20 m) and the 50 kHz steps. Each key presses its
// button, so the key, the button and a click share one code path; the button's tool
// tip names the key, and a screen reader reads it as the button's description.

#include "frm_main.h"

#include <QPushButton>
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

} // namespace tarvik

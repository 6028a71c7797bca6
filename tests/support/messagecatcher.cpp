#include "messagecatcher.h"

#include <QApplication>
#include <QMessageBox>
#include <QTimer>

namespace tarvik::test {

MessageCatcher::MessageCatcher(QObject *parent)
    : QObject(parent)
    , m_timer(new QTimer(this))
{
    m_timer->setInterval(10);
    connect(m_timer, &QTimer::timeout, this, &MessageCatcher::poll);
    m_timer->start();
}

void MessageCatcher::poll()
{
    auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
    if (!box)
        return;
    texts << box->text();
    informativeTexts << box->informativeText();
    titles << box->windowTitle();
    box->accept();
}

} // namespace tarvik::test

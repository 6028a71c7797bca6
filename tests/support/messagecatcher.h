#pragma once

#include <QObject>
#include <QStringList>

class QTimer;

namespace tarvik::test {

// Answers every modal message box the code under test opens, the way an operator
// would press OK, and keeps what each one said.
class MessageCatcher : public QObject
{
    Q_OBJECT
public:
    explicit MessageCatcher(QObject *parent);

    QStringList texts;
    QStringList informativeTexts;
    QStringList titles;

private:
    void poll();
    QTimer *m_timer;
};

} // namespace tarvik::test

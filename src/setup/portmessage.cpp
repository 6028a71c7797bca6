#include "portmessage.h"

#include "commport.h"

#include <tarvik/version.h>

#include <QMessageBox>

namespace tarvik {

void showPortNotAvailable(QWidget *parent, const CommPort &port)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    port.notAvailableText(), QMessageBox::Ok, parent);
    box.setInformativeText(port.failureAdvice());
    box.exec();
}

} // namespace tarvik

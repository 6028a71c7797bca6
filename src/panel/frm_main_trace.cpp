// The main window's side of the serial trace, for support: --trace FILE or
// "&Trace to File..." opens the panel's one SerialTrace and sets it on MSComm1, which
// records every byte and port event into it from then on. Unchecking the item stops
// it. A file that cannot be opened, or a trace that fails later, is reported once;
// the item unchecks and the panel runs on untraced. The trace is written out when the
// window closes and again as it is destroyed.

#include "frm_main.h"

#include "commport.h"
#include "serialtrace.h"

#include <tarvik/version.h>

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>

using namespace Qt::StringLiterals;

namespace tarvik {

bool frm_main::startTrace(const QString &path)
{
    if (!m_trace->open(path)) {
        reportTraceFailure(m_trace->errorString());
        return false;
    }
    m_port->setTrace(m_trace);
    m_traceAction->setChecked(true);
    return true;
}

void frm_main::stopTrace()
{
    m_port->setTrace(nullptr);
    m_trace->close();
    m_traceAction->setChecked(false);
}

// A trace appends to a file that is there already, so choosing one is no threat to it.
void frm_main::mnuTrace_Click(bool checked)
{
    if (!checked) {
        stopTrace();
        return;
    }
    const QString suggested = m_trace->fileName().isEmpty()
                                  ? QDir::home().filePath(u"tarvik-trace.log"_s)
                                  : m_trace->fileName();
    const QString path = QFileDialog::getSaveFileName(this, u"Trace to File"_s, suggested,
                                                      u"Trace files (*.log);;All files (*)"_s,
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty()) {
        m_traceAction->setChecked(false);
        return;
    }
    startTrace(path);
}

void frm_main::reportTraceFailure(const QString &reason)
{
    m_port->setTrace(nullptr);
    m_traceAction->setChecked(false);
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), reason,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setInformativeText(u"The panel runs on without a trace."_s);
    box.exec();
}

} // namespace tarvik

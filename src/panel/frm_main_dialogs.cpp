// The main window's side of its secondary windows: the setup dialog, the About box
// and the help viewer, and what the setup dialog asks of the panel (SetupHost).

#include "frm_main.h"

#include "commport.h"
#include "frm_setup.h"
#include "frmabout.h"
#include "helpwindow.h"

#include <QTimer>

namespace tarvik {

namespace {
void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}
} // namespace

// While the dialog is open nothing may touch the line: polling stops, both buffers
// are emptied and the port is closed, so the dialog can reconfigure it at will. The
// main window stays hidden until the dialog closes, which leaves the dialog the only
// window the operator can reach.
void frm_main::mnuSetup_Click()
{
    if (m_setupDialog) {
        bringForward(m_setupDialog);
        return;
    }
    stopPolling();
    m_port->discardReceive();
    m_port->discardTransmit();
    m_port->close();
    hideMainWindow();
    m_setupDialog = new frm_setup(*this, this);
    bringForward(m_setupDialog);
}

void frm_main::mnuContents_Click()
{
    auto *help = qobject_cast<HelpWindow *>(m_helpWindow.data());
    if (!help) {
        help = new HelpWindow(HelpWindow::defaultContentsFile(), this);
        m_helpWindow = help;
    } else {
        help->showContents();
    }
    bringForward(help);
}

// An open box is only brought forward: it is not loaded again.
void frm_main::mnuAbout_Click()
{
    if (!m_aboutBox)
        m_aboutBox = new frmAbout(this);
    bringForward(m_aboutBox);
}

QWidget *frm_main::setupDialog() const
{
    return m_setupDialog.data();
}

QWidget *frm_main::aboutBox() const
{
    return m_aboutBox.data();
}

QWidget *frm_main::helpWindow() const
{
    return m_helpWindow.data();
}

// ---- setup host ----------------------------------------------------------------

void frm_main::stopPolling()
{
    Timer1()->stop();
}

void frm_main::startPolling(int intervalMs)
{
    Timer1()->setInterval(intervalMs);
    Timer1()->start();
}

// Back from the setup dialog the keyboard lands on the panel again, not nowhere.
void frm_main::showMainWindow()
{
    bringForward(this);
}

void frm_main::hideMainWindow()
{
    hide();
}

void frm_main::sendCurrentFrame()
{
    Data2Tarvik();
}

void frm_main::portLeftClosed()
{
    showPortClosed();
}

} // namespace tarvik

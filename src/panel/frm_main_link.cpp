// The main window's side of a line that goes away: what the operator sees, and the
// quiet reopening that follows.
//
// CommPort closes the port and raises lineLost(); polling stops, the Connected lamp
// turns red with "Connection lost", and lineRetry tries the same device once a poll
// interval, saying nothing when it fails. Once the port opens again it is set up as
// at start-up and Timer1 resumes; the first good reply turns the lamp green.

#include "frm_main.h"

#include "commport.h"

#include <QTimer>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {
// Even a very fast poll setting should not turn reopening into a busy loop.
constexpr int kMinRetryMs = 100;
} // namespace

void frm_main::watchTheLine()
{
    m_lineRetry = new QTimer(this);
    m_lineRetry->setObjectName(u"lineRetry"_s);
    connect(m_lineRetry, &QTimer::timeout, this, &frm_main::retryLine);
    connect(m_port, &CommPort::lineLost, this, &frm_main::onLineLost);
}

void frm_main::onLineLost()
{
    Timer1()->stop();
    setConnectedLamp(true, u"Connection lost"_s);
    m_lineRetry->start(std::max(Timer1()->interval(), kMinRetryMs));
}

void frm_main::retryLine()
{
    // While the setup dialog is open the line is the dialog's; it reopens the port
    // itself when it closes.
    if (m_setupDialog)
        return;
    if (m_port->isOpen()) {
        m_lineRetry->stop(); // someone else has reopened it and polls again
        return;
    }
    if (!m_port->openLine())
        return;
    m_lineRetry->stop();
    Timer1()->start();
}

} // namespace tarvik

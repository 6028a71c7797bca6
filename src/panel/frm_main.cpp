#include "frm_main.h"

#include "accessibleroles.h"
#include "commport.h"
#include "fonts.h"
#include "latin1.h"
#include "portmessage.h"
#include "rigfollower.h"
#include "serialtrace.h"
#include "settingsstore.h"
#include "twips.h"

#include <tarvik/version.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

namespace tarvik {

namespace {
constexpr int kTimerIntervals[4] = {500, 30000, 30000, 200};
} // namespace

frm_main::frm_main(SettingsStore *store, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_port(new CommPort(this))
    , m_trace(new SerialTrace(this))
    , m_follower(new RigFollower(this))
{
    installAccessibleRoles();
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("Pellow Tarvik Virtual Control Panel"));
    setFont(arial(9.75));
    void (frm_main::*const ticks[])() = {&frm_main::Timer1_Timer, &frm_main::Timer2_Timer,
                                         &frm_main::Timer3_Timer, &frm_main::Timer4_Timer};
    for (std::size_t i = 0; i < m_timers.size(); ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setObjectName(QStringLiteral("Timer%1").arg(i + 1));
        m_timers[i]->setInterval(kTimerIntervals[i]);
        connect(m_timers[i], &QTimer::timeout, this, ticks[i]);
    }
    connect(m_store, &SettingsStore::writeFailed, this, &frm_main::reportStoreFailure);
    connect(m_trace, &SerialTrace::failed, this, &frm_main::reportTraceFailure);
    watchTheLine();

    buildMenus();
    buildControls();
    setConnectedLamp(true, QStringLiteral("No status frame from the controller yet"));
    watchTheRadio();
    claimClashingAccessKeys();
    addCommandKeys();
    resize(px(kDesignWidth), menuBar()->sizeHint().height() + px(kDesignHeight));
    move(px(kDesignLeft), px(kDesignTop));
}

// The port closes here rather than with its object, so that a trace ends with it.
frm_main::~frm_main()
{
    m_port->close();
}

QPushButton *frm_main::button(const QString &objectName) const
{
    return findChild<QPushButton *>(objectName);
}

Indicator *frm_main::indicator(const QString &accessibleName) const
{
    const auto all = findChildren<Indicator *>();
    for (Indicator *i : all)
        if (i->accessibleName() == accessibleName)
            return i;
    return nullptr;
}

QAction *frm_main::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

int frm_main::clientHeightTwips() const
{
    return static_cast<int>(toTwips(centralWidget()->height()));
}

void frm_main::setPortOverride(const QString &device)
{
    m_port->setRunOverride(device);
}

// ---- start-up and shut-down ----------------------------------------------------

void frm_main::Form_Load()
{
    tarvik::RegInit(*m_store, *this);
    tarvik::GetPreferences(*m_store, *this);
    restoreView();
    openPortAtStartUp();

    m_state.replyHex.clear();
    m_state.sndCmd = latin1(proto::kSetFrequency.hex);
    Timer1()->setInterval(m_state.pollrate);
    for (QTimer *t : m_timers)
        t->stop();
    m_state.retracted = m_store->value(Key::Retracted);
    Timer1()->start();
    m_sinceReply.start();
}

void frm_main::openPortAtStartUp()
{
    if (!m_port->openLine())
        reportPortFailure();
}

void frm_main::reportPortFailure()
{
    showPortClosed();
    showPortNotAvailable(isVisible() ? this : nullptr, *m_port);
}

void frm_main::reportStoreFailure(const QString &path)
{
    if (m_storeFailureShown)
        return;
    m_storeFailureShown = true;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    QStringLiteral("The settings cannot be saved to %1.").arg(path),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setInformativeText(QStringLiteral(
        "The panel runs on with the settings you have now; changes will be lost when it ends."));
    box.exec();
}

void frm_main::SaveSettings()
{
    tarvik::SaveSettings(*m_store, *this);
}

void frm_main::Form_Unload()
{
    SaveSettings();
    storeViewStyle();
    for (QTimer *t : m_timers)
        t->stop();
    m_trace->flush();
}

void frm_main::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frm_main::mnuExit_Click()
{
    SaveSettings();
    storeViewStyle();
    close();
}

// ---- settings host ---------------------------------------------------------------

double frm_main::windowLeft() const
{
    return toTwips(x());
}

double frm_main::windowTop() const
{
    return toTwips(y());
}

void frm_main::setWindowLeft(double twips)
{
    move(px(twips), y());
}

void frm_main::setWindowTop(double twips)
{
    move(x(), px(twips));
}

int frm_main::onTopValue() const
{
    return m_chkOnTop->isChecked() ? 1 : 0;
}

void frm_main::setOnTopValue(int value)
{
    // Changing the box raises its click handler, exactly as the operator's click does.
    m_chkOnTop->setChecked(value == 1);
}

} // namespace tarvik

#include "mainwindow.h"

#include "aboutbox.h"
#include "accessibleroles.h"
#include "commport.h"
#include "fonts.h"
#include "frequencytext.h"
#include "helpwindow.h"
#include "looks.h"
#include "portmessage.h"
#include "radiodialog.h"
#include "remoteconfig.h"
#include "remotedialog.h"
#include "settingsstore.h"
#include "setupdialog.h"
#include "station.h"
#include "twips.h"

#include <tarvik/version.h>

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QWindow>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {
void bringForward(QWidget *window)
{
    window->show();
    window->raise();
    window->activateWindow();
}

void setText(QLineEdit *box, const QString &text)
{
    if (box->text() != text)
        box->setText(text);
}

// A caption's name is what a screen reader says of it; set only on a change, so that
// it is said once.
void setSpoken(QWidget *w, const QString &name)
{
    if (w->accessibleName() != name)
        w->setAccessibleName(name);
}

void setTip(QWidget *w, const QString &tip)
{
    if (w->toolTip() != tip)
        w->setToolTip(tip);
}
} // namespace

MainWindow::MainWindow(Station *station, SettingsStore *store, QWidget *parent)
    : QMainWindow(parent)
    , m_station(station)
    , m_store(store)
{
    installAccessibleRoles();
    setObjectName(u"mainWindow"_s);
    setWindowTitle(u"Pellow Tarvik Virtual Control Panel"_s);
    setFont(arial(9.75));
    buildMenus();
    buildControls();
    for (Indicator *i : findChildren<Indicator *>())
        m_lamps.insert(i->accessibleName(), i);
    claimClashingAccessKeys();
    addCommandKeys();
    resize(px(kDesignWidth), menuBar()->sizeHint().height() + px(kDesignHeight));
    move(px(kDesignLeft), px(kDesignTop));

    connect(m_store, &SettingsStore::writeFailed, this, &MainWindow::reportStoreFailure);
    m_station->watchSettingsFile(m_store);
    connect(m_station, &Station::stateChanged, this, &MainWindow::showState);
    connect(m_station, &Station::settingsChanged, this, &MainWindow::saveSettings);
    connect(m_station, &Station::traceFailed, this, [this](const QString &reason) {
        m_traceAction->setChecked(false);
        warn(reason, u"The panel runs on without a trace."_s);
    });
    showState(m_station->state());
}

// The bridge and the server go first, while the window can still hear what their going
// changes.
MainWindow::~MainWindow()
{
    m_bridge.reset();
    disconnect(m_station, nullptr, this, nullptr);
    m_server.reset();
}

// Everything is read before anything is applied, and nothing is saved meanwhile: a
// half-applied set of values never reaches the file.
void MainWindow::start()
{
    if (!m_store->whyNotWritable().isEmpty())
        reportStoreFailure(m_store->filePath());
    fillMissingSettings(*m_store, toTwips(x()), toTwips(y()));
    const StationSettings stationSettings = readStationSettings(*m_store);
    const WindowSettings settings = readWindowSettings(*m_store);
    m_remote = readRemoteSettings(*m_store);
    m_mqtt = readMqttSettings(*m_store);
    m_station->applySettings(stationSettings);
    applyWindowSettings(settings);
    // What the file said, as this run takes it: a save stores only what differs.
    m_store->remember(settingValues(stationSettings) + settingValues(settings) +
                      settingValues(m_remote) + settingValues(m_mqtt));
    if (!m_station->start())
        showPortNotAvailable(isVisible() ? this : nullptr, m_station->port());
    if (const QString why = serveRemote({m_listenForThisRun, {}, {}, {}}); !why.isEmpty())
        warn(why, u"The panel runs on without the remote API."_s);
    if (const QString why = serveMqtt(); !why.isEmpty())
        warn(why, u"The panel runs on without MQTT."_s);
}

void MainWindow::saveSettings()
{
    SettingValues values = settingValues(m_station->settings());
    values += settingValues(windowSettings());
    values += settingValues(m_remote);
    values += settingValues(m_mqtt);
    m_store->saveChanges(values);
}

void MainWindow::closeEvent(QCloseEvent *event)
{
    saveSettings();
    if (m_bridge)
        m_bridge->stop();
    if (m_server)
        m_server->stop();
    m_station->stop();
    event->accept();
}

QPushButton *MainWindow::button(const QString &objectName) const
{
    return findChild<QPushButton *>(objectName);
}

Indicator *MainWindow::indicator(const QString &accessibleName) const
{
    return m_lamps.value(accessibleName);
}

QAction *MainWindow::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

int MainWindow::clientHeightTwips() const
{
    return static_cast<int>(toTwips(centralWidget()->height()));
}

// ---- the state, drawn ----------------------------------------------------------
// Each lamp and text changes only when what it shows does, so a screen reader hears
// only real changes.

void MainWindow::showState(const StationState &state)
{
    for (const NamedLamp &lamp : lampLooks(state)) {
        if (Indicator *i = m_lamps.value(lamp.name))
            i->show(lamp.state.colour, lamp.state.words, lamp.state.look == LampLook::Lit);
        if (lamp.name == m_connected->accessibleName())
            setTip(m_connected, lamp.state.note.isEmpty() ? lamp.state.words : lamp.state.note);
        else if (lamp.name == m_radioLamp->accessibleName())
            setSpoken(m_radioCaption, lamp.state.words);
        else if (lamp.name == m_remoteLamp->accessibleName())
            setSpoken(m_remoteCaption, lamp.state.words);
        if (lamp.name == m_txLamp->accessibleName()) {
            setTip(m_txLamp, lamp.state.note.isEmpty() ? lamp.state.words : lamp.state.note);
            setSpoken(m_txCaption, lamp.state.words); // "Transmitting", said once
        }
    }
    if (interlockVerdict(state) == CommandResult::Written)
        for (QPushButton *b : centralWidget()->findChildren<QPushButton *>())
            showRefusal(b, CommandResult::Written);
    if (state.readingMHz)
        setText(m_frequency, formatMHz(*state.readingMHz, locale()));
    setText(m_received, state.replyHex);
    setTip(m_radioLamp, state.followStatus);
    const QSignalBlocker quiet(m_followAction); // the state only shows what is so
    m_followAction->setChecked(state.following);
    showRemoteTip(state);
}

void MainWindow::showRefusal(QPushButton *control, CommandResult result)
{
    const char *const key = "tipBeforeRefusal";
    const QVariant before = control->property(key);
    QString why;
    if (result == CommandResult::Transmitting)
        why = u"Not sent: the radio is transmitting"_s;
    else if (result == CommandResult::TransmitUnknown)
        why = u"Not sent: the transmit state is unknown"_s;
    if (why.isEmpty()) {
        if (before.isValid())
            setTip(control, before.toString());
        control->setProperty(key, QVariant());
        return;
    }
    if (!before.isValid())
        control->setProperty(key, control->toolTip());
    const QString base = control->property(key).toString();
    setTip(control, base.isEmpty() ? why : base + u'\n' + why);
}

void MainWindow::showRemoteTip(const StationState &state)
{
    const QStringList clients = m_server ? m_server->clients() : QStringList();
    const QString mqtt = m_bridge ? u"\nMQTT: "_s + m_bridge->status() : QString();
    if (state.remoteClients < 0 || !m_server)
        setTip(m_remoteLamp, u"The remote API is off"_s + mqtt);
    else if (clients.isEmpty())
        setTip(m_remoteLamp, u"Serving %1: no remote clients"_s.arg(m_servingUrl) + mqtt);
    else
        setTip(m_remoteLamp, u"Remote clients: %1"_s.arg(clients.join(u", "_s)) + mqtt);
}

// ---- the remote API ----------------------------------------------------------------

// Any server running goes first, with its clients: a new one serves by the values now
// in use. Empty when all went as asked; otherwise why not (and notServing() says it).
QString MainWindow::serveRemote(const remote::RemoteOverrides &run)
{
    m_server.reset();
    m_servingUrl.clear();
    showRemoteTip(m_station->state());
    if (!m_remote.enabled && run.listen.isEmpty())
        return {};
    QString why;
    const auto options = remote::remoteOptions(m_remote, run, why);
    if (options)
        m_server = remote::openServer(m_station, *options, this, why);
    if (m_server && !m_server->start()) {
        why = m_server->errorString();
        m_server.reset();
    }
    if (!m_server) {
        Q_EMIT notServing(why);
        return why;
    }
    m_servingUrl = remote::pageUrl(*options, m_server->port());
    showRemoteTip(m_station->state());
    Q_EMIT serving(m_servingUrl);
    return {};
}

// Like serveRemote(): any bridge goes first, saying "offline", and leaving its prefix
// clean when it moves elsewhere; a new one publishes by the values now in use.
QString MainWindow::serveMqtt()
{
    QString why;
    std::optional<mqtt::MqttOptions> options;
    if (m_mqtt.enabled || !m_mqttForThisRun.url.isEmpty())
        options = mqtt::mqttOptions(m_mqtt, m_mqttForThisRun, {}, why);
    if (m_bridge && mqtt::leavesPrefix(*m_bridgeOptions, options))
        m_bridge->leave();
    m_bridge.reset();
    m_bridgeOptions.reset();
    showRemoteTip(m_station->state());
    if (!options)
        return why;
    m_bridge = mqtt::openBridge(
        m_station, *options, this,
        [this](const QString &status) {
            showRemoteTip(m_station->state());
            if (auto *dialog = qobject_cast<RemoteDialog *>(m_remoteDialog.data()))
                dialog->showMqttStatus(status);
        },
        why);
    if (!m_bridge)
        return why;
    m_bridgeOptions = options;
    m_bridge->start();
    return {};
}

// ---- views, On Top and the window's place ------------------------------------------

void MainWindow::applyWindowSettings(const WindowSettings &settings)
{
    if (settings.leftTwips)
        move(px(*settings.leftTwips), y());
    if (settings.topTwips)
        move(x(), px(*settings.topTwips));
    m_style = settings.style;
    m_height = settings.height;
    {
        const QSignalBlocker quiet(m_onTop);
        m_onTop->setChecked(settings.onTop);
    }
    if (settings.onTop)
        setOnTop(true);
    // The stored style, when it names a view; anything else leaves the designed height.
    bool numeric = false;
    const double style = m_style.trimmed().toDouble(&numeric);
    for (std::size_t i = 0; numeric && i < kViews.size(); ++i)
        if (style == kViews[i].style)
            applyView(i, true);
}

WindowSettings MainWindow::windowSettings() const
{
    return WindowSettings{toTwips(x()), toTwips(y()), m_onTop->isChecked(), m_style, m_height};
}

// A view is only a height of the area under the menu bar. Start-up restores one; the
// menu chooses one and stores it with its height.
void MainWindow::applyView(std::size_t view, bool atStartUp)
{
    const View &v = kViews[view];
    const int outer = atStartUp ? v.startupHeight : v.menuHeight;
    resize(width(), menuBar()->sizeHint().height() + px(outer - kFrameCaptionMenuTwips));
    for (std::size_t i = 0; i < kViews.size(); ++i)
        m_viewActions[i]->setChecked(i == view);
    if (atStartUp)
        return;
    m_style = QString::number(v.style);
    m_height = QString::number(v.menuHeight);
    saveSettings();
}

// Only the stacking changes: on X11 the window manager gets _NET_WM_STATE_ABOVE, and
// the window keeps its place and size and is not activated. Changing the flags on the
// window handle does that in place; QWidget::setWindowFlag would hide the window.
void MainWindow::setOnTop(bool onTop)
{
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (QWindow *handle = windowHandle()) {
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

// ---- dialogs and messages ----------------------------------------------------------

// While the dialog is open the line is its own: the Station lets go of it. The panel
// stays hidden until the dialog closes, which leaves the dialog the only window the
// operator can reach; back from it, the keyboard lands on the panel again.
void MainWindow::openSetup()
{
    if (!m_setupDialog) {
        m_station->suspend();
        hide();
        auto *dialog = new SetupDialog(*m_station, this);
        connect(dialog, &SetupDialog::closed, this, [this] { bringForward(this); });
        m_setupDialog = dialog;
    }
    bringForward(m_setupDialog);
}

void MainWindow::openRadio()
{
    if (!m_radioDialog)
        m_radioDialog = new RadioDialog(*m_station, this);
    bringForward(m_radioDialog);
}

// A setting the token rule refuses is not stored; one that is allowed is stored in one
// write with the rest and served by at once.
void MainWindow::openRemoteAccess()
{
    if (!m_remoteDialog) {
        auto status = [this] {
            return m_servingUrl.isEmpty() ? u"Off"_s : u"Serving "_s + m_servingUrl;
        };
        auto apply = [this, status](const RemoteSettings &s) {
            QString why;
            if (s.enabled && !remote::remoteOptions(s, {}, why))
                return RemoteDialog::Outcome{false, false, why};
            m_remote = s;
            saveSettings();
            why = serveRemote({});
            return RemoteDialog::Outcome{why.isEmpty(), true, why.isEmpty() ? status() : why};
        };
        auto applyMqtt = [this](const MqttSettings &s) {
            QString why;
            if (s.enabled && !mqtt::mqttOptions(s, {}, {}, why))
                return RemoteDialog::Outcome{false, false, why};
            m_mqtt = s;
            m_mqttForThisRun = {}; // what the operator chose now, not the command line
            saveSettings();
            why = serveMqtt();
            return RemoteDialog::Outcome{why.isEmpty(), true,
                                         m_bridge ? m_bridge->status() : u"Off"_s};
        };
        const QString tokenFile = QFileInfo(m_store->filePath()).absolutePath() + u"/token"_s;
        m_remoteDialog =
            new RemoteDialog(m_remote, status(), tokenFile, apply,
                             {m_mqtt, m_bridge ? m_bridge->status() : u"Off"_s, applyMqtt}, this);
    }
    bringForward(m_remoteDialog);
}

void MainWindow::openHelp()
{
    auto *help = qobject_cast<HelpWindow *>(m_helpWindow.data());
    if (!help)
        m_helpWindow = help = new HelpWindow(HelpWindow::defaultContentsFile(), this);
    else
        help->showContents();
    bringForward(help);
}

// An open box is only brought forward: it is not loaded again.
void MainWindow::openAbout()
{
    if (!m_aboutBox)
        m_aboutBox = new AboutBox(this);
    bringForward(m_aboutBox);
}

bool MainWindow::startTrace(const QString &path)
{
    const bool started = m_station->startTrace(path);
    m_traceAction->setChecked(started);
    return started;
}

// A trace appends to a file that is there already, so choosing one is no threat to it.
void MainWindow::chooseTraceFile(bool checked)
{
    if (!checked) {
        m_station->stopTrace();
        return;
    }
    const QString suggested = m_station->traceFile().isEmpty()
                                  ? QDir::home().filePath(u"tarvik-trace.log"_s)
                                  : m_station->traceFile();
    const QString path = QFileDialog::getSaveFileName(this, u"Trace to File"_s, suggested,
                                                      u"Trace files (*.log);;All files (*)"_s,
                                                      nullptr, QFileDialog::DontConfirmOverwrite);
    if (path.isEmpty())
        m_traceAction->setChecked(false);
    else
        startTrace(path);
}

void MainWindow::warn(const QString &text, const QString &detail)
{
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle), text,
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setInformativeText(detail);
    box.exec();
}

void MainWindow::reportStoreFailure(const QString &path)
{
    if (m_storeFailureShown)
        return;
    m_storeFailureShown = true;
    const QString why = m_store->whyNotWritable();
    warn(u"The settings cannot be saved to %1%2."_s.arg(path, why.isEmpty() ? why : u": "_s + why),
         u"The panel runs on with the settings you have now; changes will be lost when it "
         "ends."_s);
}

} // namespace tarvik

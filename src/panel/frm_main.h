#pragma once

#include "indicator.h"
#include "panelstate.h"
#include "paneltables.h"
#include "preferences.h"
#include "protocol.h"
#include "rigendpoint.h"
#include "setuphost.h"

#include <QElapsedTimer>
#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTimer;
class QWidget;

namespace tarvik {

class CommPort;
class RigFollower;
class SerialTrace;
class SettingsStore;
struct StatusPoll;

// The control panel. It owns the port, the four timers, the panel state and every
// control for the whole run.
//
// Commands: a button (or its menu item, which presses it) stops Timer1, changes the
// panel state, has Data2Tarvik or a fixed-code frame written to MSComm1, and starts
// Timer1 again. Status: each Timer1 tick runs GetStatus, keeps the fields it read in
// the panel state and shows its outcome on the indicators. Settings come in through
// RegInit/GetPreferences at start-up and go out through SaveSettings. A serial trace,
// while one runs, records everything MSComm1 writes and reads.
//
// Following the radio: the RigFollower's frameDue takes the band buttons' path
// (tuneBand), with the band that holds the radio's frequency; its state shows on the
// Radio lamp.
//
// Building the window is frm_main_build.cpp; the behaviour is spread by concern over
// frm_main_commands, _status, _views, _dialogs, _keyboard, _link, _follow and _trace.
class frm_main : public QMainWindow, public SetupHost
{
    Q_OBJECT
public:
    explicit frm_main(SettingsStore *store, QWidget *parent = nullptr);
    ~frm_main() override;

    // Start-up. Call once, before showing the window.
    void Form_Load();

    // This run only: the device to open instead of the stored "ComPort".
    void setPortOverride(const QString &device);
    // This run only: follow the rigctld at `endpoint`, whatever the "Follow" section
    // says. Call after Form_Load; the Radio dialog's choice of a place ends it.
    void followRigForThisRun(const rig::Endpoint &endpoint);

    // Records the line's traffic in `path` from now on (--trace, "&Trace to File...").
    // A file that cannot be opened is reported, and the panel runs on untraced.
    bool startTrace(const QString &path);
    void stopTrace();

    // Panel state record.
    std::int16_t pollrate() const override { return m_state.pollrate; }
    void setPollrate(std::int16_t value) override { m_state.pollrate = value; }
    QString sndDir() const override { return m_state.sndDir; }
    void setSndDir(const QString &value) override { m_state.sndDir = value; }
    bool Vastor() const override { return m_state.Vastor; }
    void setVastor(bool value) override { m_state.Vastor = value; }

    // Accessors for the settings routines, the setup dialog and tests.
    CommPort &MSComm1() override { return *m_port; }
    SettingsStore &store() { return *m_store; }
    QTimer *Timer1() const { return m_timers[0]; }
    QTimer *Timer2() const { return m_timers[1]; }
    QTimer *Timer3() const { return m_timers[2]; }
    QTimer *Timer4() const { return m_timers[3]; }
    QCheckBox *chkOnTop() const { return m_chkOnTop; }
    QLineEdit *Text1() const { return m_text1; }
    QLineEdit *Text3() const { return m_text3; }
    QPushButton *button(const QString &objectName) const;
    Indicator *indicator(const QString &accessibleName) const;
    QAction *action(const QString &objectName) const;
    int clientHeightTwips() const;

    // SettingsHost
    double windowLeft() const override;
    double windowTop() const override;
    void setWindowLeft(double twips) override;
    void setWindowTop(double twips) override;
    int onTopValue() const override;
    void setOnTopValue(int value) override;
    FollowSettings followSettings() const override { return m_follow; }
    void setFollowSettings(const FollowSettings &value) override;

    // SetupHost
    SettingsStore &settingsStore() override { return *m_store; }
    void stopPolling() override;
    void startPolling(int intervalMs) override;
    void showMainWindow() override;
    void hideMainWindow() override;
    void sendCurrentFrame() override;
    void portLeftClosed() override;

    // The secondary windows, while open.
    QWidget *setupDialog() const;
    QWidget *aboutBox() const;
    QWidget *helpWindow() const;
    QWidget *radioDialog() const;
    RigFollower &follower() const { return *m_follower; }

    // Builds the set-frequency frame from the panel state and writes it. Leaves
    // Timer1 stopped; the caller starts it again.
    void Data2Tarvik();
    void SaveSettings();

public Q_SLOTS:
    void mnuExit_Click();
    void mnuCompact_Click();
    void mnuFull_Click();
    void mnuDiag_Click();
    void mnuSetup_Click();
    void mnuFollow_Click(bool checked);
    void mnuRadio_Click();
    void mnuTrace_Click(bool checked);
    void mnuContents_Click();
    void mnuAbout_Click();
    void cmd180_Click();
    void cmdBid_Click();
    void cmd34_Click();
    void cmdHome_Click();
    void cmdCal_Click();
    void cmdEnable_Click();
    void cmdDisable_Click();
    void cmdUP_Click();
    void cmdDN_Click();
    void chkOnTop_Click();
    void Timer1_Timer();
    void Timer2_Timer();
    void Timer3_Timer();
    void Timer4_Timer();

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Building the window (frm_main_build.cpp).
    void buildControls();
    void buildStatusDisplays(QWidget *client);
    void buildCommandColumns(QWidget *client);
    void buildBandRow(QWidget *client);
    void buildDiagnostics(QWidget *client);
    void buildRadioIndicator(QWidget *client);
    void buildMenus();
    // Keyboard (frm_main_keyboard.cpp).
    void claimClashingAccessKeys();
    void addCommandKeys();
    // Start-up and shut-down.
    void Form_Unload();
    void openPortAtStartUp();
    void reportPortFailure();
    void reportStoreFailure(const QString &path);
    // Commands (frm_main_commands.cpp).
    void bandClick(std::size_t band);
    void lightBand(std::optional<std::size_t> band);
    void tuneBand(std::optional<std::size_t> band, double frequency);
    void directionToggle(Indicator *lamp, proto::Pattern pattern);
    void fixedCodeCommand(const proto::CommandCode &code);
    void frequencyStep(int delta);
    void writeFrame(const QByteArray &frame);
    // Status (frm_main_status.cpp).
    void keepWhatWasRead(const StatusPoll &poll);
    void showPoll(const StatusPoll &poll);
    void showReceived(const QString &replyHex);
    void showFrequency(double mhz);
    void showSilence(const StatusPoll &poll);
    void setConnectedLamp(bool red, const QString &tip);
    void setConnectedTip(const QString &tip);
    void showPortClosed();
    // Views and On Top (frm_main_views.cpp).
    void restoreView();
    void selectView(std::size_t view);
    void applyView(const View &view, bool atStartUp);
    void storeViewStyle();
    void SetOnTop(bool onTop);
    // Line loss and quiet reopening (frm_main_link.cpp).
    void watchTheLine();
    void onLineLost();
    void retryLine();
    // Following the radio (frm_main_follow.cpp).
    void watchTheRadio();
    void followRadio(qint64 hz);
    void applyFollowing();
    void showRadioState();
    // The serial trace (frm_main_trace.cpp).
    void reportTraceFailure(const QString &reason);

    SettingsStore *m_store;
    CommPort *m_port;
    SerialTrace *m_trace;
    PanelState m_state;
    std::array<QTimer *, 4> m_timers{};

    QLineEdit *m_text3 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QCheckBox *m_chkOnTop = nullptr;
    Indicator *m_tuning = nullptr;
    Indicator *m_retracting = nullptr;
    Indicator *m_connected = nullptr;
    Indicator *m_lamp180 = nullptr;
    Indicator *m_lampBid = nullptr;
    Indicator *m_lamp34 = nullptr;
    std::array<Indicator *, kBands.size()> m_bandLamps{};
    std::array<QPushButton *, kBands.size()> m_bandButtons{};
    std::array<QAction *, kViews.size()> m_viewActions{};
    RigFollower *m_follower;
    FollowSettings m_follow;
    // --rig: where to follow this run, and whether the operator still wants to.
    struct RunRig {
        rig::Endpoint endpoint;
        bool following;
    };
    std::optional<RunRig> m_runRig;
    Indicator *m_radioLamp = nullptr;
    QLabel *m_radioCaption = nullptr;
    QAction *m_followAction = nullptr;
    QAction *m_traceAction = nullptr;
    // Polls in a row that asked and read nothing, and the time since the last frame
    // was read (or polling began).
    int m_silentPolls = 0;
    QElapsedTimer m_sinceReply;
    bool m_storeFailureShown = false;
    QTimer *m_lineRetry = nullptr; // reopens a lost line, once a poll interval
    // Buttons whose access key a menu title uses too: the button gets it.
    QHash<int, QPushButton *> m_claimedKeys;
    QPointer<QWidget> m_setupDialog;
    QPointer<QWidget> m_aboutBox;
    QPointer<QWidget> m_helpWindow;
    QPointer<QWidget> m_radioDialog;
};

} // namespace tarvik

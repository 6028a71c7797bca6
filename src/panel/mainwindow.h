#pragma once

#include "bridgemodule.h"
#include "indicator.h"
#include "mqttconfig.h"
#include "paneltables.h"
#include "servermodule.h"
#include "settings.h"

#include <QHash>
#include <QMainWindow>
#include <QPointer>

#include <array>
#include <memory>
#include <optional>

class QAction;
class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace tarvik {

class SettingsStore;
class Station;
enum class CommandResult : int;
struct StationState;

// The desktop panel: a view over one Station.
//
// Clicks, keys and menu items call the Station; each StationState it publishes is drawn
// as lamps, tool tips, notes and the frequency and received-string boxes. The window
// keeps only what is a window's business: the views, On Top, its position, the dialogs
// and the message boxes.
//
// Settings: start() reads the whole file into StationSettings and WindowSettings, gives
// them to the Station and the window, and only then starts the Station; nothing is
// saved on the way. saveSettings() writes both back in one SettingsStore::setValues()
// call; it runs when the Station says a setting changed, on a change of view or On Top,
// and as the window closes.
//
// It may serve the HTTP and WebSocket API over the same Station (a RemoteServer it owns):
// the [Remote] section, or --listen for one run, or the Remote Access dialog decide.
// Changes from the network come back through stateChanged like any other; the Remote
// lamp follows the server's clientsChanged. It may publish the Station on an MQTT
// broker too (an MqttBridge it owns, by the [Mqtt] section); the broker's state is in
// the Remote lamp's tip.
//
// Building the window and its keys is mainwindow_build.cpp.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    // Neither is owned; both outlive the window.
    MainWindow(Station *station, SettingsStore *store, QWidget *parent = nullptr);
    ~MainWindow() override;

    // Loads the settings, applies them and starts the Station. Call once, before show().
    void start();
    // Records the line in `path` from now on (--trace, "&Trace to File...").
    bool startTrace(const QString &path);
    // Serve the API on ADDRESS:PORT for this run (--listen); call before start().
    void listenForThisRun(const QString &listen) { m_listenForThisRun = listen; }
    // Publish on this broker for this run (--mqtt, --mqtt-prefix); call before start().
    void publishForThisRun(const mqtt::MqttOverrides &run) { m_mqttForThisRun = run; }
    void saveSettings();

    Station &station() const { return *m_station; }
    // For tests: controls by object name, lamps by accessible name, the open dialogs.
    QPushButton *button(const QString &objectName) const;
    Indicator *indicator(const QString &accessibleName) const;
    QAction *action(const QString &objectName) const;
    QCheckBox *onTopBox() const { return m_onTop; }
    QLineEdit *frequencyBox() const { return m_frequency; }
    QLineEdit *receivedBox() const { return m_received; }
    int clientHeightTwips() const;
    QWidget *setupDialog() const { return m_setupDialog.data(); }
    QWidget *aboutBox() const { return m_aboutBox.data(); }
    QWidget *helpWindow() const { return m_helpWindow.data(); }
    QWidget *radioDialog() const { return m_radioDialog.data(); }
    QWidget *remoteDialog() const { return m_remoteDialog.data(); }

    // A control whose command the transmit interlock refused says why in its tool tip,
    // until the radio receives again; nothing beeps.
    static void showRefusal(QPushButton *control, CommandResult result);

Q_SIGNALS:
    // The API is served at `url` ("http://127.0.0.1:8732/").
    void serving(const QString &url);
    // It is not, though asked to be: why.
    void notServing(const QString &reason);

protected:
    void closeEvent(QCloseEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Building (mainwindow_build.cpp).
    void buildControls();
    void buildStatusDisplays(QWidget *client);
    void buildCommandColumns(QWidget *client);
    void buildBandRow(QWidget *client);
    void buildDiagnostics(QWidget *client);
    void buildMenus();
    void claimClashingAccessKeys();
    void addCommandKeys();
    // Drawing the state.
    void showState(const StationState &state);
    void showRemoteTip(const StationState &state);
    // The remote API: started, stopped or restarted by the [Remote] values in use.
    QString serveRemote(const remote::RemoteOverrides &run);
    // The MQTT bridge likewise, by the [Mqtt] values in use.
    QString serveMqtt();
    // Settings, views and On Top.
    void applyWindowSettings(const WindowSettings &settings);
    WindowSettings windowSettings() const;
    void applyView(std::size_t view, bool atStartUp);
    void setOnTop(bool onTop);
    // Dialogs and messages.
    void openSetup();
    void openRadio();
    void openRemoteAccess();
    void openHelp();
    void openAbout();
    void chooseTraceFile(bool checked);
    void warn(const QString &text, const QString &detail);
    void reportStoreFailure(const QString &path);

    Station *m_station;
    SettingsStore *m_store;
    QString m_style;  // the stored view, kept as read until a view is chosen
    QString m_height; // likewise "Height"
    bool m_storeFailureShown = false;

    QLineEdit *m_frequency = nullptr;
    QLineEdit *m_received = nullptr;
    QCheckBox *m_onTop = nullptr;
    Indicator *m_tuning = nullptr;
    Indicator *m_retracting = nullptr;
    Indicator *m_connected = nullptr;
    std::array<Indicator *, 3> m_patternLamps{}; // 180, BiDir, 3/4
    std::array<Indicator *, kBands.size()> m_bandLamps{};
    std::array<QPushButton *, kBands.size()> m_bandButtons{};
    std::array<QAction *, kViews.size()> m_viewActions{};
    Indicator *m_radioLamp = nullptr;
    QLabel *m_radioCaption = nullptr;
    Indicator *m_remoteLamp = nullptr;
    QHash<QString, Indicator *> m_lamps; // by accessible name, as the looks table names them
    QLabel *m_remoteCaption = nullptr;
    Indicator *m_txLamp = nullptr;
    QLabel *m_txCaption = nullptr;
    RemoteSettings m_remote;
    QString m_listenForThisRun;
    QString m_servingUrl;                           // empty: not serving
    std::unique_ptr<remote::ServerHandle> m_server; // from the module, while serving
    MqttSettings m_mqtt;
    mqtt::MqttOverrides m_mqttForThisRun;
    std::unique_ptr<mqtt::BridgeHandle> m_bridge;     // from the module, while a broker is set
    std::optional<mqtt::MqttOptions> m_bridgeOptions; // what m_bridge publishes by
    QAction *m_followAction = nullptr;
    QAction *m_traceAction = nullptr;
    // Buttons whose access key a menu title uses too: the button gets it.
    QHash<int, QPushButton *> m_claimedKeys;
    QPointer<QWidget> m_setupDialog;
    QPointer<QWidget> m_aboutBox;
    QPointer<QWidget> m_helpWindow;
    QPointer<QWidget> m_radioDialog;
    QPointer<QWidget> m_remoteDialog;
};

} // namespace tarvik

#pragma once

#include "settings.h"

#include <QDialog>

#include <array>
#include <functional>

class QCheckBox;
class QFormLayout;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tarvik {

// The Remote Access dialog: whether the panel serves the HTTP and WebSocket API, on
// which address and port, and with which token; below, whether and where it publishes
// on an MQTT broker. Like the Radio dialog it has no OK or
// Cancel: each finished entry becomes a RemoteSettings handed to `apply`, which the
// main window checks (the token rule), stores in one write and serves by; a refusal
// comes back as a message and the status line. The token is made here (in the file
// named, or beside the settings) and shown only when asked.
class RemoteDialog : public QDialog
{
    Q_OBJECT
public:
    struct Outcome {
        bool applied;   // stored and served by
        bool stored;    // stored, though perhaps not served (a port taken)
        QString status; // "Serving http://127.0.0.1:8732/", "Off", or why not
    };
    using Apply = std::function<Outcome(const RemoteSettings &)>;
    // The MQTT part is handed over the same way, on its own.
    struct Mqtt {
        MqttSettings settings;
        QString status;
        std::function<Outcome(const MqttSettings &)> apply;
    };

    RemoteDialog(const RemoteSettings &settings, const QString &status,
                 const QString &defaultTokenFile, Apply apply, Mqtt mqtt, QWidget *parent);

    QCheckBox *enabledBox() const { return m_enabled; }
    QLineEdit *addressEdit() const { return m_address; }
    QSpinBox *portBox() const { return m_port; }
    QLineEdit *tokenFileEdit() const { return m_tokenFile; }
    QLineEdit *tokenText() const { return m_token; }
    QLineEdit *statusLine() const { return m_status; }
    QCheckBox *mqttEnabledBox() const { return m_mqttEnabled; }
    QLineEdit *mqttBrokerEdit() const { return m_mqttEdits[0]; }
    QLineEdit *mqttPrefixEdit() const { return m_mqttEdits[1]; }
    QLineEdit *mqttStatusLine() const { return m_mqttStatus; }
    // The broker's state as it changes, while the dialog is open.
    void showMqttStatus(const QString &status);

    void done(int result) override;

private:
    void buildControls();
    void buildMqttControls(QFormLayout *form);
    void showSettings();
    void commit();
    void commitMqtt();
    void createToken();
    void showToken();

    RemoteSettings m_settings;
    QString m_defaultTokenFile;
    Apply m_apply;
    QCheckBox *m_enabled = nullptr;
    QLineEdit *m_address = nullptr;
    QSpinBox *m_port = nullptr;
    QLineEdit *m_tokenFile = nullptr;
    QLineEdit *m_token = nullptr;
    QLineEdit *m_status = nullptr;
    Mqtt m_mqtt;
    QCheckBox *m_mqttEnabled = nullptr;
    QCheckBox *m_mqttDiscovery = nullptr;
    std::array<QLineEdit *, 5> m_mqttEdits{}; // in the order of kMqttFields
    QLineEdit *m_mqttStatus = nullptr;
};

} // namespace tarvik

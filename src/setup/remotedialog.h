#pragma once

#include "settings.h"

#include <QDialog>

#include <functional>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace tarvik {

// The Remote Access dialog: whether the panel serves the HTTP and WebSocket API, on
// which address and port, and with which token. Like the Radio dialog it has no OK or
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

    RemoteDialog(const RemoteSettings &settings, const QString &status,
                 const QString &defaultTokenFile, Apply apply, QWidget *parent);

    QCheckBox *enabledBox() const { return m_enabled; }
    QLineEdit *addressEdit() const { return m_address; }
    QSpinBox *portBox() const { return m_port; }
    QLineEdit *tokenFileEdit() const { return m_tokenFile; }
    QLineEdit *tokenText() const { return m_token; }
    QLineEdit *statusLine() const { return m_status; }

    void done(int result) override;

private:
    void buildControls();
    void showSettings();
    void commit();
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
};

} // namespace tarvik

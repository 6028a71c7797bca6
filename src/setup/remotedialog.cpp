#include "remotedialog.h"

#include "remoteconfig.h"
#include "token.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>

using namespace Qt::StringLiterals;

namespace tarvik {

namespace {
QLineEdit *makeEdit(QWidget *parent, const QString &name, bool readOnly)
{
    auto *edit = new QLineEdit(parent);
    edit->setAccessibleName(name);
    edit->setReadOnly(readOnly);
    return edit;
}

// The MQTT part's text fields: caption, accessible name, and the setting each edits.
struct MqttField {
    const char *caption;
    const char *name;
    QString MqttSettings::*value;
};
const std::array<MqttField, 5> kMqttFields{{
    {"&Broker:", "Broker", &MqttSettings::url},
    {"Prefi&x:", "Prefix", &MqttSettings::prefix},
    {"User &name:", "User name", &MqttSettings::userName},
    {"Pass&word file:", "Password file", &MqttSettings::passwordFile},
    {"CA fi&le:", "CA file", &MqttSettings::caFile},
}};

QPushButton *makeButton(QWidget *parent, const QString &caption, const QString &name)
{
    auto *b = new QPushButton(caption, parent);
    b->setAccessibleName(name);
    b->setAutoDefault(false);
    return b;
}
} // namespace

RemoteDialog::RemoteDialog(const RemoteSettings &settings, const QString &status,
                           const QString &defaultTokenFile, Apply apply, Mqtt mqtt, QWidget *parent)
    : QDialog(parent)
    , m_settings(settings)
    , m_defaultTokenFile(defaultTokenFile)
    , m_apply(std::move(apply))
    , m_mqtt(std::move(mqtt))
{
    setObjectName(u"remoteDialog"_s);
    setWindowTitle(u"Remote Access"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();

    showSettings();
    m_status->setText(status);

    connect(m_enabled, &QCheckBox::toggled, this, &RemoteDialog::commit);
    connect(m_address, &QLineEdit::editingFinished, this, &RemoteDialog::commit);
    connect(m_port, &QSpinBox::valueChanged, this, &RemoteDialog::commit);
    connect(m_tokenFile, &QLineEdit::editingFinished, this, &RemoteDialog::commit);
    showMqttStatus(m_mqtt.status);
    for (QCheckBox *box : {m_mqttEnabled, m_mqttDiscovery})
        connect(box, &QCheckBox::toggled, this, &RemoteDialog::commitMqtt);
    for (QLineEdit *edit : m_mqttEdits)
        connect(edit, &QLineEdit::editingFinished, this, &RemoteDialog::commitMqtt);
}

// The fields as the settings in use are, without handing them over again.
void RemoteDialog::showSettings()
{
    const QSignalBlocker blockBox(m_enabled);
    const QSignalBlocker blockPort(m_port);
    const auto listen = remote::parseListen(m_settings.listen);
    m_enabled->setChecked(m_settings.enabled);
    m_address->setText(listen ? listen->first.toString() : u"127.0.0.1"_s);
    m_port->setValue(listen ? listen->second : remote::kDefaultListenPort);
    m_tokenFile->setText(m_settings.tokenFile);
    const QSignalBlocker blockMqtt(m_mqttEnabled);
    const QSignalBlocker blockDiscovery(m_mqttDiscovery);
    m_mqttEnabled->setChecked(m_mqtt.settings.enabled);
    m_mqttDiscovery->setChecked(m_mqtt.settings.discovery);
    for (std::size_t i = 0; i < kMqttFields.size(); ++i)
        m_mqttEdits[i]->setText(m_mqtt.settings.*kMqttFields[i].value);
}

void RemoteDialog::buildControls()
{
    auto *form = new QFormLayout(this);
    m_enabled = new QCheckBox(u"S&erve the remote API"_s, this);
    m_enabled->setAccessibleName(u"Serve the remote API"_s);
    form->addRow(m_enabled);
    m_address = makeEdit(this, u"Address"_s, false);
    form->addRow(u"&Address:"_s, m_address);
    m_port = new QSpinBox(this);
    m_port->setAccessibleName(u"Port"_s);
    m_port->setRange(1, 65535);
    m_port->setKeyboardTracking(false);
    form->addRow(u"&Port:"_s, m_port);

    m_tokenFile = makeEdit(this, u"Token file"_s, false);
    form->addRow(u"Token &file:"_s, m_tokenFile);
    auto *tokenButtons = new QHBoxLayout;
    QPushButton *create = makeButton(this, u"C&reate Token"_s, u"Create Token"_s);
    QPushButton *show = makeButton(this, u"&Show Token"_s, u"Show Token"_s);
    tokenButtons->addWidget(create);
    tokenButtons->addWidget(show);
    form->addRow(tokenButtons);
    connect(create, &QPushButton::clicked, this, &RemoteDialog::createToken);
    connect(show, &QPushButton::clicked, this, &RemoteDialog::showToken);
    // Hidden until asked, so that a glance over the shoulder does not take it.
    m_token = makeEdit(this, u"Token"_s, true);
    m_token->setMinimumWidth(m_token->fontMetrics().horizontalAdvance(QString(44, u'M')));
    m_token->hide();
    form->addRow(m_token);

    m_status = makeEdit(this, u"Status"_s, true);
    form->addRow(u"Stat&us:"_s, m_status);
    buildMqttControls(form);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(u"&Close"_s);
    close->setAutoDefault(false);
    close->setDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

void RemoteDialog::buildMqttControls(QFormLayout *form)
{
    m_mqttEnabled = new QCheckBox(u"Publish on an &MQTT broker"_s, this);
    m_mqttEnabled->setAccessibleName(u"Publish on an MQTT broker"_s);
    form->addRow(m_mqttEnabled);
    for (std::size_t i = 0; i < kMqttFields.size(); ++i) {
        m_mqttEdits[i] = makeEdit(this, QString::fromLatin1(kMqttFields[i].name), false);
        form->addRow(QString::fromLatin1(kMqttFields[i].caption), m_mqttEdits[i]);
    }
    m_mqttEdits[0]->setPlaceholderText(u"mqtt://127.0.0.1:1883"_s);
    m_mqttEdits[1]->setPlaceholderText(u"tarvik/station"_s);
    m_mqttDiscovery = new QCheckBox(u"Home Assistant &discovery"_s, this);
    m_mqttDiscovery->setAccessibleName(u"Home Assistant discovery"_s);
    form->addRow(m_mqttDiscovery);
    m_mqttStatus = makeEdit(this, u"MQTT status"_s, true);
    form->addRow(u"MQTT s&tatus:"_s, m_mqttStatus);
}

void RemoteDialog::showMqttStatus(const QString &status)
{
    m_mqttStatus->setText(status);
}

// As commit() does for the API: a change only, and a refusal puts the fields back.
void RemoteDialog::commitMqtt()
{
    MqttSettings s = m_mqtt.settings;
    s.enabled = m_mqttEnabled->isChecked();
    s.discovery = m_mqttDiscovery->isChecked();
    for (std::size_t i = 0; i < kMqttFields.size(); ++i)
        s.*kMqttFields[i].value = m_mqttEdits[i]->text().trimmed();
    if (s.url.isEmpty())
        s.url = m_mqtt.settings.url;
    if (s == m_mqtt.settings)
        return;
    const Outcome outcome = m_mqtt.apply(s);
    m_mqttStatus->setText(outcome.status);
    if (outcome.stored)
        m_mqtt.settings = s;
    if (outcome.applied)
        return;
    if (!outcome.stored)
        showSettings();
    QMessageBox::warning(this, windowTitle(), outcome.status);
}

// Only a change is handed over: the window restarts the server for one, which drops
// the clients connected.
void RemoteDialog::commit()
{
    RemoteSettings s = m_settings;
    s.enabled = m_enabled->isChecked();
    const QHostAddress address(m_address->text().trimmed());
    if (!address.isNull())
        s.listen = address.protocol() == QAbstractSocket::IPv6Protocol
                       ? u"[%1]:%2"_s.arg(address.toString()).arg(m_port->value())
                       : u"%1:%2"_s.arg(address.toString()).arg(m_port->value());
    s.tokenFile = m_tokenFile->text().trimmed();
    if (s == m_settings)
        return;
    const Outcome outcome = m_apply(s);
    m_status->setText(outcome.status);
    if (outcome.stored)
        m_settings = s;
    if (outcome.applied)
        return;
    // Refused, nothing stored: the fields go back to what is in use.
    if (!outcome.stored)
        showSettings();
    QMessageBox::warning(this, windowTitle(), outcome.status);
}

void RemoteDialog::createToken()
{
    if (m_tokenFile->text().trimmed().isEmpty())
        m_tokenFile->setText(m_defaultTokenFile);
    const QString error = remote::makeTokenFile(m_tokenFile->text().trimmed());
    if (!error.isEmpty()) {
        QMessageBox::warning(this, windowTitle(), error);
        return;
    }
    commit();
    showToken();
}

void RemoteDialog::showToken()
{
    const remote::TokenFile token = remote::readTokenFile(m_tokenFile->text().trimmed());
    if (!token.token) {
        QMessageBox::warning(this, windowTitle(),
                             token.error.isEmpty() ? u"No token file is given."_s : token.error);
        return;
    }
    m_token->setText(QString::fromLatin1(*token.token));
    m_token->show();
    m_token->setFocus(Qt::OtherFocusReason);
    m_token->selectAll();
}

// Escape and Close keep what was typed last, as leaving a field does.
void RemoteDialog::done(int result)
{
    m_port->interpretText();
    commit();
    commitMqtt();
    QDialog::done(result);
}

} // namespace tarvik

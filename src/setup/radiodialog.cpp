#include "frm_radio.h"

#include "preferences.h"
#include "rigfollower.h"
#include "settingskeys.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSpinBox>

namespace tarvik {

namespace {
// A field of the form: its caption with access key, the name a screen reader says,
// and for the numbers their range and unit.
struct NumberField {
    const char *caption;
    const char *name;
    int min;
    int max;
    int step;
    const char *suffix;
    QSpinBox *frm_radio::*box;
};

QSpinBox *makeNumberBox(QWidget *parent, const NumberField &field)
{
    auto *box = new QSpinBox(parent);
    box->setAccessibleName(QString::fromLatin1(field.name));
    box->setRange(field.min, field.max);
    box->setSingleStep(field.step);
    box->setSuffix(QString::fromLatin1(field.suffix));
    // A value counts once typed in full, not at every digit on the way.
    box->setKeyboardTracking(false);
    return box;
}
} // namespace

frm_radio::frm_radio(SettingsHost &host, SettingsStore &store, RigFollower &follower,
                     QWidget *parent)
    : QDialog(parent)
    , m_hostSettings(host)
    , m_store(store)
{
    setObjectName(QStringLiteral("frm_radio"));
    setWindowTitle(QStringLiteral("Radio"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();

    const FollowSettings s = host.followSettings();
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_threshold->setValue(s.thresholdKHz);
    m_settle->setValue(s.settleMs);
    m_status->setText(follower.statusText());
    connect(&follower, &RigFollower::statusChanged, m_status, &QLineEdit::setText);

    connect(m_host, &QLineEdit::editingFinished, this, &frm_radio::commit);
    for (QSpinBox *box : {m_port, m_threshold, m_settle})
        connect(box, &QSpinBox::valueChanged, this, &frm_radio::commit);
}

void frm_radio::buildControls()
{
    auto *form = new QFormLayout(this);
    m_host = new QLineEdit(this);
    m_host->setAccessibleName(QStringLiteral("Host"));
    // Something to look up: no blanks, no brackets (an IPv6 address goes in bare).
    m_host->setValidator(new QRegularExpressionValidator(
        QRegularExpression(QStringLiteral("[^\\s\\[\\]]{1,%1}").arg(kFollowHostMaxLength)),
        m_host));
    form->addRow(QStringLiteral("&Host:"), m_host);

    const NumberField fields[] = {
        {"&Port:", "Port", kFollowPortMin, kFollowPortMax, 1, "", &frm_radio::m_port},
        {"&Threshold:", "Threshold", 0, kFollowThresholdMaxKHz, 5, " kHz", &frm_radio::m_threshold},
        {"S&ettle time:", "Settle time", 0, kFollowSettleMaxMs, 100, " ms", &frm_radio::m_settle},
    };
    for (const NumberField &f : fields) {
        this->*f.box = makeNumberBox(this, f);
        form->addRow(QString::fromLatin1(f.caption), this->*f.box);
    }

    m_status = new QLineEdit(this);
    m_status->setAccessibleName(QStringLiteral("Status"));
    m_status->setReadOnly(true);
    m_status->setMinimumWidth(m_status->fontMetrics().horizontalAdvance(
        QStringLiteral("127.0.0.1:4532: no answer within 1 s, receiving")));
    form->addRow(QStringLiteral("Stat&us:"), m_status);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    QPushButton *close = buttons->button(QDialogButtonBox::Close);
    close->setText(QStringLiteral("&Close"));
    // Return finishes an entry and stays, so the status line can show what it brought.
    close->setAutoDefault(false);
    close->setDefault(false);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    form->addRow(buttons);
}

// What the fields show now, applied and stored when it differs from what is in use.
void frm_radio::commit()
{
    FollowSettings s = m_hostSettings.followSettings();
    if (m_host->hasAcceptableInput())
        s.host = m_host->text();
    s.port = m_port->value();
    s.thresholdKHz = m_threshold->value();
    s.settleMs = m_settle->value();
    if (s == m_hostSettings.followSettings())
        return;
    m_hostSettings.setFollowSettings(s);
    saveFollowSettings(m_store, s);
}

// Escape and Close keep what was typed last, as leaving a field does.
void frm_radio::done(int result)
{
    m_port->interpretText();
    m_threshold->interpretText();
    m_settle->interpretText();
    commit();
    QDialog::done(result);
}

} // namespace tarvik

#include "radiodialog.h"

#include "rigendpoint.h"
#include "station.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
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
    QSpinBox *RadioDialog::*box;
};

// Lets through only what isUsableHost() accepts, and an empty field on the way there.
class HostValidator : public QValidator
{
public:
    using QValidator::QValidator;
    State validate(QString &input, int &) const override
    {
        if (input.isEmpty())
            return Intermediate;
        return rig::isUsableHost(input) ? Acceptable : Invalid;
    }
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

RadioDialog::RadioDialog(Station &station, QWidget *parent)
    : QDialog(parent)
    , m_station(station)
{
    setObjectName(QStringLiteral("radioDialog"));
    setWindowTitle(QStringLiteral("Radio"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();

    const FollowSettings s = station.followSettings();
    const RigFollower &follower = station.follower();
    m_host->setText(s.host);
    m_port->setValue(s.port);
    m_threshold->setValue(s.thresholdKHz);
    m_settle->setValue(s.settleMs);
    m_status->setText(follower.statusText());
    connect(&follower, &RigFollower::statusChanged, m_status, &QLineEdit::setText);

    const InterlockSettings lock = station.interlockSettings();
    m_interlock->setChecked(lock.enabled.value_or(s.enabled));
    m_hold->setValue(lock.holdAfterTxMs);
    m_whenUnknown->setCurrentIndex(lock.refuseWhenUnknown ? 1 : 0);

    connect(m_host, &QLineEdit::editingFinished, this, &RadioDialog::commit);
    for (QSpinBox *box : {m_port, m_threshold, m_settle})
        connect(box, &QSpinBox::valueChanged, this, &RadioDialog::commit);
    connect(m_interlock, &QCheckBox::toggled, this, &RadioDialog::commitInterlock);
    connect(m_hold, &QSpinBox::valueChanged, this, &RadioDialog::commitInterlock);
    connect(m_whenUnknown, &QComboBox::currentIndexChanged, this, &RadioDialog::commitInterlock);
}

// Ticked or not, the box once touched says it for good: the interlock no longer comes
// and goes with following.
void RadioDialog::buildInterlock(QFormLayout *form)
{
    m_interlock = new QCheckBox(QStringLiteral("Refuse &moves while the radio transmits"), this);
    m_interlock->setAccessibleName(QStringLiteral("Transmit interlock"));
    form->addRow(QStringLiteral("Interlock:"), m_interlock);
    m_hold = makeNumberBox(
        this, {"", "Hold after transmit", 0, kHoldAfterTxMaxMs, 100, " ms", &RadioDialog::m_hold});
    form->addRow(QStringLiteral("Hold after T&X:"), m_hold);
    m_whenUnknown = new QComboBox(this);
    m_whenUnknown->setAccessibleName(QStringLiteral("When PTT is unknown"));
    m_whenUnknown->addItems({QStringLiteral("Allow commands"), QStringLiteral("Refuse commands")});
    form->addRow(QStringLiteral("When PTT is unkno&wn:"), m_whenUnknown);
}

void RadioDialog::commitInterlock()
{
    InterlockSettings s = m_station.interlockSettings();
    if (m_interlock->isChecked() != s.enabled.value_or(m_station.followSettings().enabled))
        s.enabled = m_interlock->isChecked();
    s.holdAfterTxMs = m_hold->value();
    s.refuseWhenUnknown = m_whenUnknown->currentIndex() == 1;
    m_station.setInterlockSettings(s);
}

void RadioDialog::buildControls()
{
    auto *form = new QFormLayout(this);
    m_host = new QLineEdit(this);
    m_host->setAccessibleName(QStringLiteral("Host"));
    m_host->setValidator(new HostValidator(m_host));
    form->addRow(QStringLiteral("&Host:"), m_host);

    const NumberField fields[] = {
        {"&Port:", "Port", kFollowPortMin, kFollowPortMax, 1, "", &RadioDialog::m_port},
        {"&Threshold:", "Threshold", 0, kFollowThresholdMaxKHz, 5, " kHz",
         &RadioDialog::m_threshold},
        {"S&ettle time:", "Settle time", 0, kFollowSettleMaxMs, 100, " ms", &RadioDialog::m_settle},
    };
    for (const NumberField &f : fields) {
        this->*f.box = makeNumberBox(this, f);
        form->addRow(QString::fromLatin1(f.caption), this->*f.box);
    }

    buildInterlock(form);

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

// What the fields show now; the Station applies and stores it when it differs from
// what is in use.
void RadioDialog::commit()
{
    FollowSettings s = m_station.followSettings();
    if (m_host->hasAcceptableInput())
        s.host = m_host->text();
    s.port = m_port->value();
    s.thresholdKHz = m_threshold->value();
    s.settleMs = m_settle->value();
    m_station.setFollowSettings(s);
}

// Escape and Close keep what was typed last, as leaving a field does.
void RadioDialog::done(int result)
{
    m_port->interpretText();
    m_threshold->interpretText();
    m_settle->interpretText();
    m_hold->interpretText();
    commit();
    commitInterlock();
    QDialog::done(result);
}

} // namespace tarvik

#include "frm_setup.h"

#include "commport.h"
#include "fonts.h"
#include "portmessage.h"
#include "preferences.h"
#include "settingsstore.h"
#include "setuphost.h"
#include "twips.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QScrollBar>
#include <QSerialPortInfo>
#include <QShortcut>
#include <QWindow>

#include <array>
#include <initializer_list>
#include <iterator>

namespace tarvik {

namespace {
const QString kComPrefix = QStringLiteral("Com ");
const QString kLineSuffix = QStringLiteral(",n,8,1");
const QString kByIdFolder = QStringLiteral("/dev/serial/by-id");
// Each Combo1 item carries the "ComPort" value it stands for.
constexpr int kPortValueRole = Qt::UserRole;

// Shows `text` in an editable combo without choosing anything: no activated() is
// emitted, so no click handler runs. The matching item, if any, becomes current so
// that the list opens on it.
void showText(QComboBox *combo, const QString &text)
{
    combo->setCurrentIndex(combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive));
    combo->setEditText(text);
}

// Frames and labels wear the caption face.
template <typename Captioned>
Captioned *makeCaptioned(QWidget *parent, const char *name, const QString &text,
                         const QRect &geometry)
{
    auto *w = new Captioned(text, parent);
    w->setObjectName(QString::fromLatin1(name));
    w->setFont(arial(8.25));
    w->setGeometry(geometry);
    return w;
}

// An editable list whose text field a screen reader names after the list, since the
// focus rests there.
QComboBox *makeCombo(QGroupBox *frame, const char *name, QComboBox::InsertPolicy policy)
{
    auto *combo = new QComboBox(frame);
    combo->setObjectName(QString::fromLatin1(name));
    combo->setAccessibleName(frame->title());
    combo->setEditable(true);
    combo->lineEdit()->setAccessibleName(combo->accessibleName());
    combo->setInsertPolicy(policy);
    combo->setGeometry(twipsRect(120, 240, 855, 315));
    return combo;
}

// The antenna types. The buttons carry no caption of their own; the labels beside
// them name them, and a screen reader reads those names.
struct AntennaOption {
    const char *button;
    const char *label;
    const char *caption;
    int top;        // twips within the frame
    int labelWidth; // twips
};
constexpr AntennaOption kAntennaOptions[] = {
    {"Option1", "Label2", "Vastor, Grandel", 240, 1215},
    {"Option2", "Label3", "Beam, Dipole, Petitel", 600, 1575},
};
} // namespace

frm_setup::frm_setup(SetupHost &host, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_host(host)
    , m_port(host.MSComm1())
{
    setObjectName(QStringLiteral("frm_setup"));
    setWindowTitle(QStringLiteral("Setup"));
    setAttribute(Qt::WA_DeleteOnClose);
    buildControls();
    resize(px(2910), px(2865));

    // The main window is hidden while this is open, so the dialog must not be its
    // transient: some window managers then keep it off the screen and out of the task
    // bar, leaving the operator nothing to reach. The parent only owns it.
    winId();
    if (QWindow *handle = windowHandle())
        handle->setTransientParent(nullptr);

    Form_Load();
}

frm_setup::~frm_setup() = default;

void frm_setup::buildControls()
{
    buildPortFrames();
    buildPollFrame();
    buildAntennaFrame();
    // The controls keep the dialog's own face, whatever the platform gives each class.
    for (QWidget *w : std::initializer_list<QWidget *>{m_combo1, m_combo2, m_text1, m_option1,
                                                       m_option2, m_text2})
        w->setFont(font());

    setTabOrder(m_combo1, m_combo2);
    setTabOrder(m_combo2, m_hscroll1);
    setTabOrder(m_hscroll1, m_text1);
    setTabOrder(m_text1, m_option1);
    setTabOrder(m_option1, m_option2);

    // Escape leaves the dialog as closing it does, as in any other dialog; without it
    // a keyboard-only operator depends on the window manager to get out.
    auto *leave = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(leave, &QShortcut::activated, this, &QWidget::close);

    // Only choosing a list item is a click: activated(), not a change of the text.
    connect(m_combo1, &QComboBox::activated, this, &frm_setup::Combo1_Click);
    connect(m_combo2, &QComboBox::activated, this, &frm_setup::Combo2_Click);
    connect(m_hscroll1, &QScrollBar::valueChanged, this, &frm_setup::HScroll1_Change);
    // A click handler runs for the option that becomes selected, never for the one
    // that is cleared.
    connect(m_option1, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Option1_Click();
    });
    connect(m_option2, &QRadioButton::toggled, this, [this](bool checked) {
        if (checked)
            Option2_Click();
    });
}

void frm_setup::buildPortFrames()
{
    auto *portFrame = makeCaptioned<QGroupBox>(this, "Frame1", QStringLiteral("Com Port"),
                                               twipsRect(120, 120, 1215, 735));
    // A device typed into the field and confirmed with Enter joins the list and is
    // chosen, as if it had been there all along.
    m_combo1 = makeCombo(portFrame, "Combo1", QComboBox::InsertAtBottom);
    fillPortList();

    auto *baudFrame = makeCaptioned<QGroupBox>(this, "Frame2", QStringLiteral("Baud Rate"),
                                               twipsRect(1560, 120, 1215, 735));
    // Only the listed rates can be chosen; typed text stays just text.
    m_combo2 = makeCombo(baudFrame, "Combo2", QComboBox::NoInsert);
    m_combo2->addItems({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                        QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("28800"),
                        QStringLiteral("38400"), QStringLiteral("57600")});
}

void frm_setup::buildPollFrame()
{
    auto *pollFrame = makeCaptioned<QGroupBox>(this, "Frame3", QStringLiteral("Polling Rate"),
                                               twipsRect(120, 840, 2655, 855));
    m_hscroll1 = new QScrollBar(Qt::Horizontal, pollFrame);
    m_hscroll1->setObjectName(QStringLiteral("HScroll1"));
    m_hscroll1->setAccessibleName(QStringLiteral("Polling Rate"));
    m_hscroll1->setFocusPolicy(Qt::StrongFocus);
    // Qt's scroll bars invert the keys for the sake of vertical ones; here the right
    // arrow and Page Up must make the interval longer, as the thumb moves right.
    m_hscroll1->setInvertedControls(false);
    m_hscroll1->setRange(kPollMin, kPollMax);
    m_hscroll1->setSingleStep(100);
    m_hscroll1->setPageStep(1000);
    m_hscroll1->setValue(kPollMin);
    m_hscroll1->setGeometry(twipsRect(120, 360, 1695, 255));
    m_text1 = new QLineEdit(pollFrame);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(QStringLiteral("Polling Rate in msec"));
    // Only the scroll bar sets the rate; the box just shows it.
    m_text1->setReadOnly(true);
    m_text1->setGeometry(twipsRect(1920, 360, 615, 285));
    // The box shows the bar's value from the start: loading a value equal to the one the
    // bar starts at changes nothing, so no change handler would fill it in.
    showPollRate();
    auto *unit = makeCaptioned<QLabel>(pollFrame, "Label1", QStringLiteral("msec"),
                                       twipsRect(1920, 120, 495, 255));
    unit->setAlignment(Qt::AlignCenter);
    unit->setBuddy(m_text1);
}

void frm_setup::buildAntennaFrame()
{
    auto *antennaFrame = makeCaptioned<QGroupBox>(this, "Frame4", QStringLiteral("Antenna Type"),
                                                  twipsRect(120, 1800, 2655, 975));
    std::array<QRadioButton *, std::size(kAntennaOptions)> options{};
    for (std::size_t i = 0; i < options.size(); ++i) {
        options[i] = new QRadioButton(antennaFrame);
        options[i]->setObjectName(QString::fromLatin1(kAntennaOptions[i].button));
        options[i]->setGeometry(twipsRect(240, kAntennaOptions[i].top, 255, 255));
    }
    for (std::size_t i = 0; i < options.size(); ++i) {
        const AntennaOption &o = kAntennaOptions[i];
        auto *label = makeCaptioned<QLabel>(antennaFrame, o.label, QString::fromLatin1(o.caption),
                                            twipsRect(600, o.top, o.labelWidth, 255));
        label->setBuddy(options[i]);
        options[i]->setAccessibleName(label->text());
    }
    m_option1 = options[0];
    m_option2 = options[1];

    // The antenna type echoed as text, below the designed client area.
    m_text2 = new QLineEdit(QStringLiteral("Text2"), this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setAccessibleName(QStringLiteral("Vastor"));
    m_text2->setReadOnly(true);
    m_text2->setFocusPolicy(Qt::NoFocus); // Tab must not land out of sight
    m_text2->setGeometry(twipsRect(960, 3120, 1095, 375));
}

// "Com 1" to "Com 9", then the serial devices this computer really has, by path, and
// their stable /dev/serial/by-id names, so that an adapter can be chosen by what it
// is rather than by the order it was plugged in.
void frm_setup::fillPortList()
{
    const QList<QSerialPortInfo> present = QSerialPortInfo::availablePorts();
    auto describe = [&present](const QString &path) {
        for (const QSerialPortInfo &info : present)
            if (info.systemLocation() == path && !info.description().isEmpty())
                return path + QStringLiteral(": ") + info.description();
        return path;
    };

    // Each device once, under the first name that lists it; the tip describes the
    // device behind the name.
    QStringList listed;
    auto add = [this, &listed, &describe](const QString &caption, const QString &value,
                                          const QString &path, const QString &device) {
        if (listed.contains(path))
            return;
        listed << path;
        m_combo1->addItem(caption, value);
        m_combo1->setItemData(m_combo1->count() - 1, describe(device), Qt::ToolTipRole);
    };
    for (int n = 1; n <= 9; ++n) {
        const QString device = CommPort::deviceForNumber(n);
        add(kComPrefix + QString::number(n), QString::number(n), device, device);
    }
    for (const QSerialPortInfo &info : present) {
        const QString path = info.systemLocation();
        add(path, path, path, path);
    }
    const QFileInfoList aliases =
        QDir(kByIdFolder)
            .entryInfoList(QDir::Files | QDir::System | QDir::NoDotAndDotDot, QDir::Name);
    for (const QFileInfo &alias : aliases) {
        const QString path = alias.absoluteFilePath();
        add(path, path, path, alias.canonicalFilePath());
    }
}

void frm_setup::SaveSettings()
{
    tarvik::SaveSettings(m_host.settingsStore(), m_host);
}

// The "ComPort" value of the chosen entry: a listed item says it itself; text the
// operator typed is a port number when it reads "Com n", otherwise a device path.
QString frm_setup::chosenPort() const
{
    const QVariant value = m_combo1->itemData(m_combo1->currentIndex(), kPortValueRole);
    if (value.isValid())
        return value.toString();
    const QString text = m_combo1->itemText(m_combo1->currentIndex()).trimmed();
    if (text.startsWith(kComPrefix) && portNumberOf(text.mid(kComPrefix.size())) >= 0)
        return text.mid(kComPrefix.size()).trimmed();
    return text;
}

void frm_setup::Form_Load()
{
    SettingsStore &store = m_host.settingsStore();

    // A number is shown as the list names it, a device path as it stands.
    const QString comPort = store.value(Key::ComPort);
    showText(m_combo1,
             comPort.isEmpty() || portNumberOf(comPort) >= 0 ? kComPrefix + comPort : comPort);

    QString settings = store.value(Key::Settings);
    settings.remove(kLineSuffix, Qt::CaseSensitive);
    showText(m_combo2, settings);

    // Values the store cannot hold legitimately give way to what start-up made of
    // them; the scroll bar keeps anything else within its range.
    bool ok = false;
    const short poll = store.value(Key::Poll).trimmed().toShort(&ok);
    m_hscroll1->setValue(ok ? poll : m_host.pollrate());

    const QString vastor = store.value(Key::Vastor).trimmed();
    bool large = m_host.Vastor();
    if (vastor == boolText(true))
        large = true;
    else if (vastor == boolText(false))
        large = false;
    m_option1->setChecked(large);
    m_option2->setChecked(!m_option1->isChecked());
}

void frm_setup::Combo1_Click()
{
    if (m_port.isOpen())
        m_port.close();
    // The operator is choosing the real port now; a device given for one run only
    // (--port, --simulate) no longer applies.
    m_port.clearRunOverride();
    m_port.setCommPort(chosenPort());
    if (!m_port.openLine()) {
        showPortNotAvailable(this, m_port);
        return;
    }
    SaveSettings();
}

void frm_setup::Combo2_Click()
{
    if (m_port.isOpen())
        m_port.close();
    m_port.setSettings(m_combo2->itemText(m_combo2->currentIndex()) + kLineSuffix);
    SaveSettings();
}

void frm_setup::showPollRate()
{
    m_text1->setText(QString::number(m_hscroll1->value()));
}

void frm_setup::HScroll1_Change()
{
    showPollRate();
    m_host.setPollrate(static_cast<std::int16_t>(m_hscroll1->value()));
    SaveSettings();
}

void frm_setup::Option1_Click()
{
    m_host.setVastor(m_option1->isChecked());
    m_option2->setChecked(!m_option1->isChecked());
    m_text2->setText(boolText(m_host.Vastor()));
    SaveSettings();
}

void frm_setup::Option2_Click()
{
    m_option1->setChecked(!m_option2->isChecked());
    m_host.setVastor(m_option1->isChecked());
    m_text2->setText(boolText(m_host.Vastor()));
    SaveSettings();
}

void frm_setup::Form_Unload()
{
    SaveSettings();
    hide();
    m_host.showMainWindow();
    // After a failed port choice the port may not open now either. The operator is
    // told the same way, and the panel carries on with the port closed rather than
    // stopping.
    if (!m_port.isOpen() && !m_port.openLine()) {
        showPortNotAvailable(parentWidget(), m_port);
        m_host.portLeftClosed();
    }
    m_host.setPollrate(static_cast<std::int16_t>(m_hscroll1->value()));
    m_host.setVastor(m_option1->isChecked());
    m_host.sendCurrentFrame();
    SaveSettings();
    // Polling resumes one interval after the frame, at the rate chosen here, so the
    // indicators follow the controller again without waiting for a command.
    m_host.startPolling(m_host.pollrate());
}

void frm_setup::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

} // namespace tarvik

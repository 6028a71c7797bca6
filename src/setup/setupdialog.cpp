#include "setupdialog.h"

#include "commport.h"
#include "fonts.h"
#include "portmessage.h"
#include "station.h"
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
#include <QTimer>
#include <QWindow>

#include <array>
#include <initializer_list>
#include <iterator>

namespace tarvik {

namespace {
const QString kComPrefix = QStringLiteral("Com ");
const QString kLineSuffix = QStringLiteral(",n,8,1");
const QString kByIdFolder = QStringLiteral("/dev/serial/by-id");
// Each port list item carries the "ComPort" value it stands for.
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
    {"largeAntenna", "largeAntennaCaption", "Vastor, Grandel", 240, 1215},
    {"otherAntenna", "otherAntennaCaption", "Beam, Dipole, Petitel", 600, 1575},
};
// A scroll bar still for this long has found its value.
constexpr int kPollStillMs = 500;
} // namespace

SetupDialog::SetupDialog(Station &station, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_station(station)
{
    setObjectName(QStringLiteral("setupDialog"));
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

    showSettings();
    // Only what the operator does from here on goes to the Station. Choosing a list
    // item is activated(), not a change of the text.
    connect(m_portList, &QComboBox::activated, this, &SetupDialog::choosePort);
    connect(m_baudList, &QComboBox::activated, this, &SetupDialog::chooseBaudRate);
    connect(m_pollBar, &QScrollBar::valueChanged, this, [this](int value) {
        m_pollText->setText(QString::number(value));
        m_pollStill->start();
    });
    connect(m_pollBar, &QScrollBar::sliderReleased, this, &SetupDialog::handOverPollInterval);
    connect(m_pollStill, &QTimer::timeout, this, &SetupDialog::handOverPollInterval);
    // The options exclude each other: one signal says which antenna it is.
    connect(m_largeAntenna, &QRadioButton::toggled, this,
            [this](bool large) { m_station.setLargeAntenna(large); });
}

SetupDialog::~SetupDialog() = default;

void SetupDialog::buildControls()
{
    buildPortFrames();
    buildPollFrame();
    buildAntennaFrame();
    // The controls keep the dialog's own face, whatever the platform gives each class.
    for (QWidget *w : std::initializer_list<QWidget *>{m_portList, m_baudList, m_pollText,
                                                       m_largeAntenna, m_otherAntenna})
        w->setFont(font());

    setTabOrder(m_portList, m_baudList);
    setTabOrder(m_baudList, m_pollBar);
    setTabOrder(m_pollBar, m_pollText);
    setTabOrder(m_pollText, m_largeAntenna);
    setTabOrder(m_largeAntenna, m_otherAntenna);

    // Escape leaves the dialog as closing it does, as in any other dialog; without it
    // a keyboard-only operator depends on the window manager to get out.
    auto *leave = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(leave, &QShortcut::activated, this, &QWidget::close);
}

void SetupDialog::buildPortFrames()
{
    auto *portFrame = makeCaptioned<QGroupBox>(this, "portFrame", QStringLiteral("Com Port"),
                                               twipsRect(120, 120, 1215, 735));
    // A device typed into the field and confirmed with Enter joins the list and is
    // chosen, as if it had been there all along.
    m_portList = makeCombo(portFrame, "portList", QComboBox::InsertAtBottom);
    fillPortList();

    auto *baudFrame = makeCaptioned<QGroupBox>(this, "baudFrame", QStringLiteral("Baud Rate"),
                                               twipsRect(1560, 120, 1215, 735));
    // Only the listed rates can be chosen; typed text stays just text.
    m_baudList = makeCombo(baudFrame, "baudList", QComboBox::NoInsert);
    m_baudList->addItems({QStringLiteral("1200"), QStringLiteral("2400"), QStringLiteral("4800"),
                          QStringLiteral("9600"), QStringLiteral("19200"), QStringLiteral("28800"),
                          QStringLiteral("38400"), QStringLiteral("57600")});
}

void SetupDialog::buildPollFrame()
{
    auto *pollFrame = makeCaptioned<QGroupBox>(this, "pollFrame", QStringLiteral("Polling Rate"),
                                               twipsRect(120, 840, 2655, 855));
    m_pollBar = new QScrollBar(Qt::Horizontal, pollFrame);
    m_pollBar->setObjectName(QStringLiteral("pollBar"));
    m_pollBar->setAccessibleName(QStringLiteral("Polling Rate"));
    m_pollBar->setFocusPolicy(Qt::StrongFocus);
    // Qt's scroll bars invert the keys for the sake of vertical ones; here the right
    // arrow and Page Up must make the interval longer, as the thumb moves right.
    m_pollBar->setInvertedControls(false);
    m_pollBar->setRange(kPollMin, kPollMax);
    m_pollBar->setSingleStep(100);
    m_pollBar->setPageStep(1000);
    m_pollBar->setValue(kPollMin);
    m_pollBar->setGeometry(twipsRect(120, 360, 1695, 255));
    m_pollText = new QLineEdit(pollFrame);
    m_pollText->setObjectName(QStringLiteral("pollText"));
    m_pollText->setAccessibleName(QStringLiteral("Polling Rate in msec"));
    // Only the scroll bar sets the rate; the box just shows it.
    m_pollText->setReadOnly(true);
    m_pollText->setGeometry(twipsRect(1920, 360, 615, 285));
    m_pollStill = new QTimer(this);
    m_pollStill->setSingleShot(true);
    m_pollStill->setInterval(kPollStillMs);
    auto *unit = makeCaptioned<QLabel>(pollFrame, "pollUnit", QStringLiteral("msec"),
                                       twipsRect(1920, 120, 495, 255));
    unit->setAlignment(Qt::AlignCenter);
    unit->setBuddy(m_pollText);
}

void SetupDialog::buildAntennaFrame()
{
    auto *antennaFrame = makeCaptioned<QGroupBox>(
        this, "antennaFrame", QStringLiteral("Antenna Type"), twipsRect(120, 1800, 2655, 975));
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
    m_largeAntenna = options[0];
    m_otherAntenna = options[1];
}

// "Com 1" to "Com 9", then the serial devices this computer really has, by path, and
// their stable /dev/serial/by-id names, so that an adapter can be chosen by what it
// is rather than by the order it was plugged in.
void SetupDialog::fillPortList()
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
        m_portList->addItem(caption, value);
        m_portList->setItemData(m_portList->count() - 1, describe(device), Qt::ToolTipRole);
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

// The "ComPort" value of the chosen entry: a listed item says it itself; text the
// operator typed is a port number when it reads "Com n", otherwise a device path.
QString SetupDialog::chosenPort() const
{
    const QVariant value = m_portList->itemData(m_portList->currentIndex(), kPortValueRole);
    if (value.isValid())
        return value.toString();
    const QString text = m_portList->itemText(m_portList->currentIndex()).trimmed();
    if (text.startsWith(kComPrefix) && portNumberOf(text.mid(kComPrefix.size())) >= 0)
        return text.mid(kComPrefix.size()).trimmed();
    return text;
}

// What the Station runs by now. A number is shown as the list names it, a device path
// as it stands.
void SetupDialog::showSettings()
{
    const StationSettings settings = m_station.settings();
    const QString &comPort = settings.comPort;
    showText(m_portList,
             comPort.isEmpty() || portNumberOf(comPort) >= 0 ? kComPrefix + comPort : comPort);
    showText(m_baudList, QString(settings.lineSettings).remove(kLineSuffix, Qt::CaseSensitive));
    m_pollBar->setValue(settings.pollMs);
    m_pollText->setText(QString::number(m_pollBar->value()));
    m_largeAntenna->setChecked(settings.largeAntenna);
    m_otherAntenna->setChecked(!settings.largeAntenna);
}

void SetupDialog::choosePort()
{
    if (!m_station.choosePort(chosenPort()))
        showPortNotAvailable(this, m_station.port());
}

void SetupDialog::chooseBaudRate()
{
    m_station.setLineSettings(m_baudList->itemText(m_baudList->currentIndex()) + kLineSuffix);
}

void SetupDialog::handOverPollInterval()
{
    m_pollStill->stop();
    m_station.setPollInterval(m_pollBar->value());
}

// After a failed port choice the port may not open now either. The operator is told
// the same way, and the panel carries on with the port closed rather than stopping.
void SetupDialog::closeEvent(QCloseEvent *event)
{
    handOverPollInterval();
    hide();
    Q_EMIT closed();
    if (!m_station.resume())
        showPortNotAvailable(parentWidget(), m_station.port());
    event->accept();
}

} // namespace tarvik

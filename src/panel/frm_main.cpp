#include "frm_main.h"

#include "accessibleroles.h"
#include "commport.h"
#include "frame.h"
#include "portmessage.h"
#include "settingsstore.h"
#include "twips.h"

#include <tarvik/version.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QShortcut>
#include <QTimer>
#include <QWindow>

namespace tarvik {

namespace {
QString text(std::string_view s)
{
    return QString::fromLatin1(s.data(), static_cast<qsizetype>(s.size()));
}

// The first of `candidates` that is installed, else all of them. Asking for a family
// that is not installed sends Qt to fontconfig's sorted list of substitutes, once for
// every size and style: at start-up that cost more than building all the controls.
QStringList installedFamily(const QStringList &candidates)
{
    static const QStringList installed = QFontDatabase::families();
    for (const QString &name : candidates)
        if (installed.contains(name))
            return QStringList{name};
    return candidates;
}

QFont arial(double pointSize, bool bold = false, bool italic = false)
{
    // Arial where it is installed, else its metric twin.
    static const QStringList families =
        installedFamily({QStringLiteral("Arial"), QStringLiteral("Liberation Sans")});
    QFont f(families);
    f.setPointSizeF(pointSize);
    f.setBold(bold);
    f.setItalic(italic);
    return f;
}

const QColor kLightGrey(224, 224, 224);

void paintBlack(QWidget *w)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, kLightGrey);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

void setButtonColour(QPushButton *b, const QColor &c)
{
    QPalette pal = b->palette();
    pal.setColor(QPalette::Button, c);
    b->setPalette(pal);
}

constexpr int kTimerIntervals[4] = {500, 30000, 30000, 200};

const QString kTipNoReply = QStringLiteral("No status frame from the controller yet");
const QString kTipAnswering = QStringLiteral("The controller is answering");
const QString kTipBadReply = QStringLiteral("The controller's reply was not understood");
} // namespace

frm_main::frm_main(SettingsStore *store, QWidget *parent)
    : QMainWindow(parent)
    , m_store(store)
    , m_port(new CommPort(this))
{
    installAccessibleRoles();
    setObjectName(QStringLiteral("frm_main"));
    setWindowTitle(QStringLiteral("Pellow Tarvik Virtual Control Panel"));
    setFont(arial(9.75));
    for (int i = 0; i < 4; ++i) {
        m_timers[i] = new QTimer(this);
        m_timers[i]->setObjectName(QStringLiteral("Timer%1").arg(i + 1));
        m_timers[i]->setInterval(kTimerIntervals[i]);
    }
    connect(Timer1(), &QTimer::timeout, this, &frm_main::Timer1_Timer);
    connect(Timer2(), &QTimer::timeout, this, &frm_main::Timer2_Timer);
    connect(Timer3(), &QTimer::timeout, this, &frm_main::Timer3_Timer);
    connect(Timer4(), &QTimer::timeout, this, &frm_main::Timer4_Timer);
    connect(m_store, &SettingsStore::writeFailed, this, &frm_main::reportStoreFailure);
    watchTheLine();

    buildMenus();
    buildControls();
    claimClashingAccessKeys();
    addCommandKeys();
    resize(px(kDesignWidth), menuBar()->sizeHint().height() + px(kDesignHeight));
    move(px(kDesignLeft), px(kDesignTop));
}

frm_main::~frm_main() = default;

QPushButton *frm_main::makeButton(QWidget *parent, const char *name, const QString &caption,
                                  const QRect &geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(QString::fromLatin1(name));
    b->setFont(arial(8.25));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

void frm_main::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    paintBlack(client);
    client->setFont(arial(8.25));
    setCentralWidget(client);

    m_tuning = Indicator::caption(QStringLiteral("TUNING"), Indicator::Look::GreyCaption,
                                  Indicator::Look::RedCaption, client);
    m_tuning->setGeometry(twipsRect(120, 120, 615, 255));
    m_retracting = Indicator::caption(QStringLiteral("RETRACTING"), Indicator::Look::RedCaption,
                                      Indicator::Look::GreyCaption, client);
    m_retracting->setGeometry(twipsRect(960, 120, 975, 255));
    m_retracting->setFrontVisible(false);

    m_text3 = new QLineEdit(client);
    m_text3->setObjectName(QStringLiteral("Text3"));
    m_text3->setAccessibleName(QStringLiteral("Frequency"));
    m_text3->setReadOnly(true);
    m_text3->setAlignment(Qt::AlignCenter);
    m_text3->setFont(arial(27.75, true, true));
    m_text3->setTextMargins(0, 0, 0, 0);
    {
        QPalette pal = m_text3->palette();
        pal.setColor(QPalette::Base, QColor(0, 192, 0));
        pal.setColor(QPalette::Text, QColor(0, 64, 0));
        m_text3->setPalette(pal);
    }
    m_text3->setGeometry(twipsRect(120, 360, 1815, 600));

    auto *frame1 = new QFrame(client);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::NoFrame);
    frame1->setGeometry(twipsRect(480, 960, 1095, 375));
    auto *label3 = new QLabel(QStringLiteral("Connected"), frame1);
    label3->setObjectName(QStringLiteral("Label3"));
    label3->setGeometry(twipsRect(0, 60, 780, 255));
    m_connected = Indicator::lamp(QStringLiteral("Connected"), frame1);
    m_connected->setGeometry(twipsRect(810, 60, kLampSize, kLampSize));
    setConnectedTip(kTipNoReply);

    auto *home =
        makeButton(client, "cmdHome", QStringLiteral("&Home"), twipsRect(2640, 120, 855, 255));
    auto *cal =
        makeButton(client, "cmdCal", QStringLiteral("&Calibrate"), twipsRect(2640, 480, 855, 255));
    auto *en =
        makeButton(client, "cmdEnable", QStringLiteral("&En Xcvr"), twipsRect(2640, 840, 855, 255));
    auto *dis = makeButton(client, "cmdDisable", QStringLiteral("&Dis Xcvr"),
                           twipsRect(2640, 1200, 855, 255));
    connect(home, &QPushButton::clicked, this, &frm_main::cmdHome_Click);
    connect(cal, &QPushButton::clicked, this, &frm_main::cmdCal_Click);
    connect(en, &QPushButton::clicked, this, &frm_main::cmdEnable_Click);
    connect(dis, &QPushButton::clicked, this, &frm_main::cmdDisable_Click);

    auto *b180 =
        makeButton(client, "cmd180", QStringLiteral("&180"), twipsRect(3960, 120, 495, 255));
    auto *bBid =
        makeButton(client, "cmdBid", QStringLiteral("&BiDir"), twipsRect(3960, 480, 495, 255));
    auto *b34 = makeButton(client, "cmd34", QStringLiteral("&3/4"), twipsRect(3960, 840, 495, 255));
    connect(b180, &QPushButton::clicked, this, &frm_main::cmd180_Click);
    connect(bBid, &QPushButton::clicked, this, &frm_main::cmdBid_Click);
    connect(b34, &QPushButton::clicked, this, &frm_main::cmd34_Click);
    // The controller has no three-quarter pattern to command.
    b34->setEnabled(false);
    b34->setToolTip(QStringLiteral("The controller has no three-quarter pattern to command"));

    m_lamp180 = Indicator::lamp(QStringLiteral("180 lamp"), client);
    m_lamp180->setGeometry(twipsRect(4560, 120, kLampSize, kLampSize));
    m_lampBid = Indicator::lamp(QStringLiteral("BiDir lamp"), client);
    m_lampBid->setGeometry(twipsRect(4560, 480, kLampSize, kLampSize));
    m_lamp34 = Indicator::lamp(QStringLiteral("3/4 lamp"), client);
    m_lamp34->setGeometry(twipsRect(4560, 840, kLampSize, kLampSize));

    auto *label14 = new QLabel(QStringLiteral("On Top"), client);
    label14->setObjectName(QStringLiteral("Label14"));
    label14->setGeometry(twipsRect(3840, 1200, 690, 255));
    m_chkOnTop = new QCheckBox(client);
    m_chkOnTop->setObjectName(QStringLiteral("chkOnTop"));
    m_chkOnTop->setAccessibleName(QStringLiteral("On Top"));
    m_chkOnTop->setGeometry(twipsRect(4560, 1200, 255, 255));
    label14->setBuddy(m_chkOnTop);
    connect(m_chkOnTop, &QCheckBox::toggled, this, &frm_main::chkOnTop_Click);

    auto *frame3 = new QGroupBox(QStringLiteral("Ham Bands"), client);
    frame3->setObjectName(QStringLiteral("Frame3"));
    paintBlack(frame3);
    frame3->setGeometry(twipsRect(120, 1440, 4575, 975));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        const Band &band = kBands[i];
        m_bandLamps[i] = Indicator::lamp(text(band.caption) + QStringLiteral(" m lamp"), frame3);
        m_bandLamps[i]->setGeometry(twipsRect(band.lampLeft, kBandLampTop, kLampSize, kLampSize));
        const QByteArray name = "cmd" + QByteArray(band.caption.data(), band.caption.size());
        m_bandButtons[i] = makeButton(
            frame3, name.constData(), text(band.caption),
            twipsRect(band.buttonLeft, kBandButtonTop, kBandButtonWidth, kBandButtonHeight));
        m_bandButtons[i]->setAccessibleName(text(band.caption) + QStringLiteral(" m"));
        connect(m_bandButtons[i], &QPushButton::clicked, this, [this, &band] { bandClick(band); });
    }

    auto *up = makeButton(client, "cmdUP", QStringLiteral("UP"), twipsRect(4800, 1680, 375, 255));
    auto *dn = makeButton(client, "cmdDN", QStringLiteral("DN"), twipsRect(4800, 2040, 375, 255));
    connect(up, &QPushButton::clicked, this, &frm_main::cmdUP_Click);
    connect(dn, &QPushButton::clicked, this, &frm_main::cmdDN_Click);

    auto *label13 = new QLabel(QStringLiteral("Received String"), client);
    label13->setObjectName(QStringLiteral("Label13"));
    label13->setGeometry(twipsRect(120, 2520, 2535, 255));
    m_text1 = new QLineEdit(client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(QStringLiteral("Received String"));
    m_text1->setReadOnly(true);
    {
        QFont sans(installedFamily({QStringLiteral("MS Sans Serif"),
                                    QStringLiteral("Microsoft Sans Serif"),
                                    QStringLiteral("Liberation Sans")}));
        sans.setPointSizeF(9.75);
        m_text1->setFont(sans);
    }
    m_text1->setGeometry(twipsRect(120, 2760, 2535, 345));
    label13->setBuddy(m_text1);
    auto *label2 = new QLabel(QStringLiteral("Home Time - msec"), client);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setGeometry(twipsRect(2880, 2520, 1380, 285));

    // Fonts differ a little from one desktop to the next; a caption that would be cut
    // off gets the room it needs rather than losing letters.
    for (QWidget *w : client->findChildren<QWidget *>()) {
        if (!qobject_cast<QLabel *>(w) && !qobject_cast<Indicator *>(w))
            continue;
        const int needed = w->sizeHint().width();
        if (needed > w->width())
            w->resize(needed, w->height());
    }
}

void frm_main::buildMenus()
{
    auto add = [this](QMenu *menu, const char *name, const QString &caption, int key) {
        auto *a = menu->addAction(caption);
        a->setObjectName(QString::fromLatin1(name));
        if (key)
            a->setShortcut(QKeySequence(key));
        return a;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(add(file, "mnuExit", QStringLiteral("&Exit"), 0), &QAction::triggered, this,
            &frm_main::mnuExit_Click);

    QMenu *pref = menuBar()->addMenu(QStringLiteral("&Preferences"));
    pref->setObjectName(QStringLiteral("mnuPref"));
    connect(add(pref, "mnuSetup", QStringLiteral("&Setup"), Qt::Key_F2), &QAction::triggered, this,
            &frm_main::mnuSetup_Click);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    const char *viewNames[] = {"mnuCompact", "mnuFull", "mnuDiag"};
    void (frm_main::*viewSlots[])() = {&frm_main::mnuCompact_Click, &frm_main::mnuFull_Click,
                                       &frm_main::mnuDiag_Click};
    for (std::size_t i = 0; i < kViews.size(); ++i) {
        m_viewActions[i] = add(view, viewNames[i], text(kViews[i].menuCaption), kViews[i].key);
        m_viewActions[i]->setCheckable(true);
        connect(m_viewActions[i], &QAction::triggered, this, viewSlots[i]);
    }

    QMenu *band = menuBar()->addMenu(QStringLiteral("&Band"));
    band->setObjectName(QStringLiteral("mnuBand"));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        if (kBands[i].menuCaption.empty())
            continue;
        const QByteArray name =
            "mnu" + QByteArray(kBands[i].caption.data(), kBands[i].caption.size());
        QAction *a = add(band, name.constData(), text(kBands[i].menuCaption), kBands[i].key);
        // The menu item presses its band's button: one code path for both.
        connect(a, &QAction::triggered, this, [this, i] { m_bandButtons[i]->click(); });
    }

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(add(help, "mnuContents", QStringLiteral("&Contents"), Qt::Key_F1), &QAction::triggered,
            this, &frm_main::mnuContents_Click);
    connect(add(help, "mnuAbout", QStringLiteral("&About"), 0), &QAction::triggered, this,
            &frm_main::mnuAbout_Click);
}

// "&Home" and "&Help" both claim Alt+H, "&BiDir" and "&Band" Alt+B. Left to Qt, the
// clash makes the first press only move the focus and the second open the menu, so
// the command never goes out. At a station the command matters more: the button takes
// the key, and the menus stay reachable through F10 and the arrow keys.
void frm_main::claimClashingAccessKeys()
{
    QSet<int> menuKeys;
    for (QAction *a : menuBar()->actions())
        menuKeys.insert(QKeySequence::mnemonic(a->text())[0].toCombined());
    for (QPushButton *b : centralWidget()->findChildren<QPushButton *>()) {
        const QKeySequence key = QKeySequence::mnemonic(b->text());
        if (!key.isEmpty() && menuKeys.contains(key[0].toCombined()))
            m_claimedKeys.insert(key[0].toCombined(), b);
    }
    if (!m_claimedKeys.isEmpty())
        qApp->installEventFilter(this);

    auto *menuKey = new QShortcut(QKeySequence(Qt::Key_F10), this);
    connect(menuKey, &QShortcut::activated, this, [this] {
        menuBar()->setFocus(Qt::ShortcutFocusReason);
        if (!menuBar()->actions().isEmpty())
            menuBar()->setActiveAction(menuBar()->actions().constFirst());
    });
}

bool frm_main::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::ShortcutOverride && event->type() != QEvent::KeyPress)
        return false;
    auto *widget = qobject_cast<QWidget *>(watched);
    if (!widget || widget->window() != this)
        return false;
    auto *key = static_cast<QKeyEvent *>(event);
    QPushButton *b = m_claimedKeys.value(key->keyCombination().toCombined());
    if (!b || !b->isEnabled())
        return false;
    if (event->type() == QEvent::ShortcutOverride) {
        // Taken as an ordinary key press, so that no shortcut sees it.
        event->accept();
        return true;
    }
    b->click();
    return true;
}

QPushButton *frm_main::button(const QString &objectName) const
{
    return findChild<QPushButton *>(objectName);
}

Indicator *frm_main::indicator(const QString &accessibleName) const
{
    const auto all = findChildren<Indicator *>();
    for (Indicator *i : all)
        if (i->accessibleName() == accessibleName)
            return i;
    return nullptr;
}

QAction *frm_main::action(const QString &objectName) const
{
    return findChild<QAction *>(objectName);
}

int frm_main::clientHeightTwips() const
{
    return static_cast<int>(toTwips(centralWidget()->height()));
}

void frm_main::setPortOverride(const QString &device)
{
    m_port->setRunOverride(device);
}

// ---- start-up and shut-down ----------------------------------------------------

void frm_main::Form_Load()
{
    tarvik::RegInit(*m_store, *this);
    tarvik::GetPreferences(*m_store, *this);

    m_state.viewStyle = m_store->value(Key::Style);
    bool numeric = false;
    const double style = m_state.viewStyle.trimmed().toDouble(&numeric);
    if (numeric) {
        for (const View &v : kViews) {
            if (style == v.style) {
                applyView(v, true);
                break;
            }
        }
    }

    openPortAtStartUp();

    m_state.replyHex.clear();
    m_state.sndCmd = QStringLiteral("31");
    Timer1()->setInterval(m_state.pollrate);
    for (QTimer *t : m_timers)
        t->stop();
    m_state.retracted = m_store->value(Key::Retracted);
    Timer1()->start();
}

void frm_main::openPortAtStartUp()
{
    if (!m_port->openLine())
        reportPortFailure();
}

void frm_main::reportPortFailure()
{
    m_connected->setFrontVisible(true);
    setConnectedTip(QStringLiteral("The serial port is closed (%1)").arg(m_port->displayName()));
    showPortNotAvailable(isVisible() ? this : nullptr, *m_port);
}

void frm_main::reportStoreFailure(const QString &path)
{
    if (m_storeFailureShown)
        return;
    m_storeFailureShown = true;
    QMessageBox box(QMessageBox::Warning, QString::fromLatin1(kApplicationTitle),
                    QStringLiteral("The settings cannot be saved to %1.").arg(path),
                    QMessageBox::Ok, isVisible() ? this : nullptr);
    box.setInformativeText(QStringLiteral(
        "The panel runs on with the settings you have now; changes will be lost when it ends."));
    box.exec();
}

void frm_main::storeViewStyle()
{
    m_store->setValue(Key::Style, m_state.viewStyle);
}

void frm_main::SaveSettings()
{
    tarvik::SaveSettings(*m_store, *this);
}

void frm_main::Form_Unload()
{
    SaveSettings();
    storeViewStyle();
    for (QTimer *t : m_timers)
        t->stop();
}

void frm_main::closeEvent(QCloseEvent *event)
{
    Form_Unload();
    event->accept();
}

void frm_main::mnuExit_Click()
{
    SaveSettings();
    storeViewStyle();
    close();
}

// ---- settings host ---------------------------------------------------------------

double frm_main::windowLeft() const
{
    return toTwips(x());
}

double frm_main::windowTop() const
{
    return toTwips(y());
}

void frm_main::setWindowLeft(double twips)
{
    move(px(twips), y());
}

void frm_main::setWindowTop(double twips)
{
    move(x(), px(twips));
}

int frm_main::onTopValue() const
{
    return m_chkOnTop->isChecked() ? 1 : 0;
}

void frm_main::setOnTopValue(int value)
{
    // Changing the box raises its click handler, exactly as the operator's click does.
    m_chkOnTop->setChecked(value == 1);
}

// ---- views and On Top ------------------------------------------------------------

void frm_main::applyView(const View &view, bool atStartUp)
{
    const int outer = atStartUp ? view.startupHeight : view.menuHeight;
    const int client = px(outer - kFrameCaptionMenuTwips);
    resize(width(), menuBar()->sizeHint().height() + client);
    for (std::size_t i = 0; i < kViews.size(); ++i)
        m_viewActions[i]->setChecked(&kViews[i] == &view);
    if (atStartUp)
        return;
    m_store->setValue(Key::Style, QString::number(view.style));
    m_store->setValue(Key::Height, QString::number(view.menuHeight));
}

void frm_main::mnuCompact_Click()
{
    m_state.viewStyle = QString::number(kViews[0].style);
    applyView(kViews[0], false);
}

void frm_main::mnuFull_Click()
{
    m_state.viewStyle = QString::number(kViews[1].style);
    applyView(kViews[1], false);
}

void frm_main::mnuDiag_Click()
{
    m_state.viewStyle = QString::number(kViews[2].style);
    applyView(kViews[2], false);
}

void frm_main::chkOnTop_Click()
{
    SetOnTop(m_chkOnTop->isChecked());
    SaveSettings();
}

// Only the stacking changes: on X11 the window manager gets _NET_WM_STATE_ABOVE, and
// the window keeps its place and size and is not activated. Changing the flags on the
// window handle does that in place; QWidget::setWindowFlag would hide the window.
void frm_main::SetOnTop(bool onTop)
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

// ---- commands --------------------------------------------------------------------

void frm_main::writeFrame(const QByteArray &frame)
{
    if (!m_port->write(frame)) {
        m_connected->setFrontVisible(true);
        setConnectedTip(
            QStringLiteral("The serial port is closed (%1)").arg(m_port->displayName()));
    }
    m_port->discardReceive();
}

void frm_main::Data2Tarvik()
{
    Timer1()->stop();
    const QByteArray frame = encodeSetFrequency(m_state);
    writeFrame(frame);
    m_state.sndCmd = QString::fromLatin1(proto::kSetFrequency.hex.data(), 2);
}

void frm_main::bandClick(const Band &band)
{
    Timer1()->stop();
    for (Indicator *lamp : m_bandLamps)
        lamp->setFrontVisible(true);
    m_bandLamps[static_cast<std::size_t>(band.lampIndex - 1)]->setFrontVisible(false);
    m_state.sndFreq = band.startFrequency;
    Data2Tarvik();
    Timer1()->start();
}

// Each toggle decides from its own lamp, which shows what the controller last
// reported: lit means that pattern is on, so the press turns it off.
void frm_main::directionToggle(Indicator *lamp, proto::Pattern pattern)
{
    Timer1()->stop();
    const bool lit = !lamp->isFrontVisible();
    m_state.sndDir = text(proto::sndDirFor(lit ? proto::Pattern::Normal : pattern));
    Data2Tarvik();
    m_port->discardReceive();
    Timer1()->start();
}

void frm_main::cmd180_Click()
{
    directionToggle(m_lamp180, proto::Pattern::Reversed);
}

void frm_main::cmdBid_Click()
{
    directionToggle(m_lampBid, proto::Pattern::Bidirectional);
}

void frm_main::cmd34_Click()
{
    // No three-quarter command exists; the button stays disabled.
}

void frm_main::fixedCodeCommand(const proto::CommandCode &code)
{
    Timer1()->stop();
    writeFrame(fixedCodeFrame(m_state.sndDir, code.hex));
    Timer1()->start();
}

void frm_main::cmdHome_Click()
{
    fixedCodeCommand(proto::kHome);
}

void frm_main::cmdCal_Click()
{
    fixedCodeCommand(proto::kCalibrate);
}

void frm_main::cmdEnable_Click()
{
    fixedCodeCommand(proto::kEnableXcvr);
}

void frm_main::cmdDisable_Click()
{
    fixedCodeCommand(proto::kDisableXcvr);
}

void frm_main::frequencyStep(int delta)
{
    Timer1()->stop();
    m_state.sndFreq = m_state.sndFreq.value_or(0.0) + delta;
    Data2Tarvik();
    Timer1()->start();
}

void frm_main::cmdUP_Click()
{
    frequencyStep(proto::kFrequencyStep);
}

void frm_main::cmdDN_Click()
{
    frequencyStep(-proto::kFrequencyStep);
}

// ---- status ----------------------------------------------------------------------

void frm_main::Timer1_Timer()
{
    GetStatus(*m_port, m_state, *this);
}

void frm_main::setConnectedTip(const QString &tip)
{
    if (m_connected->toolTip() != tip)
        m_connected->setToolTip(tip);
}

void frm_main::setFrontVisible(Front element, bool visible)
{
    switch (element) {
    case Front::ConnectedRed:
        m_connected->setFrontVisible(visible);
        setConnectedTip(visible ? kTipBadReply : kTipAnswering);
        break;
    case Front::TuningGrey:
        m_tuning->setFrontVisible(visible);
        break;
    case Front::RetractingRed:
        m_retracting->setFrontVisible(visible);
        break;
    case Front::ReversedRed:
        m_lamp180->setFrontVisible(visible);
        break;
    case Front::BidirRed:
        m_lampBid->setFrontVisible(visible);
        break;
    case Front::ThreeQuarterRed:
        m_lamp34->setFrontVisible(visible);
        break;
    }
}

void frm_main::showReceived(const QString &replyHex)
{
    if (m_text1->text() != replyHex)
        m_text1->setText(replyHex);
}

void frm_main::showFrequency(double mhz)
{
    const QString shown = formatMHz(mhz, locale());
    if (m_text3->text() != shown)
        m_text3->setText(shown);
}

// The retract-and-restore sequence. Nothing the operator can reach starts these.
void frm_main::Timer2_Timer()
{
    setButtonColour(button(QStringLiteral("cmdHome")), QColor(200, 200, 200));
    QFont f = m_text3->font();
    f.setPointSize(16);
    m_text3->setFont(f);
    m_text3->setText(QStringLiteral("Retracted"));
    m_store->setValue(Key::Retracted, QStringLiteral("1"));
    Timer2()->stop();
}

void frm_main::Timer3_Timer()
{
    m_state.sndCmd = QString::fromLatin1(proto::kEnableXcvr.hex.data(), 2);
    Data2Tarvik();
    m_port->discardReceive();
    Timer3()->stop();
    Timer4()->start();
}

void frm_main::Timer4_Timer()
{
    setButtonColour(button(QStringLiteral("cmdCal")), QColor(200, 200, 200));
    Data2Tarvik();
    m_port->discardReceive();
    m_store->setValue(Key::Retracted, QStringLiteral("0"));
    m_state.retracted = QStringLiteral("0");
    Timer1()->start();
    Timer4()->stop();
}

} // namespace tarvik

// Building the main window: its controls, menus, keys and geometry, all in twips. Rows
// of like controls come from tables; the order of creation is the order Tab visits them.

#include "mainwindow.h"

#include "fonts.h"
#include "latin1.h"
#include "station.h"
#include "twips.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QSet>
#include <QShortcut>

namespace tarvik {

namespace {
const QColor kLightGrey(224, 224, 224);

void paintBlack(QWidget *w)
{
    QPalette pal = w->palette();
    pal.setColor(QPalette::Window, Qt::black);
    pal.setColor(QPalette::WindowText, kLightGrey);
    w->setPalette(pal);
    w->setAutoFillBackground(true);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    return l;
}

QPushButton *makeButton(QWidget *parent, const QString &name, const QString &caption,
                        const QRect &geometry)
{
    auto *b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setFont(arial(8.25));
    b->setGeometry(geometry);
    b->setAutoDefault(false);
    return b;
}

constexpr int kButtonHeight = 255;

struct ButtonRow {
    const char *name;
    const char *caption;
    int left; // twips
    int top;
    int width;
    CommandResult (*command)(Station &); // none: the button stays disabled
};

// Commands in the left column, patterns in the right; each pattern has its lamp.
// The controller has no three-quarter pattern: its button stays disabled.
// clang-format off
constexpr ButtonRow kCommandButtons[] = {
    {"cmdHome", "&Home", 2640, 120, 855, [](Station &s) { return s.home(); }},
    {"cmdCal", "&Calibrate", 2640, 480, 855, [](Station &s) { return s.calibrate(); }},
    {"cmdEnable", "&En Xcvr", 2640, 840, 855, [](Station &s) { return s.setTransceiver(true); }},
    {"cmdDisable", "&Dis Xcvr", 2640, 1200, 855, [](Station &s) { return s.setTransceiver(false); }},
    {"cmd180", "&180", 3960, 120, 495, [](Station &s) { return s.toggleReversed(); }},
    {"cmdBid", "&BiDir", 3960, 480, 495, [](Station &s) { return s.toggleBidirectional(); }},
    {"cmd34", "&3/4", 3960, 840, 495, nullptr},
};

constexpr ButtonRow kStepButtons[] = {
    {"cmdUP", "UP", 4800, 1680, 375, [](Station &s) { return s.stepUp(); }},
    {"cmdDN", "DN", 4800, 2040, 375, [](Station &s) { return s.stepDown(); }},
};
// clang-format on

template <std::size_t N>
void addButtons(Station *station, QWidget *parent, const ButtonRow (&rows)[N])
{
    for (const ButtonRow &row : rows) {
        auto *b =
            makeButton(parent, QString::fromLatin1(row.name), QString::fromLatin1(row.caption),
                       twipsRect(row.left, row.top, row.width, kButtonHeight));
        if (row.command)
            QObject::connect(b, &QPushButton::clicked, station,
                             [b, station, command = row.command] {
                                 MainWindow::showRefusal(b, command(*station));
                             });
        else
            b->setEnabled(false);
    }
}

struct StepKey {
    const char *button;
    QKeyCombination key;
};
constexpr StepKey kStepKeys[] = {
    {"cmdUP", Qt::CTRL | Qt::Key_Up},
    {"cmdDN", Qt::CTRL | Qt::Key_Down},
};

// The button's tool tip names its key, and a screen reader reads that as the button's
// description. With `ownShortcut` the key presses the button, so the key, the button
// and a click share one code path.
void giveKey(QWidget *window, QPushButton *b, QKeyCombination key, bool ownShortcut)
{
    b->setToolTip(
        QStringLiteral("Key: %1").arg(QKeySequence(key).toString(QKeySequence::NativeText)));
    if (!ownShortcut)
        return;
    auto *shortcut = new QShortcut(QKeySequence(key), window);
    QObject::connect(shortcut, &QShortcut::activated, b, [b] {
        if (b->isEnabled())
            b->click();
    });
}

constexpr int kPatternLampLeft = 4560;

// Fonts differ a little from one desktop to the next; a caption that would be cut off
// gets the room it needs rather than losing letters.
void fitCaptions(QWidget *client)
{
    for (QWidget *w : client->findChildren<QWidget *>()) {
        if (!qobject_cast<QLabel *>(w) && !qobject_cast<Indicator *>(w))
            continue;
        const int needed = w->sizeHint().width();
        if (needed > w->width())
            w->resize(needed, w->height());
    }
}
} // namespace

void MainWindow::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    paintBlack(client);
    client->setFont(arial(8.25));
    setCentralWidget(client);

    buildStatusDisplays(client);
    buildCommandColumns(client);
    buildBandRow(client);
    addButtons(m_station, client, kStepButtons);
    buildDiagnostics(client);
    fitCaptions(client);
}

// TUNING and RETRACTING, the frequency display and the Connected lamp.
void MainWindow::buildStatusDisplays(QWidget *client)
{
    m_tuning = Indicator::caption(QStringLiteral("TUNING"), Indicator::Look::GreyCaption,
                                  Indicator::Look::RedCaption, client);
    m_tuning->setGeometry(twipsRect(120, 120, 615, 255));
    m_retracting = Indicator::caption(QStringLiteral("RETRACTING"), Indicator::Look::RedCaption,
                                      Indicator::Look::GreyCaption, client);
    m_retracting->setGeometry(twipsRect(960, 120, 975, 255));
    m_retracting->setFrontVisible(false);

    m_frequency = new QLineEdit(client);
    m_frequency->setObjectName(QStringLiteral("frequency"));
    m_frequency->setAccessibleName(QStringLiteral("Frequency"));
    m_frequency->setReadOnly(true);
    m_frequency->setAlignment(Qt::AlignCenter);
    m_frequency->setFont(arial(27.75, true, true));
    m_frequency->setTextMargins(0, 0, 0, 0);
    QPalette pal = m_frequency->palette();
    pal.setColor(QPalette::Base, QColor(0, 192, 0));
    pal.setColor(QPalette::Text, QColor(0, 64, 0));
    m_frequency->setPalette(pal);
    m_frequency->setGeometry(twipsRect(120, 360, 1815, 600));

    auto *connection = new QFrame(client);
    connection->setObjectName(QStringLiteral("connection"));
    connection->setFrameShape(QFrame::NoFrame);
    connection->setGeometry(twipsRect(480, 960, 1095, 375));
    makeLabel(connection, "connectedCaption", QStringLiteral("Connected"),
              twipsRect(0, 60, 780, 255));
    m_connected = Indicator::lamp(QStringLiteral("Connected"), connection);
    m_connected->setGeometry(twipsRect(810, 60, kLampSize, kLampSize));

    // In every view, a lamp that is grey when off and a caption whose accessible name
    // is what a screen reader hears when that changes: beside Connected, whether the
    // antenna follows the radio; in the room right of the frequency, whether remote
    // clients are connected, and above, whether the radio transmits.
    struct StatusLamp {
        const char *captionName;
        const char *caption;
        const char *lampName;
        QRect captionRect; // twips
        QRect lampRect;
        QLabel *MainWindow::*captionMember;
        Indicator *MainWindow::*lampMember;
    };
    const StatusLamp statusLamps[] = {
        {"lblRadio",
         "Radio",
         "Radio lamp",
         {1680, 1020, 480, 255},
         {2190, 1020, 255, 255},
         &MainWindow::m_radioCaption,
         &MainWindow::m_radioLamp},
        {"lblRemote",
         "Remote",
         "Remote lamp",
         {2010, 420, 585, 255},
         {2190, 690, 255, 255},
         &MainWindow::m_remoteCaption,
         &MainWindow::m_remoteLamp},
        {"lblTx",
         "TX",
         "TX lamp",
         {2325, 120, 270, 255},
         {2040, 120, 255, 255},
         &MainWindow::m_txCaption,
         &MainWindow::m_txLamp},
    };
    for (const StatusLamp &l : statusLamps) {
        const QRect c = l.captionRect;
        this->*l.captionMember = makeLabel(client, l.captionName, QString::fromLatin1(l.caption),
                                           twipsRect(c.x(), c.y(), c.width(), c.height()));
        this->*l.lampMember =
            Indicator::offLamp(QString::fromLatin1(l.lampName), Indicator::Look::GreenLamp, client);
        (this->*l.lampMember)
            ->setGeometry(
                twipsRect(l.lampRect.x(), l.lampRect.y(), l.lampRect.width(), l.lampRect.height()));
    }
    m_remoteCaption->setAlignment(Qt::AlignHCenter | Qt::AlignVCenter);
}

// The command buttons, the pattern buttons with their lamps, and On Top.
void MainWindow::buildCommandColumns(QWidget *client)
{
    addButtons(m_station, client, kCommandButtons);
    button(QStringLiteral("cmd34"))
        ->setToolTip(QStringLiteral("The controller has no three-quarter pattern to command"));

    const char *const patternLamps[] = {"180 lamp", "BiDir lamp", "3/4 lamp"};
    for (std::size_t i = 0; i < m_patternLamps.size(); ++i) {
        m_patternLamps[i] = Indicator::lamp(QString::fromLatin1(patternLamps[i]), client);
        m_patternLamps[i]->setGeometry(
            twipsRect(kPatternLampLeft, 120 + 360 * int(i), kLampSize, kLampSize));
    }

    auto *onTop = makeLabel(client, "onTopCaption", QStringLiteral("On Top"),
                            twipsRect(3840, 1200, 690, 255));
    m_onTop = new QCheckBox(client);
    m_onTop->setObjectName(QStringLiteral("onTop"));
    m_onTop->setAccessibleName(QStringLiteral("On Top"));
    m_onTop->setGeometry(twipsRect(kPatternLampLeft, 1200, 255, 255));
    onTop->setBuddy(m_onTop);
    // Every way of ticking it counts, assistive technology's toggle action included;
    // start-up ticks it with the signals blocked, storing nothing.
    connect(m_onTop, &QCheckBox::toggled, this, [this](bool on) {
        setOnTop(on);
        saveSettings();
    });
}

void MainWindow::buildBandRow(QWidget *client)
{
    auto *bands = new QGroupBox(QStringLiteral("Ham Bands"), client);
    bands->setObjectName(QStringLiteral("hamBands"));
    paintBlack(bands);
    bands->setGeometry(twipsRect(120, 1440, 4575, 975));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        const BandControl &band = kBandControls[i];
        const QString caption = latin1(kBands[i].caption);
        m_bandLamps[i] = Indicator::lamp(caption + QStringLiteral(" m lamp"), bands);
        m_bandLamps[i]->setGeometry(twipsRect(band.lampLeft, kBandLampTop, kLampSize, kLampSize));
        m_bandButtons[i] = makeButton(
            bands, QStringLiteral("cmd") + caption, caption,
            twipsRect(band.buttonLeft, kBandButtonTop, kBandButtonWidth, kBandButtonHeight));
        m_bandButtons[i]->setAccessibleName(caption + QStringLiteral(" m"));
        connect(m_bandButtons[i], &QPushButton::clicked, m_station,
                [this, i] { showRefusal(m_bandButtons[i], m_station->tuneBand(i)); });
    }
}

// What only the diagnostics view shows: the received string.
void MainWindow::buildDiagnostics(QWidget *client)
{
    auto *caption = makeLabel(client, "receivedCaption", QStringLiteral("Received String"),
                              twipsRect(120, 2520, 2535, 255));
    m_received = new QLineEdit(client);
    m_received->setObjectName(QStringLiteral("received"));
    m_received->setAccessibleName(QStringLiteral("Received String"));
    m_received->setReadOnly(true);
    m_received->setFont(msSansSerif(9.75));
    m_received->setGeometry(twipsRect(120, 2760, 2535, 345));
    caption->setBuddy(m_received);
    makeLabel(client, "homeTimeCaption", QStringLiteral("Home Time - msec"),
              twipsRect(2880, 2520, 1380, 285));
}

void MainWindow::buildMenus()
{
    auto add = [](QMenu *menu, const QString &name, const QString &caption,
                  const QKeySequence &key) {
        auto *a = menu->addAction(caption);
        a->setObjectName(name);
        a->setShortcut(key);
        return a;
    };

    QMenu *file = menuBar()->addMenu(QStringLiteral("&File"));
    connect(add(file, QStringLiteral("mnuExit"), QStringLiteral("&Exit"), {}), &QAction::triggered,
            this, &QWidget::close);

    QMenu *pref = menuBar()->addMenu(QStringLiteral("&Preferences"));
    pref->setObjectName(QStringLiteral("mnuPref"));
    connect(add(pref, QStringLiteral("mnuSetup"), QStringLiteral("&Setup"), Qt::Key_F2),
            &QAction::triggered, this, &MainWindow::openSetup);
    m_followAction = add(pref, QStringLiteral("mnuFollow"), QStringLiteral("&Follow Radio"), 0);
    m_followAction->setCheckable(true);
    connect(m_followAction, &QAction::toggled, m_station, &Station::setFollowing);
    connect(add(pref, QStringLiteral("mnuRadio"), QStringLiteral("&Radio..."), 0),
            &QAction::triggered, this, &MainWindow::openRadio);
    connect(add(pref, QStringLiteral("mnuRemote"), QStringLiteral("Remote &Access..."), {}),
            &QAction::triggered, this, &MainWindow::openRemoteAccess);
    m_traceAction = add(pref, QStringLiteral("mnuTrace"), QStringLiteral("&Trace to File..."), {});
    m_traceAction->setCheckable(true);
    connect(m_traceAction, &QAction::triggered, this, &MainWindow::chooseTraceFile);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    for (std::size_t i = 0; i < kViews.size(); ++i) {
        m_viewActions[i] = add(view, latin1(kViews[i].actionName), latin1(kViews[i].menuCaption),
                               QKeySequence(kViews[i].key));
        m_viewActions[i]->setCheckable(true);
        connect(m_viewActions[i], &QAction::triggered, this, [this, i] { applyView(i, false); });
    }

    QMenu *band = menuBar()->addMenu(QStringLiteral("&Band"));
    band->setObjectName(QStringLiteral("mnuBand"));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        if (kBandControls[i].menuCaption.empty())
            continue;
        QAction *a = add(band, QStringLiteral("mnu") + latin1(kBands[i].caption),
                         latin1(kBandControls[i].menuCaption), QKeySequence(kBandControls[i].key));
        // The menu item presses its band's button: one code path for both.
        connect(a, &QAction::triggered, this, [this, i] { m_bandButtons[i]->click(); });
    }

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(add(help, QStringLiteral("mnuContents"), QStringLiteral("&Contents"), Qt::Key_F1),
            &QAction::triggered, this, &MainWindow::openHelp);
    connect(add(help, QStringLiteral("mnuAbout"), QStringLiteral("&About"), {}),
            &QAction::triggered, this, &MainWindow::openAbout);
}

// Every band button and the 50 kHz steps name their keys. The upper six bands' keys
// belong to their Band menu items; the 80, 40 and 30 m bands (the function keys run
// out at 20 m) and the steps have keys of their own.
void MainWindow::addCommandKeys()
{
    for (std::size_t i = 0; i < kBands.size(); ++i)
        giveKey(this, m_bandButtons[i], kBandControls[i].key, kBandControls[i].menuCaption.empty());
    for (const StepKey &k : kStepKeys)
        giveKey(this, button(QString::fromLatin1(k.button)), k.key, true);
}

// "&Home" and "&Help" both claim Alt+H, "&BiDir" and "&Band" Alt+B. Left to Qt, the
// clash makes the first press only move the focus and the second open the menu, so
// the command never goes out. At a station the command matters more: the button takes
// the key, and the menus stay reachable through F10 and the arrow keys.
void MainWindow::claimClashingAccessKeys()
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

bool MainWindow::eventFilter(QObject *watched, QEvent *event)
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

} // namespace tarvik

// Building the main window: its controls, menus and geometry, all in twips. Rows of
// like controls come from tables; the order of creation is the order Tab visits them.

#include "frm_main.h"

#include "fonts.h"
#include "latin1.h"
#include "twips.h"

#include <QAction>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>

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
    void (frm_main::*click)();
};

// Commands in the left column, patterns in the right; each pattern has its lamp.
constexpr ButtonRow kCommandButtons[] = {
    {"cmdHome", "&Home", 2640, 120, 855, &frm_main::cmdHome_Click},
    {"cmdCal", "&Calibrate", 2640, 480, 855, &frm_main::cmdCal_Click},
    {"cmdEnable", "&En Xcvr", 2640, 840, 855, &frm_main::cmdEnable_Click},
    {"cmdDisable", "&Dis Xcvr", 2640, 1200, 855, &frm_main::cmdDisable_Click},
    {"cmd180", "&180", 3960, 120, 495, &frm_main::cmd180_Click},
    {"cmdBid", "&BiDir", 3960, 480, 495, &frm_main::cmdBid_Click},
    {"cmd34", "&3/4", 3960, 840, 495, &frm_main::cmd34_Click},
};

constexpr ButtonRow kStepButtons[] = {
    {"cmdUP", "UP", 4800, 1680, 375, &frm_main::cmdUP_Click},
    {"cmdDN", "DN", 4800, 2040, 375, &frm_main::cmdDN_Click},
};

template <std::size_t N>
void addButtons(frm_main *window, QWidget *parent, const ButtonRow (&rows)[N])
{
    for (const ButtonRow &row : rows) {
        auto *b =
            makeButton(parent, QString::fromLatin1(row.name), QString::fromLatin1(row.caption),
                       twipsRect(row.left, row.top, row.width, kButtonHeight));
        QObject::connect(b, &QPushButton::clicked, window, row.click);
    }
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

void frm_main::buildControls()
{
    auto *client = new QWidget(this);
    client->setObjectName(QStringLiteral("client"));
    paintBlack(client);
    client->setFont(arial(8.25));
    setCentralWidget(client);

    buildStatusDisplays(client);
    buildRadioIndicator(client);
    buildCommandColumns(client);
    buildBandRow(client);
    addButtons(this, client, kStepButtons);
    buildDiagnostics(client);
    fitCaptions(client);
}

// TUNING and RETRACTING, the frequency display and the Connected lamp.
void frm_main::buildStatusDisplays(QWidget *client)
{
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
    QPalette pal = m_text3->palette();
    pal.setColor(QPalette::Base, QColor(0, 192, 0));
    pal.setColor(QPalette::Text, QColor(0, 64, 0));
    m_text3->setPalette(pal);
    m_text3->setGeometry(twipsRect(120, 360, 1815, 600));

    auto *frame1 = new QFrame(client);
    frame1->setObjectName(QStringLiteral("Frame1"));
    frame1->setFrameShape(QFrame::NoFrame);
    frame1->setGeometry(twipsRect(480, 960, 1095, 375));
    makeLabel(frame1, "Label3", QStringLiteral("Connected"), twipsRect(0, 60, 780, 255));
    m_connected = Indicator::lamp(QStringLiteral("Connected"), frame1);
    m_connected->setGeometry(twipsRect(810, 60, kLampSize, kLampSize));
}

// Beside Connected, in every view: whether the antenna follows the radio. The caption's
// accessible name is what a screen reader hears when that changes (showRadioState).
void frm_main::buildRadioIndicator(QWidget *client)
{
    m_radioCaption =
        makeLabel(client, "lblRadio", QStringLiteral("Radio"), twipsRect(1680, 1020, 480, 255));
    m_radioLamp =
        Indicator::offLamp(QStringLiteral("Radio lamp"), Indicator::Look::GreenLamp, client);
    m_radioLamp->setGeometry(twipsRect(2190, 1020, kLampSize, kLampSize));
}

// The command buttons, the pattern buttons with their lamps, and On Top.
void frm_main::buildCommandColumns(QWidget *client)
{
    addButtons(this, client, kCommandButtons);
    QPushButton *b34 = button(QStringLiteral("cmd34"));
    b34->setEnabled(false);
    b34->setToolTip(QStringLiteral("The controller has no three-quarter pattern to command"));

    const struct {
        const char *name;
        int top;
        Indicator *frm_main::*lamp;
    } patternLamps[] = {
        {"180 lamp", 120, &frm_main::m_lamp180},
        {"BiDir lamp", 480, &frm_main::m_lampBid},
        {"3/4 lamp", 840, &frm_main::m_lamp34},
    };
    for (const auto &l : patternLamps) {
        this->*l.lamp = Indicator::lamp(QString::fromLatin1(l.name), client);
        (this->*l.lamp)->setGeometry(twipsRect(kPatternLampLeft, l.top, kLampSize, kLampSize));
    }

    auto *onTop =
        makeLabel(client, "Label14", QStringLiteral("On Top"), twipsRect(3840, 1200, 690, 255));
    m_chkOnTop = new QCheckBox(client);
    m_chkOnTop->setObjectName(QStringLiteral("chkOnTop"));
    m_chkOnTop->setAccessibleName(QStringLiteral("On Top"));
    m_chkOnTop->setGeometry(twipsRect(kPatternLampLeft, 1200, 255, 255));
    onTop->setBuddy(m_chkOnTop);
    connect(m_chkOnTop, &QCheckBox::toggled, this, &frm_main::chkOnTop_Click);
}

void frm_main::buildBandRow(QWidget *client)
{
    auto *frame3 = new QGroupBox(QStringLiteral("Ham Bands"), client);
    frame3->setObjectName(QStringLiteral("Frame3"));
    paintBlack(frame3);
    frame3->setGeometry(twipsRect(120, 1440, 4575, 975));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        const Band &band = kBands[i];
        const QString caption = latin1(band.caption);
        m_bandLamps[i] = Indicator::lamp(caption + QStringLiteral(" m lamp"), frame3);
        m_bandLamps[i]->setGeometry(twipsRect(band.lampLeft, kBandLampTop, kLampSize, kLampSize));
        m_bandButtons[i] = makeButton(
            frame3, QStringLiteral("cmd") + caption, caption,
            twipsRect(band.buttonLeft, kBandButtonTop, kBandButtonWidth, kBandButtonHeight));
        m_bandButtons[i]->setAccessibleName(caption + QStringLiteral(" m"));
        connect(m_bandButtons[i], &QPushButton::clicked, this, [this, i] { bandClick(i); });
    }
}

// What only the diagnostics view shows: the received string.
void frm_main::buildDiagnostics(QWidget *client)
{
    auto *received = makeLabel(client, "Label13", QStringLiteral("Received String"),
                               twipsRect(120, 2520, 2535, 255));
    m_text1 = new QLineEdit(client);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text1->setAccessibleName(QStringLiteral("Received String"));
    m_text1->setReadOnly(true);
    m_text1->setFont(msSansSerif(9.75));
    m_text1->setGeometry(twipsRect(120, 2760, 2535, 345));
    received->setBuddy(m_text1);
    makeLabel(client, "Label2", QStringLiteral("Home Time - msec"),
              twipsRect(2880, 2520, 1380, 285));
}

void frm_main::buildMenus()
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
            this, &frm_main::mnuExit_Click);

    QMenu *pref = menuBar()->addMenu(QStringLiteral("&Preferences"));
    pref->setObjectName(QStringLiteral("mnuPref"));
    connect(add(pref, QStringLiteral("mnuSetup"), QStringLiteral("&Setup"), Qt::Key_F2),
            &QAction::triggered, this, &frm_main::mnuSetup_Click);
    m_followAction = add(pref, QStringLiteral("mnuFollow"), QStringLiteral("&Follow Radio"), 0);
    m_followAction->setCheckable(true);
    connect(m_followAction, &QAction::triggered, this, &frm_main::mnuFollow_Click);
    connect(add(pref, QStringLiteral("mnuRadio"), QStringLiteral("&Radio..."), 0),
            &QAction::triggered, this, &frm_main::mnuRadio_Click);
    m_traceAction = add(pref, QStringLiteral("mnuTrace"), QStringLiteral("&Trace to File..."), {});
    m_traceAction->setCheckable(true);
    connect(m_traceAction, &QAction::triggered, this, &frm_main::mnuTrace_Click);

    QMenu *view = menuBar()->addMenu(QStringLiteral("&View"));
    for (std::size_t i = 0; i < kViews.size(); ++i) {
        m_viewActions[i] = add(view, latin1(kViews[i].actionName), latin1(kViews[i].menuCaption),
                               QKeySequence(kViews[i].key));
        m_viewActions[i]->setCheckable(true);
        connect(m_viewActions[i], &QAction::triggered, this, [this, i] { selectView(i); });
    }

    QMenu *band = menuBar()->addMenu(QStringLiteral("&Band"));
    band->setObjectName(QStringLiteral("mnuBand"));
    for (std::size_t i = 0; i < kBands.size(); ++i) {
        if (kBands[i].menuCaption.empty())
            continue;
        QAction *a = add(band, QStringLiteral("mnu") + latin1(kBands[i].caption),
                         latin1(kBands[i].menuCaption), QKeySequence(kBands[i].key));
        // The menu item presses its band's button: one code path for both.
        connect(a, &QAction::triggered, this, [this, i] { m_bandButtons[i]->click(); });
    }

    QMenu *help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("mnuHelp"));
    connect(add(help, QStringLiteral("mnuContents"), QStringLiteral("&Contents"), Qt::Key_F1),
            &QAction::triggered, this, &frm_main::mnuContents_Click);
    connect(add(help, QStringLiteral("mnuAbout"), QStringLiteral("&About"), {}),
            &QAction::triggered, this, &frm_main::mnuAbout_Click);
}

} // namespace tarvik

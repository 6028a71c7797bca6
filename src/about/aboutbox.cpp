#include "aboutbox.h"

#include "sysinfo.h"

#include "twips.h"

#include <tarvik/version.h>

#include <QLabel>
#include <QPainter>
#include <QPushButton>

namespace tarvik {

namespace {
QLabel *blackLabel(QWidget *parent, const char *name, const QRect &geometry)
{
    auto *l = new QLabel(parent);
    l->setObjectName(QString::fromLatin1(name));
    l->setGeometry(geometry);
    l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    QPalette pal = l->palette();
    pal.setColor(QPalette::WindowText, Qt::black);
    l->setPalette(pal);
    return l;
}
} // namespace

AboutBox::AboutBox(QWidget *parent)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("AboutBox"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowCloseButtonHint);
    setFixedSize(px(5730), px(3555));
    setWindowIcon(antennaIcon());
    buildLabels();
    buildButtons();
    showVersion();
}

AboutBox::~AboutBox() = default;

void AboutBox::buildLabels()
{
    auto *icon = new QLabel(this);
    icon->setObjectName(QStringLiteral("picIcon"));
    icon->setPixmap(antennaIcon());
    icon->setAlignment(Qt::AlignCenter);
    icon->setGeometry(twipsRect(240, 240, 540, 540));

    m_lblTitle = blackLabel(this, "lblTitle", twipsRect(1050, 240, 3885, 480));
    QFont titleFont = m_lblTitle->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.5);
    titleFont.setBold(true);
    m_lblTitle->setFont(titleFont);

    m_lblVersion = new QLabel(this);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));
    m_lblVersion->setGeometry(twipsRect(1050, 780, 3885, 225));

    auto *description = blackLabel(this, "lblDescription", twipsRect(1050, 1125, 3885, 1170));
    description->setWordWrap(true);
    description->setText(QStringLiteral(
        "Software control and monitoring of the Tarvik antenna controller through its serial "
        "data interface: tune the antenna, set its pattern and watch what the controller "
        "reports."));

    auto *disclaimer = blackLabel(this, "lblDisclaimer", twipsRect(255, 2625, 3870, 825));
    disclaimer->setWordWrap(true);
    disclaimer->setText(
        QStringLiteral("This program and its help are the property of their author. You may "
                       "install and use them at your own station for personal, non-commercial "
                       "purposes."));
}

void AboutBox::buildButtons()
{
    auto *ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    ok->setGeometry(twipsRect(4245, 2625, 1260, 345));
    ok->setDefault(true);
    auto *sysInfo = new QPushButton(QStringLiteral("&System Info..."), this);
    sysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    sysInfo->setGeometry(twipsRect(4260, 3075, 1245, 345));
    sysInfo->setAutoDefault(false);

    // Only the buttons take the focus; OK has it first.
    setTabOrder(ok, sysInfo);
    ok->setFocus();

    // Esc lands in reject(), which closes the box just as OK does.
    connect(ok, &QPushButton::clicked, this, &QDialog::accept);
    connect(sysInfo, &QPushButton::clicked, this, &AboutBox::startSystemInfo);
}

void AboutBox::showVersion()
{
    const QString title = QString::fromLatin1(kApplicationTitle);
    setWindowTitle(QStringLiteral("About ") + title);
    m_lblVersion->setText(QStringLiteral("Version %1.%2.%3")
                              .arg(version::major)
                              .arg(version::minor)
                              .arg(version::revision));
    m_lblTitle->setText(title);
}

void AboutBox::startSystemInfo()
{
    tarvik::startSystemInfo(this);
}

// The etched rule above the notice: a grey line with a white one beneath it.
void AboutBox::paintEvent(QPaintEvent *event)
{
    QDialog::paintEvent(event);
    QPainter p(this);
    p.fillRect(QRect(QPoint(px(90), px(2445)), QPoint(px(5654), px(2445))), QColor(128, 128, 128));
    p.fillRect(QRect(QPoint(px(105), px(2460)), QPoint(px(5654), px(2460) + 1)), Qt::white);
}

QPixmap AboutBox::antennaIcon()
{
    QPixmap pixmap(32, 32);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing, false);

    // Mast and its foot.
    p.setPen(QPen(QColor(128, 128, 128), 2));
    p.drawLine(16, 13, 16, 29);
    p.drawLine(10, 30, 22, 30);

    // Boom with reflector, driven element and director, seen from the side.
    p.setPen(QPen(Qt::black, 2));
    p.drawLine(3, 12, 29, 12);
    p.setPen(QPen(QColor(0, 0, 128), 2));
    p.drawLine(5, 2, 5, 22);
    p.drawLine(16, 4, 16, 20);
    p.drawLine(27, 6, 27, 18);

    // The signal leaving the driven element.
    p.setPen(QPen(QColor(255, 0, 0), 1));
    p.drawArc(QRect(19, 1, 8, 8), 0, 90 * 16);
    return pixmap;
}

} // namespace tarvik

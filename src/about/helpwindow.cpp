#include "helpwindow.h"

#include "aboutbox.h"

#include <tarvik/version.h>

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

namespace tarvik {

HelpWindow::HelpWindow(const QString &contentsFile, QWidget *parent)
    : QWidget(parent, Qt::Window)
    , m_contentsFile(contentsFile)
    , m_browser(new QTextBrowser(this))
    , m_contents(new QPushButton(QStringLiteral("&Contents"), this))
    , m_back(new QPushButton(QStringLiteral("&Back"), this))
    , m_forward(new QPushButton(QStringLiteral("&Forward"), this))
{
    setObjectName(QStringLiteral("HelpWindow"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowIcon(AboutBox::antennaIcon());
    resize(640, 560);

    m_browser->setObjectName(QStringLiteral("helpBrowser"));
    m_browser->setAccessibleName(QStringLiteral("Help text"));
    // The pages link only to each other.
    m_browser->setOpenExternalLinks(false);
    m_back->setEnabled(false);
    m_forward->setEnabled(false);

    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_contents);
    buttons->addWidget(m_back);
    buttons->addWidget(m_forward);
    buttons->addStretch();
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(buttons);
    layout->addWidget(m_browser);

    connect(m_contents, &QPushButton::clicked, this, &HelpWindow::showContents);
    connect(m_back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_forward, &QPushButton::clicked, m_browser, &QTextBrowser::forward);
    connect(m_browser, &QTextBrowser::backwardAvailable, m_back, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::forwardAvailable, m_forward, &QPushButton::setEnabled);
    connect(m_browser, &QTextBrowser::sourceChanged, this, &HelpWindow::updateTitle);
    auto *close = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(close, &QShortcut::activated, this, &QWidget::close);

    showContents();
    m_browser->setFocus();
}

HelpWindow::~HelpWindow() = default;

QString HelpWindow::defaultContentsFile()
{
    return QDir::cleanPath(QCoreApplication::applicationDirPath() +
                           QStringLiteral("/../share/tarvik-desk/help/index.html"));
}

void HelpWindow::showContents()
{
    if (QFileInfo::exists(m_contentsFile)) {
        m_browser->setSource(QUrl::fromLocalFile(m_contentsFile));
    } else {
        m_browser->setHtml(
            QStringLiteral("<html><head><title>Help not found</title></head><body>"
                           "<h1>Help not found</h1><p>The help file %1 was not found.</p>"
                           "<p>The help pages are installed with the program; installing it "
                           "again puts them back.</p></body></html>")
                .arg(m_contentsFile.toHtmlEscaped()));
    }
    updateTitle();
}

void HelpWindow::updateTitle()
{
    const QString application = QString::fromLatin1(kApplicationTitle) + QStringLiteral(" Help");
    const QString page = m_browser->documentTitle();
    setWindowTitle(page.isEmpty() ? application : page + QStringLiteral(" - ") + application);
}

} // namespace tarvik

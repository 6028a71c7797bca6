#pragma once

#include <QWidget>

class QPushButton;
class QTextBrowser;

namespace tarvik {

// The help viewer: the HTML help pages in a browser of their own, opened at the
// contents page. The pages live at one fixed place relative to the program; if the
// contents page is not there, the window says so and names the path it looked at.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    // `parent` owns the window; it is still a window of its own.
    HelpWindow(const QString &contentsFile, QWidget *parent);
    ~HelpWindow() override;

    // <program folder>/../share/tarvik-desk/help/index.html
    static QString defaultContentsFile();

    QString contentsFile() const { return m_contentsFile; }
    QTextBrowser *browser() const { return m_browser; }

public Q_SLOTS:
    // Goes (back) to the contents page.
    void showContents();

private:
    void updateTitle();

    QString m_contentsFile;
    QTextBrowser *m_browser;
    QPushButton *m_contents;
    QPushButton *m_back;
    QPushButton *m_forward;
};

} // namespace tarvik

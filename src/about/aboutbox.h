#pragma once

#include <QDialog>

class QLabel;

namespace tarvik {

// The About box: title, version, what the program is for, and whose it is. Its
// texts come from the generated version header when it loads; "System Info..."
// hands over to StartSysInfo, and OK, Enter or Esc close it for good (it is deleted
// on closing; the next "About" makes a fresh one).
class frmAbout : public QDialog
{
    Q_OBJECT
public:
    explicit frmAbout(QWidget *parent);
    ~frmAbout() override;

    // The program's icon: a beam antenna on its mast.
    static QPixmap antennaIcon();

public Q_SLOTS:
    void cmdOK_Click();
    void cmdSysInfo_Click();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLabels();
    void buildButtons();
    void Form_Load();

    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
};

} // namespace tarvik

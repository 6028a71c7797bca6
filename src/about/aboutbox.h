#pragma once

#include <QDialog>

class QLabel;

namespace tarvik {

// The About box: title, version, what the program is for, and whose it is. Its
// texts come from the generated version header when it loads; "System Info..."
// hands over to startSystemInfo, and OK, Enter or Esc close it for good (it is deleted
// on closing; the next "About" makes a fresh one).
class AboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit AboutBox(QWidget *parent);
    ~AboutBox() override;

    // The program's icon: a beam antenna on its mast.
    static QPixmap antennaIcon();

private Q_SLOTS:
    void startSystemInfo();

protected:
    void paintEvent(QPaintEvent *event) override;

private:
    void buildLabels();
    void buildButtons();
    void showVersion();

    QLabel *m_lblTitle = nullptr;
    QLabel *m_lblVersion = nullptr;
};

} // namespace tarvik

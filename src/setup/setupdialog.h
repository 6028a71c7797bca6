#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QRadioButton;
class QScrollBar;

namespace tarvik {

class CommPort;
class SetupHost;

// The setup dialog: serial port, baud rate, poll interval and antenna type.
//
// There is no OK or Cancel. Each choice goes straight into the host's port object
// (MSComm1) or panel state, and the whole settings set is stored at once through
// SaveSettings. Form_Load fills the controls from the store, and the values it sets
// raise the same handlers the operator's actions do. Closing (Form_Unload) stores
// everything, shows the main window again, reopens the port, sends one frame and
// starts the poll timer at the interval chosen here.
class frm_setup : public QWidget
{
    Q_OBJECT
public:
    // `parent` owns the dialog; it is still a window of its own.
    frm_setup(SetupHost &host, QWidget *parent);
    ~frm_setup() override;

    QComboBox *Combo1() const { return m_combo1; }
    QComboBox *Combo2() const { return m_combo2; }
    QScrollBar *HScroll1() const { return m_hscroll1; }
    QLineEdit *Text1() const { return m_text1; }
    QRadioButton *Option1() const { return m_option1; }
    QRadioButton *Option2() const { return m_option2; }
    QLineEdit *Text2() const { return m_text2; }

public Q_SLOTS:
    void Combo1_Click();
    void Combo2_Click();
    void HScroll1_Change();
    void Option1_Click();
    void Option2_Click();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildPortFrames();
    void buildPollFrame();
    void buildAntennaFrame();
    void fillPortList();
    void showPollRate();
    void Form_Load();
    void Form_Unload();
    void SaveSettings();
    QString chosenPort() const;

    SetupHost &m_host;
    CommPort &m_port;

    QComboBox *m_combo1 = nullptr;
    QComboBox *m_combo2 = nullptr;
    QScrollBar *m_hscroll1 = nullptr;
    QLineEdit *m_text1 = nullptr;
    QRadioButton *m_option1 = nullptr;
    QRadioButton *m_option2 = nullptr;
    QLineEdit *m_text2 = nullptr;
};

} // namespace tarvik

#pragma once

#include <QWidget>

class QComboBox;
class QLineEdit;
class QRadioButton;
class QScrollBar;
class QTimer;

namespace tarvik {

class Station;

// The setup dialog: serial port, baud rate, poll interval and antenna type.
//
// The Station has let go of the line while this is open (Station::suspend). There is
// no OK or Cancel: each choice goes straight to the Station, which says when a setting
// is to be stored. The polling scroll bar hands its value over when it is released or
// has been still for half a second, not at every step. Closing shows the main window
// again (closed()) and resumes the Station: the port reopens, one frame goes out and
// polling starts at the interval chosen here.
class SetupDialog : public QWidget
{
    Q_OBJECT
public:
    // `parent` owns the dialog; it is still a window of its own.
    SetupDialog(Station &station, QWidget *parent);
    ~SetupDialog() override;

    QComboBox *portList() const { return m_portList; }
    QComboBox *baudList() const { return m_baudList; }
    QScrollBar *pollBar() const { return m_pollBar; }
    QLineEdit *pollText() const { return m_pollText; }
    QRadioButton *largeAntennaOption() const { return m_largeAntenna; }
    QRadioButton *otherAntennaOption() const { return m_otherAntenna; }

Q_SIGNALS:
    // The dialog has been hidden; the Station resumes right after this.
    void closed();

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void buildControls();
    void buildPortFrames();
    void buildPollFrame();
    void buildAntennaFrame();
    void fillPortList();
    void showSettings();
    void choosePort();
    void chooseBaudRate();
    void handOverPollInterval();
    QString chosenPort() const;

    Station &m_station;
    QComboBox *m_portList = nullptr;
    QComboBox *m_baudList = nullptr;
    QScrollBar *m_pollBar = nullptr;
    QLineEdit *m_pollText = nullptr;
    QTimer *m_pollStill = nullptr;
    QRadioButton *m_largeAntenna = nullptr;
    QRadioButton *m_otherAntenna = nullptr;
};

} // namespace tarvik

#pragma once

#include <QDialog>

class QLineEdit;
class QSpinBox;

namespace tarvik {

class Station;

// The Radio dialog: where rigctld listens and when a movement of the radio is worth a
// frame. Like the setup dialog it has no OK or Cancel: each finished entry goes to the
// Station's follow settings, which apply at once and are stored. The status line is
// the follower's own, kept live while the dialog is open.
class RadioDialog : public QDialog
{
    Q_OBJECT
public:
    RadioDialog(Station &station, QWidget *parent);

    QLineEdit *hostEdit() const { return m_host; }
    QSpinBox *portBox() const { return m_port; }
    QSpinBox *thresholdBox() const { return m_threshold; }
    QSpinBox *settleBox() const { return m_settle; }
    QLineEdit *statusLine() const { return m_status; }

    void done(int result) override;

private:
    void buildControls();
    void commit();

    Station &m_station;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QSpinBox *m_threshold = nullptr;
    QSpinBox *m_settle = nullptr;
    QLineEdit *m_status = nullptr;
};

} // namespace tarvik

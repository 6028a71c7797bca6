#pragma once

#include <QDialog>

class QCheckBox;
class QComboBox;
class QFormLayout;
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
    QCheckBox *interlockBox() const { return m_interlock; }
    QSpinBox *holdBox() const { return m_hold; }
    QComboBox *whenUnknownBox() const { return m_whenUnknown; }

    void done(int result) override;

private:
    void buildControls();
    void buildInterlock(QFormLayout *form);
    void commit();
    void commitInterlock();

    Station &m_station;
    QLineEdit *m_host = nullptr;
    QSpinBox *m_port = nullptr;
    QSpinBox *m_threshold = nullptr;
    QSpinBox *m_settle = nullptr;
    QLineEdit *m_status = nullptr;
    QCheckBox *m_interlock = nullptr;
    QSpinBox *m_hold = nullptr;
    QComboBox *m_whenUnknown = nullptr;
};

} // namespace tarvik

// The main window's commands: each stops Timer1, changes the panel state, writes one
// frame and starts Timer1 again, so polling resumes one interval after the command.

#include "frm_main.h"

#include "commport.h"
#include "frame.h"
#include "latin1.h"
#include "settingsstore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

namespace tarvik {

namespace {
void setButtonColour(QPushButton *b, const QColor &c)
{
    QPalette pal = b->palette();
    pal.setColor(QPalette::Button, c);
    b->setPalette(pal);
}
} // namespace

void frm_main::writeFrame(const QByteArray &frame)
{
    if (!m_port->write(frame))
        showPortClosed();
    m_port->discardReceive();
}

void frm_main::Data2Tarvik()
{
    Timer1()->stop();
    const SetFrequencyFrame frame =
        encodeSetFrequency(m_state.sndFreq, m_state.Vastor, m_state.sndDir, m_state.sndCmd);
    m_state.sndFreq = frame.sndFreq;
    m_state.freqHex = frame.freqHex;
    writeFrame(frame.bytes);
    m_state.sndCmd = latin1(proto::kSetFrequency.hex);
}

void frm_main::bandClick(std::size_t band)
{
    tuneBand(band, kBands[band].startFrequency);
}

// `band`'s lamp alone is lit, none for no band. Each lamp changes at most once, so a
// screen reader hears only real changes.
void frm_main::lightBand(std::optional<std::size_t> band)
{
    for (std::size_t i = 0; i < m_bandLamps.size(); ++i)
        m_bandLamps[i]->setFrontVisible(band != i);
}

// A band button, and the radio when the panel follows it. The lamp changes before the
// frame goes out, so it changes even when the send fails.
void frm_main::tuneBand(std::optional<std::size_t> band, double frequency)
{
    Timer1()->stop();
    lightBand(band);
    m_state.sndFreq = frequency;
    Data2Tarvik();
    Timer1()->start();
}

// Each toggle decides from its own lamp, which shows what the controller last
// reported: lit means that pattern is on, so the press turns it off.
void frm_main::directionToggle(Indicator *lamp, proto::Pattern pattern)
{
    Timer1()->stop();
    const bool lit = !lamp->isFrontVisible();
    m_state.sndDir = latin1(proto::sndDirFor(lit ? proto::Pattern::Normal : pattern));
    Data2Tarvik();
    m_port->discardReceive();
    Timer1()->start();
}

void frm_main::cmd180_Click()
{
    directionToggle(m_lamp180, proto::Pattern::Reversed);
}

void frm_main::cmdBid_Click()
{
    directionToggle(m_lampBid, proto::Pattern::Bidirectional);
}

void frm_main::cmd34_Click()
{
    // The controller has no three-quarter pattern; the button stays disabled.
}

void frm_main::fixedCodeCommand(const proto::CommandCode &code)
{
    Timer1()->stop();
    writeFrame(fixedCodeFrame(m_state.sndDir, code.hex));
    Timer1()->start();
}

void frm_main::cmdHome_Click()
{
    fixedCodeCommand(proto::kHome);
}

void frm_main::cmdCal_Click()
{
    fixedCodeCommand(proto::kCalibrate);
}

void frm_main::cmdEnable_Click()
{
    fixedCodeCommand(proto::kEnableXcvr);
}

void frm_main::cmdDisable_Click()
{
    fixedCodeCommand(proto::kDisableXcvr);
}

void frm_main::frequencyStep(int delta)
{
    Timer1()->stop();
    m_state.sndFreq = m_state.sndFreq.value_or(0.0) + delta;
    Data2Tarvik();
    Timer1()->start();
}

void frm_main::cmdUP_Click()
{
    frequencyStep(proto::kFrequencyStep);
}

void frm_main::cmdDN_Click()
{
    frequencyStep(-proto::kFrequencyStep);
}

// The retract-and-restore sequence. Nothing the operator can reach starts these.
void frm_main::Timer2_Timer()
{
    setButtonColour(button(QStringLiteral("cmdHome")), QColor(200, 200, 200));
    QFont f = m_text3->font();
    f.setPointSize(16);
    m_text3->setFont(f);
    m_text3->setText(QStringLiteral("Retracted"));
    m_store->setValue(Key::Retracted, QStringLiteral("1"));
    Timer2()->stop();
}

void frm_main::Timer3_Timer()
{
    m_state.sndCmd = latin1(proto::kEnableXcvr.hex);
    Data2Tarvik();
    m_port->discardReceive();
    Timer3()->stop();
    Timer4()->start();
}

void frm_main::Timer4_Timer()
{
    setButtonColour(button(QStringLiteral("cmdCal")), QColor(200, 200, 200));
    Data2Tarvik();
    m_port->discardReceive();
    m_store->setValue(Key::Retracted, QStringLiteral("0"));
    m_state.retracted = QStringLiteral("0");
    Timer1()->start();
    Timer4()->stop();
}

} // namespace tarvik

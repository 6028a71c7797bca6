// The three views, which differ only in the window's height, and On Top.

#include "frm_main.h"

#include "settingsstore.h"
#include "twips.h"

#include <QAction>
#include <QCheckBox>
#include <QMenuBar>
#include <QWindow>

namespace tarvik {

// The stored style, when it names a view; anything else leaves the designed height.
void frm_main::restoreView()
{
    m_state.viewStyle = m_store->value(Key::Style);
    bool numeric = false;
    const double style = m_state.viewStyle.trimmed().toDouble(&numeric);
    if (!numeric)
        return;
    for (const View &v : kViews) {
        if (style == v.style) {
            applyView(v, true);
            return;
        }
    }
}

void frm_main::applyView(const View &view, bool atStartUp)
{
    const int outer = atStartUp ? view.startupHeight : view.menuHeight;
    const int client = px(outer - kFrameCaptionMenuTwips);
    resize(width(), menuBar()->sizeHint().height() + client);
    for (std::size_t i = 0; i < kViews.size(); ++i)
        m_viewActions[i]->setChecked(&kViews[i] == &view);
    if (atStartUp)
        return;
    m_store->setValue(Key::Style, QString::number(view.style));
    m_store->setValue(Key::Height, QString::number(view.menuHeight));
}

void frm_main::selectView(std::size_t view)
{
    m_state.viewStyle = QString::number(kViews[view].style);
    applyView(kViews[view], false);
}

void frm_main::storeViewStyle()
{
    m_store->setValue(Key::Style, m_state.viewStyle);
}

void frm_main::mnuCompact_Click()
{
    selectView(0);
}

void frm_main::mnuFull_Click()
{
    selectView(1);
}

void frm_main::mnuDiag_Click()
{
    selectView(2);
}

void frm_main::chkOnTop_Click()
{
    SetOnTop(m_chkOnTop->isChecked());
    SaveSettings();
}

// Only the stacking changes: on X11 the window manager gets _NET_WM_STATE_ABOVE, and
// the window keeps its place and size and is not activated. Changing the flags on the
// window handle does that in place; QWidget::setWindowFlag would hide the window.
void frm_main::SetOnTop(bool onTop)
{
    Qt::WindowFlags flags = windowFlags();
    flags.setFlag(Qt::WindowStaysOnTopHint, onTop);
    if (QWindow *handle = windowHandle()) {
        overrideWindowFlags(flags);
        handle->setFlags(flags);
    } else {
        setWindowFlags(flags);
    }
}

} // namespace tarvik

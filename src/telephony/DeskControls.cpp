#include "telephony/DeskControls.h"

#include <array>

namespace {

// On, off, or unchanged (-1), per control in enum order.
using Row = std::array<int, DeskControls::ControlCount>;

const Row& buttonRow(DeskControls::ButtonMode mode)
{
    // In ButtonMode order.
    static const Row table[] = {{0, 0, 0, 1, 0, 0},   // StartCall
                                {1, 1, 1, 0, 1, 1},   // StopCall
                                {0, 0, 0, 0, 0, -1},  // StartModify
                                {1, 1, 1, 0, 1, -1},  // StopModify
                                {0, 0, 0, -1, 0, 0}}; // Agent_1
    return table[int(mode)];
}

} // namespace

void DeskControls::setEnabled(Control control, bool enabled)
{
    if (m_enabled[control] == enabled)
        return;
    m_enabled[control] = enabled;
    emit controlChanged(control, enabled);
}

void DeskControls::SetButtonState(ButtonMode mode)
{
    const Row& row = buttonRow(mode);
    for (int c = 0; c < ControlCount; ++c) {
        if (row[c] >= 0)
            setEnabled(Control(c), row[c] == 1);
    }
}

void DeskControls::setWindowTitle(const QString& title)
{
    if (m_title == title)
        return;
    m_title = title;
    emit windowTitleChanged(title);
}

void DeskControls::setWindowEnabled(bool enabled)
{
    if (m_windowEnabled == enabled)
        return;
    m_windowEnabled = enabled;
    emit windowEnabledChanged(enabled);
}

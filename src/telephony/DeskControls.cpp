#include "telephony/DeskControls.h"

#include <array>
#include <QHash>

namespace {

// On, off, or unchanged (-1), per control in enum order.
using Row = std::array<int, DeskControls::ControlCount>;

const QHash<QString, Row>& buttonTable()
{
    static const QHash<QString, Row> table{
        {QStringLiteral("StartCall"), {0, 0, 0, 1, 0, 0}},
        {QStringLiteral("StopCall"), {1, 1, 1, 0, 1, 1}},
        {QStringLiteral("StartModify"), {0, 0, 0, 0, 0, -1}},
        {QStringLiteral("StopModify"), {1, 1, 1, 0, 1, -1}},
        {QStringLiteral("Agent_1"), {0, 0, 0, -1, 0, 0}},
    };
    return table;
}

} // namespace

void DeskControls::setEnabled(Control control, bool enabled)
{
    if (m_enabled[control] == enabled)
        return;
    m_enabled[control] = enabled;
    emit controlChanged(control, enabled);
}

void DeskControls::SetButtonState(const QString& mode)
{
    const auto row = buttonTable().constFind(mode);
    if (row == buttonTable().cend())
        return;
    for (int c = 0; c < ControlCount; ++c) {
        if ((*row)[c] >= 0)
            setEnabled(Control(c), (*row)[c] == 1);
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

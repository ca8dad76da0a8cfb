#include "windows/Frm100000.h"

#include "login/AgentStatus.h"

Frm100000::Frm100000(AgentStatus& status, QWidget* parent) : QMainWindow(parent), m_status(status)
{
    setObjectName(QStringLiteral("Frm100000"));
    setWindowTitle(QStringLiteral("Brenvo"));
    resize(1200, 760);
    refreshTitle();
}

void Frm100000::refreshTitle()
{
    setWindowTitle(m_status.windowTitle());
}

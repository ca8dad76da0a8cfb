#pragma once

#include <QMainWindow>

class AgentStatus;

// The agent's desk.
class Frm100000 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Frm100000(AgentStatus& status, QWidget* parent = nullptr);

    void refreshTitle();

private:
    AgentStatus& m_status;
};

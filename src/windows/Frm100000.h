#pragma once

#include <QMainWindow>
#include <QTabWidget>

#include "windows/CustomerArea.h"

struct CallState;
struct Session;
class AgentStatus;
class CallController;
class CustomerPanel;
class Database;
class DeskControls;
class DorvanePlus;
class FtpCientOCX;
class OrvelMedia;
class OrvelServerSocket;
class SpreadModel;

// What the desk works with; built once by the application.
struct DeskParts
{
    Session& session;
    CallState& call;
    Database& db;
    AgentStatus& status;
    DorvanePlus& DorvanePlus1;
    OrvelServerSocket& OrvelServerSocket1;
    FtpCientOCX& FtpCientOCX1;
    OrvelMedia& OrvelMedia1;
    CustomerPanel& panel;
    DeskControls& desk;
    CallController& calls;
    SpreadModel& custList;
};

// The agent's desk: customer search and details, the call buttons and the
// tabs with the histories and lists.
class Frm100000 : public QMainWindow
{
    Q_OBJECT
public:
    explicit Frm100000(const DeskParts& parts, QWidget* parent = nullptr);

    // The start-up sequence, run once after the window is built.
    void load();

    CustomerArea* customers;
    QTabWidget* tabAgent;

    DeskParts& parts() { return m_p; }

private:
    DeskParts m_p;
};

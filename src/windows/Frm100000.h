#pragma once

#include <QMainWindow>
#include <QTabWidget>

#include <functional>

#include "windows/CustomerArea.h"
#include "windows/HistoryPages.h"
#include "windows/ListPages.h"

struct Session;
class AgentStatus;
class CallController;
class CustomerPanel;
class CustomerSide;
class Database;
class DeskControls;
class DorvanePlus;
class FrmSysTray;
class FtpCientOCX;
class OrvelMedia;
class OrvelServerSocket;
class SpreadModel;
class TrayMenu;

// What the desk works with; built once by the application.
struct DeskParts
{
    Session& session;
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

    // The history pages and the tray's logic, attached before load().
    void attachHistories(const HistoryParts& parts, TrayMenu& trayMenu);
    // The customer logic behind the search bar, the list and pages 3 and 4;
    // attached before load().
    void attachCustomers(CustomerSide& side);
    ListPages* lists = nullptr;
    HistoryPages* histories = nullptr;
    // The tray window that load() creates; it decides what closing does.
    FrmSysTray* frmSysTray = nullptr;
    // Whether the desktop has a notification area; tests answer both ways.
    std::function<bool()> trayAvailable;

    DeskParts& parts() { return m_p; }

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    DeskParts m_p;
    TrayMenu* m_trayMenu = nullptr;
    CustomerSide* m_customers = nullptr;
};

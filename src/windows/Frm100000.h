#pragma once

#include <QMainWindow>
#include <QTabWidget>

#include <functional>

#include "windows/CustomerArea.h"
#include "windows/HistoryPages.h"
#include "windows/ListPages.h"

class Desk;
class FrmSysTray;
class QtWindowOpener;

// The agent's desk: customer search and details, the call buttons and the
// tabs with the histories and lists, over the desk's logic.
class Frm100000 : public QMainWindow
{
    Q_OBJECT
public:
    Frm100000(Desk& desk, QtWindowOpener& windows, QWidget* parent = nullptr);

    // The start-up sequence, run once after the window is shown.
    void load();

    CustomerArea* customers;
    QTabWidget* tabAgent;
    ListPages* lists;
    HistoryPages* histories;
    // The tray window that load() creates; it decides what closing does.
    FrmSysTray* frmSysTray = nullptr;
    // Whether the desktop has a notification area; tests answer both ways.
    std::function<bool()> trayAvailable;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Desk& m_desk;
    QtWindowOpener& m_windows;
};

#pragma once

#include <QAction>
#include <QMenu>
#include <QObject>
#include <QPointer>
#include <QSystemTrayIcon>
#include <QWidget>

#include <functional>

#include "shell/TrayMenu.h"

class QCloseEvent;

// The notification-area icon of the main window (its owner, FSys) and the
// tray menu. Closing the owner hides it here; only "&Exit" ends the program.
// Without a system tray (a bare desktop, the offscreen tests) everything
// but the icon itself still works.
class FrmSysTray : public QObject
{
    Q_OBJECT
public:
    FrmSysTray(TrayMenu& logic, QWidget* owner, QObject* parent = nullptr);

    QWidget* FSys() const { return m_owner; }
    // What "환경설정" opens: the caller-ID window, not modal.
    void setSetupAction(std::function<void()> action) { m_setup = std::move(action); }

    // The owner's close request: the agent's close box only hides it, a
    // close by the program (the quit) passes.
    void MeQueryUnload(QWidget* window, QCloseEvent* event);
    // 0 adds, 1 modifies, 2 removes the icon.
    void UpdateIcon(int action);
    void prepareMenu();
    void restoreOwner();
    void minimizeOwner();

    QSystemTrayIcon* trayIcon;
    QMenu* mPopupMenu;
    QAction* mAbout;
    QAction* mSep1;
    QAction* mRestore;
    QAction* mMinimize;
    QAction* mSep2;
    QAction* mCallList;
    QAction* mSetup;
    QAction* mSep3;
    QAction* mExit;

private:
    TrayMenu::OwnerState ownerState() const;

    TrayMenu& m_logic;
    QPointer<QWidget> m_owner;
    std::function<void()> m_setup;
    bool m_unloading = false;
};

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

class QMenuBar;
class QTimer;

// The notification-area icon of the main window (its owner, FSys) and the
// tray menu. Closing the owner hides it here; only "&Exit" ends the program.
// A desktop without a notification area (or one that goes away) gets the
// menu's working items in a window menu of the owner instead, and closing
// only minimises, so the window can always be found again. Whether there is
// a notification area is asked again every few seconds.
class FrmSysTray : public QObject
{
    Q_OBJECT
public:
    using TrayAvailable = std::function<bool()>;

    FrmSysTray(TrayMenu& logic, QWidget* owner,
               TrayAvailable trayAvailable = &QSystemTrayIcon::isSystemTrayAvailable,
               QObject* parent = nullptr);

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
    // True while the icon is in the notification area.
    // Asks again whether there is a notification area and switches between
    // the icon and the window menu.
    void checkTray();

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
    // "메뉴(&M)" in the owner's menu bar, shown while there is no icon.
    QMenu* windowMenu;

private:
    TrayMenu::OwnerState ownerState() const;

    TrayMenu& m_logic;
    QPointer<QWidget> m_owner;
    std::function<void()> m_setup;
    TrayAvailable m_trayAvailable;
    QMenuBar* m_menuBar = nullptr;
    QTimer* m_trayCheck;
    bool m_iconShown = false;
    bool m_iconRemoved = false;
    bool m_unloading = false;
};

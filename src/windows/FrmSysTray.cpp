#include "windows/FrmSysTray.h"

#include <QApplication>
#include <QCloseEvent>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>
#include <QTimer>

namespace {

constexpr int kTrayCheckMs = 3000;

} // namespace

FrmSysTray::FrmSysTray(TrayMenu& logic, QWidget* owner, TrayAvailable trayAvailable,
                       QObject* parent)
    : QObject(parent), m_logic(logic), m_owner(owner), m_trayAvailable(std::move(trayAvailable))
{
    setObjectName(QStringLiteral("FrmSysTray"));
    mPopupMenu = new QMenu(QStringLiteral("&PopupMenu"), owner);
    mPopupMenu->setObjectName(QStringLiteral("mPopupMenu"));
    mAbout = mPopupMenu->addAction(QStringLiteral("&About"));
    mSep1 = mPopupMenu->addSeparator();
    mRestore = mPopupMenu->addAction(QStringLiteral("최대화"));
    mMinimize = mPopupMenu->addAction(QStringLiteral("최소화"));
    mSep2 = mPopupMenu->addSeparator();
    mCallList = mPopupMenu->addAction(QStringLiteral("통화이력보기"));
    mSetup = mPopupMenu->addAction(QStringLiteral("환경설정"));
    mSep3 = mPopupMenu->addSeparator();
    mExit = mPopupMenu->addAction(QStringLiteral("&Exit"));

    // The items that do something, in the owner's own menu.
    windowMenu = new QMenu(QStringLiteral("메뉴(&M)"), owner);
    windowMenu->setObjectName(QStringLiteral("windowMenu"));
    windowMenu->addActions({mRestore, mMinimize});
    windowMenu->addSeparator();
    windowMenu->addAction(mSetup);
    windowMenu->addSeparator();
    windowMenu->addAction(mExit);
    if (auto* window = qobject_cast<QMainWindow*>(owner)) {
        m_menuBar = window->menuBar();
        m_menuBar->addMenu(windowMenu);
    }

    QIcon icon = owner->windowIcon();
    if (icon.isNull())
        icon = QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
    trayIcon = new QSystemTrayIcon(icon, this);
    trayIcon->setToolTip(TrayMenu::Tooltip(QCoreApplication::applicationFilePath()));
    trayIcon->setContextMenu(mPopupMenu);

    connect(mPopupMenu, &QMenu::aboutToShow, this, &FrmSysTray::prepareMenu);
    connect(windowMenu, &QMenu::aboutToShow, this, &FrmSysTray::prepareMenu);
    connect(mRestore, &QAction::triggered, this, &FrmSysTray::restoreOwner);
    connect(mMinimize, &QAction::triggered, this, &FrmSysTray::minimizeOwner);
    connect(mSetup, &QAction::triggered, this, [this] {
        if (m_setup)
            m_setup();
    });
    connect(mExit, &QAction::triggered, &m_logic, &TrayMenu::mExit_Click);
    connect(trayIcon, &QSystemTrayIcon::activated, this,
            [this](QSystemTrayIcon::ActivationReason reason) {
                if (reason == QSystemTrayIcon::DoubleClick)
                    restoreOwner();
            });

    connect(&m_logic, &TrayMenu::UpdateIcon, this, &FrmSysTray::UpdateIcon);
    connect(&m_logic, &TrayMenu::unloadOwner, this, [this] {
        m_unloading = true;
        if (m_owner)
            m_owner->close();
    });

    m_trayCheck = new QTimer(this);
    m_trayCheck->setInterval(kTrayCheckMs);
    connect(m_trayCheck, &QTimer::timeout, this, &FrmSysTray::checkTray);
    m_trayCheck->start();
    UpdateIcon(0);
}

TrayMenu::OwnerState FrmSysTray::ownerState() const
{
    const Qt::WindowStates state = m_owner->windowState();
    if (state & Qt::WindowMinimized)
        return TrayMenu::OwnerState::Minimized;
    if (state & Qt::WindowFullScreen)
        return TrayMenu::OwnerState::Other;
    if (state & Qt::WindowMaximized)
        return TrayMenu::OwnerState::Maximized;
    return TrayMenu::OwnerState::Normal;
}

void FrmSysTray::MeQueryUnload(QWidget* window, QCloseEvent* event)
{
    const int mode = m_unloading ? TrayMenu::vbFormCode : TrayMenu::vbFormControlMenu;
    if (!TrayMenu::MeQueryUnload(mode)) {
        event->accept();
        return;
    }
    event->ignore();
    window->setWindowState(window->windowState() | Qt::WindowMinimized);
    // Hidden, only the icon could bring it back.
    if (m_iconShown)
        window->hide();
}

void FrmSysTray::UpdateIcon(int action)
{
    m_iconRemoved = action == 2;
    if (m_iconRemoved)
        m_trayCheck->stop();
    checkTray();
}

void FrmSysTray::checkTray()
{
    const bool show = !m_iconRemoved && m_trayAvailable();
    trayIcon->setVisible(show);
    if (m_menuBar)
        m_menuBar->setVisible(!show && !m_iconRemoved);
    const bool lost = m_iconShown && !show && !m_iconRemoved;
    m_iconShown = show;
    // The notification area went away with the window in it.
    if (lost && m_owner && !m_owner->isVisible())
        restoreOwner();
}

void FrmSysTray::prepareMenu()
{
    if (!m_owner)
        return;
    const TrayMenu::MenuState state = TrayMenu::prepareMenu(m_owner->isVisible(), ownerState());
    mRestore->setEnabled(state.mRestore);
    mMinimize->setEnabled(state.mMinimize);
}

void FrmSysTray::restoreOwner()
{
    if (!m_owner || !TrayMenu::needsRestore(m_owner->isVisible(), ownerState()))
        return;
    m_owner->setWindowState(Qt::WindowNoState);
    m_owner->show();
    m_owner->raise();
    m_owner->activateWindow();
}

void FrmSysTray::minimizeOwner()
{
    if (m_owner)
        m_owner->setWindowState(m_owner->windowState() | Qt::WindowMinimized);
}

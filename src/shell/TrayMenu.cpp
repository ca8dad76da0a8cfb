#include "shell/TrayMenu.h"

#include <QFileInfo>

#include "foundation/Seams.h"
#include "line/DorvanePlus.h"
#include "login/AgentStatus.h"
#include "shell/LocalFileRotation.h"

TrayMenu::TrayMenu(DorvanePlus& device, AgentStatus& status, LocalFileRotation& rotation,
                   MessageSink& messages, QObject* parent)
    : QObject(parent), m_device(device), m_status(status), m_rotation(rotation),
      m_messages(messages)
{
}

QString TrayMenu::Tooltip(const QString& programFile)
{
    return QFileInfo(programFile).completeBaseName().left(63);
}

TrayMenu::MenuState TrayMenu::prepareMenu(bool ownerVisible, OwnerState state)
{
    if (!ownerVisible)
        return {true, false};
    switch (state) {
    case OwnerState::Minimized:
        return {true, false};
    case OwnerState::Normal:
    case OwnerState::Maximized:
        return {false, true};
    case OwnerState::Other:
        break;
    }
    return {true, true};
}

bool TrayMenu::needsRestore(bool ownerVisible, OwnerState state)
{
    return !ownerVisible || state == OwnerState::Minimized;
}

bool TrayMenu::MeQueryUnload(int unloadMode)
{
    return unloadMode == vbFormControlMenu;
}

bool TrayMenu::mExit_Click()
{
    if (m_ended)
        return true;
    if (m_device.IsLineBusy()) {
        m_messages.showMessage(QStringLiteral("지금은 통화중입니다 종료하실수 없습니다."),
                               QStringLiteral("통화중 종료오류"), MessageIcon::Information);
        return false;
    }
    quit();
    return true;
}

void TrayMenu::endSession()
{
    if (!m_ended)
        quit();
}

void TrayMenu::quit()
{
    m_ended = true;
    emit ending();
    emit UpdateIcon(2);
    emit unloadOwner();
    m_status.SetLoginANDStatus(QStringLiteral("0"), QStringLiteral("0"));
    m_rotation.CompactLocalDB();
    emit programEnded();
}

#pragma once

#include <QObject>
#include <QString>

class AgentStatus;
class DorvanePlus;
class LocalFileRotation;
class MessageSink;

// What the tray icon does with the main window, its owner: the menu items
// that apply to the owner's state, restoring it, hiding it instead of
// closing it, and quitting the program, which only the tray can do.
class TrayMenu : public QObject
{
    Q_OBJECT
public:
    enum class OwnerState
    {
        Normal,
        Minimized,
        Maximized,
        Other
    };
    // Where a close request of the owner comes from.
    enum UnloadMode
    {
        vbFormControlMenu = 0,
        vbFormCode = 1,
        vbAppWindows = 2
    };
    struct MenuState
    {
        bool mRestore;
        bool mMinimize;
    };

    TrayMenu(DorvanePlus& device, AgentStatus& status, LocalFileRotation& rotation,
             MessageSink& messages, QObject* parent = nullptr);

    // The program file's name without its extension, cut to the 63
    // characters the icon's tooltip holds.
    static QString Tooltip(const QString& programFile);
    static MenuState prepareMenu(bool ownerVisible, OwnerState state);
    // Restore acts only on a minimized or hidden owner.
    static bool needsRestore(bool ownerVisible, OwnerState state);
    // True cancels the close: the agent's close box sends the window to the
    // tray. Closing by the program or the session passes.
    static bool MeQueryUnload(int unloadMode);

    // Quits unless a call is on the line; false when refused.
    bool mExit_Click();
    // The desktop session ends or the process is told to stop: the same quit
    // as "&Exit", without the busy-line refusal. Runs once; later calls and
    // a later "&Exit" do nothing.
    void endSession();
    bool hasEnded() const { return m_ended; }

signals:
    // First thing of every quit, before anything is written: whatever is
    // still open (a call being recorded) closes now.
    void ending();
    // 0 add, 1 modify, 2 delete the icon.
    void UpdateIcon(int action);
    void unloadOwner();
    void programEnded();

private:
    void quit();

    DorvanePlus& m_device;
    AgentStatus& m_status;
    LocalFileRotation& m_rotation;
    MessageSink& m_messages;
    bool m_ended = false;
};

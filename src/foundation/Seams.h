#pragma once

#include <memory>
#include <QObject>
#include <QString>

class Call;

// The two ways logic reaches a person. The windows library installs the real
// ones (message boxes, windows); tests install recorders and scripted
// answers. Neither ever waits for the person: the program has one event
// loop, and code that shows something goes on at once.

enum class MessageIcon
{
    None,
    Information,
    Critical
};

class MessageSink
{
public:
    virtual ~MessageSink() = default;
    // An empty caption means the application's title. Returns at once; the
    // box stays until the agent confirms it.
    virtual void showMessage(const QString& text, const QString& caption, MessageIcon icon) = 0;
    // The wait pointer while the error log works; the arrow again afterwards.
    virtual void setBusyCursor(bool busy) = 0;
};

// The program's windows that logic opens, named by their form names.
enum class Window
{
    BulkUpload,
    Main,
    CallerId,
    CallResult,
    SmallCall
};

class WindowOpener : public QObject
{
    Q_OBJECT
public:
    // Shows the window for the call it is given (none for windows outside a
    // call) and returns at once; closed() follows when it has closed. The
    // windows of a call keep the agent from the main window while open.
    virtual void open(Window window, const std::shared_ptr<Call>& call = {}) = 0;
    // True while a top-level window of the program with exactly this caption
    // exists, shown or hidden.
    virtual bool isWindowOpen(const QString& caption) const = 0;
    // Closes the window if it is shown, as its close button would.
    virtual void closeWindow(Window window) = 0;

signals:
    // A window that open() showed has closed; always delivered from the
    // event loop, never from inside the call that closed it.
    void closed(Window window, const std::shared_ptr<Call>& call);
};

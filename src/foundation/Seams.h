#pragma once

#include <memory>
#include <QString>

struct Call;

// The two ways logic reaches a person. The windows library installs the real
// ones (message boxes, modal windows); tests install recorders and scripted
// answers.

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
    // An empty caption means the application's title. Blocks until confirmed.
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

class WindowOpener
{
public:
    virtual ~WindowOpener() = default;
    // Shows the window modally and returns when it has closed. The window
    // works for the call it is given (none for windows outside a call).
    virtual void showModal(Window window, const std::shared_ptr<Call>& call = {}) = 0;
    // True while a top-level window of the program with exactly this caption
    // exists, shown or hidden.
    virtual bool isWindowOpen(const QString& caption) const = 0;
    // Closes the window if it is shown, as its close button would.
    virtual void closeWindow(Window window) = 0;
};

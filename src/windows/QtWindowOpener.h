#pragma once

#include <functional>
#include <QHash>
#include <QPointer>

#include "foundation/Seams.h"

class QDialog;

// Opens the program's windows for the logic: each kind is built by its
// factory, shown modally and discarded when it closes, so a window exists
// at most once while it is shown. A window can also be built ahead, hidden
// (the caller-ID window, loaded when the caller's number arrives): the
// next showing uses that same instance, and until then it does not count
// as open, so the call logic still shows it.
class QtWindowOpener : public WindowOpener
{
public:
    using Factory = std::function<QDialog*()>;

    void setFactory(Window window, Factory factory)
    {
        m_factories.insert(window, std::move(factory));
    }

    void showModal(Window window) override;
    bool isWindowOpen(const QString& caption) const override;
    void closeWindow(Window window) override;

    // The window's one instance, built hidden if there is none yet.
    QDialog* preload(Window window);
    // Shows the window without blocking; it is discarded when it closes.
    void showModeless(Window window);

private:
    QHash<Window, Factory> m_factories;
    QHash<Window, QDialog*> m_open;
    QHash<Window, QPointer<QDialog>> m_preloaded;
};

#pragma once

#include <functional>
#include <QHash>

#include "foundation/Seams.h"

class QDialog;

// Opens the program's windows for the logic: each kind is built by its
// factory, shown modally and discarded when it closes, so a window exists
// at most once while it is shown.
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

private:
    QHash<Window, Factory> m_factories;
    QHash<Window, QDialog*> m_open;
};

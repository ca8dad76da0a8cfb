#pragma once

#include <functional>
#include <QHash>
#include <QPointer>
#include <QSet>

#include "foundation/Seams.h"
#include "telephony/Call.h"

class QDialog;
class QWidget;

// Opens the program's windows for the logic: each kind is built by its
// factory for the call it works for, shown without blocking and discarded
// when it closes, so a window exists at most once while it is shown. The
// windows of a call are application-modal: while one is open the agent
// works in it, and a window of a newer call shown after it takes over. A
// window can also be built ahead, hidden (the caller-ID window, loaded when
// the caller's number arrives): the next showing for the same call uses that
// instance, and until then it does not count as open, so the call logic
// still shows it. A window that has closed does not count as open either,
// though it may not be discarded yet.
class QtWindowOpener : public WindowOpener
{
    Q_OBJECT
public:
    using Factory = std::function<QDialog*(const CallPtr& call)>;

    void setFactory(Window window, Factory factory)
    {
        m_factories.insert(window, std::move(factory));
    }

    void open(Window window, const CallPtr& call = {}) override;
    bool isWindowOpen(const QString& caption) const override;
    void closeWindow(Window window) override;

    // The window's one instance for the call, built hidden if there is none yet.
    QDialog* preload(Window window, const CallPtr& call);
    // Shows the window without modality (the tray's caller-ID window).
    void showModeless(Window window, const CallPtr& call);

private:
    struct Waiting
    {
        QPointer<QDialog> dialog;
        std::weak_ptr<Call> call;
    };

    QDialog* build(Window window, const CallPtr& call);
    // A window built ahead for this call, taken out of waiting.
    QDialog* takeWaiting(Window window, const CallPtr& call);
    void show(Window window, const CallPtr& call, bool modal);

    QHash<Window, Factory> m_factories;
    QHash<Window, QDialog*> m_open;
    QHash<Window, Waiting> m_waiting;
    QSet<const QWidget*> m_closed;
};

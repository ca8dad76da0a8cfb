#pragma once

#include <functional>
#include <memory>
#include <QHash>
#include <QList>
#include <QString>

#include "foundation/Seams.h"

// Records what would have been shown to the agent, in order.
class MessageRecorder : public MessageSink
{
public:
    struct Message
    {
        QString text, caption;
        MessageIcon icon;
    };

    void showMessage(const QString& text, const QString& caption, MessageIcon icon) override
    {
        messages.append({text, caption, icon});
        if (onMessage)
            onMessage(messages.last());
    }
    void setBusyCursor(bool busy) override { busyDepth += busy ? 1 : -1; }

    QStringList texts() const
    {
        QStringList out;
        for (const Message& m : messages)
            out << m.text;
        return out;
    }
    // The error-log boxes among the messages.
    int errorBlocks() const { return int(texts().filter("======== ErrorLog Start ===").size()); }
    void clear() { messages.clear(); }

    QList<Message> messages;
    int busyDepth = 0;
    std::function<void(const Message&)> onMessage;
};

// Records the windows the logic opens, runs a test's handler on each, and
// reports a window closed (from the event loop, as a real one) when the
// logic closes it or the test finishes it.
class WindowRecorder : public WindowOpener
{
public:
    void open(Window window, const std::shared_ptr<Call>& call = {}) override
    {
        shown.append(window);
        m_open.insert(window, call);
        if (onShow)
            onShow(window, call);
    }
    bool isWindowOpen(const QString& text) const override { return openCaptions.contains(text); }
    void closeWindow(Window window) override
    {
        closes.append(window);
        finish(window);
    }
    // The window is done with, as the agent's answer or close box ends it.
    void finish(Window window)
    {
        if (!m_open.contains(window))
            return;
        const std::shared_ptr<Call> call = m_open.take(window);
        QMetaObject::invokeMethod(
            this, [this, window, call] { emit closed(window, call); }, Qt::QueuedConnection);
    }

    QList<Window> shown;
    QList<Window> closes;
    QStringList openCaptions;
    std::function<void(Window, const std::shared_ptr<Call>&)> onShow;

private:
    QHash<Window, std::shared_ptr<Call>> m_open;
};

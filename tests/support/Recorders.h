#pragma once

#include <functional>
#include <memory>
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
    int errorBlocks() const
    {
        return int(texts().filter(QStringLiteral("======== ErrorLog Start ===========")).size());
    }
    void clear() { messages.clear(); }

    QList<Message> messages;
    int busyDepth = 0;
    std::function<void(const Message&)> onMessage;
};

// Answers modal windows with scripted handlers and keeps the captions of the
// windows a test declares open.
class WindowRecorder : public WindowOpener
{
public:
    void showModal(Window window, const std::shared_ptr<Call>& call = {}) override
    {
        shown.append(window);
        if (onShow)
            onShow(window, call);
    }
    bool isWindowOpen(const QString& caption) const override
    {
        return openCaptions.contains(caption);
    }
    void closeWindow(Window window) override { closed.append(window); }

    QList<Window> shown;
    QList<Window> closed;
    QStringList openCaptions;
    std::function<void(Window, const std::shared_ptr<Call>&)> onShow;
};

#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

class ErrorLog;
class MessageSink;
class OrvelServerSocket;

// The caller feed's listening port. A port that cannot be opened (another
// program holds it) is reported once, with its error-log block, and tried
// again every retry interval until it opens; meanwhile the caller-ID window
// says that numbers are not arriving, so no agent takes a known caller for
// a new one.
class CallerFeedPort : public QObject
{
    Q_OBJECT
public:
    static constexpr int kRetryMs = 30000;

    CallerFeedPort(OrvelServerSocket& socket, ErrorLog& errors, MessageSink& messages,
                   QObject* parent = nullptr);

    void open(quint16 port);
    // The last try to open the port failed, and the retries go on.
    bool isDown() const { return m_down; }
    // The caller-ID window's label while it has no number.
    QString idleLabel() const;
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }

signals:
    void downChanged(bool down);

private:
    void listen();

    OrvelServerSocket& m_socket;
    ErrorLog& m_errors;
    MessageSink& m_messages;
    QTimer m_retry;
    quint16 m_port = 0;
    bool m_down = false;
};

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
    bool isListening() const { return m_listening; }
    // The caller-ID window's label while it has no number.
    QString idleLabel() const;
    void setRetryInterval(int ms) { m_retry.setInterval(ms); }

signals:
    void listeningChanged(bool listening);

private:
    void listen();

    OrvelServerSocket& m_socket;
    ErrorLog& m_errors;
    MessageSink& m_messages;
    QTimer m_retry;
    quint16 m_port = 0;
    bool m_listening = false;
};

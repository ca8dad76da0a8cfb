#pragma once

#include <QObject>
#include <QSocketNotifier>

#include <memory>

// SIGTERM and SIGHUP as a Qt signal. The C handler only writes the signal's
// number into a pipe; the event loop reads it and emits stopRequested, so
// whatever the program does about it runs as an ordinary handler. The pipe's
// write end is process-wide because a C signal handler can reach nothing
// else; only one object may exist at a time.
class TerminationSignals : public QObject
{
    Q_OBJECT
public:
    explicit TerminationSignals(QObject* parent = nullptr);
    ~TerminationSignals() override;

signals:
    void stopRequested(int signal);

private:
    void readPipe();

    int m_pipe[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <QObject>
#include <QPointer>
#include <QThread>

#include "platform/FtpCientOCX.h"

// One FTP control on a thread of its own, so that no transfer ever holds up
// the window thread. Jobs run one after the other, in the order given; each
// hands its result back on this object's thread by a callback, which is
// dropped when the object it belongs to is gone by then. Destroying the
// worker aborts the running job and waits for it.
class FtpWorker : public QObject
{
    Q_OBJECT
public:
    explicit FtpWorker(QObject* parent = nullptr);
    ~FtpWorker() override;

    // Runs job on the control's thread after the jobs before it, then
    // done(result) on this thread while context lives.
    template <typename Result>
    void run(QObject* context, std::function<Result(FtpCientOCX&)> job,
             std::function<void(const Result&)> done)
    {
        QPointer<QObject> owner(context);
        start([this, owner, job = std::move(job), done = std::move(done)](FtpCientOCX& ftp) {
            const Result result = job(ftp);
            report(owner, [done, result] { done(result); });
        });
    }
    // From inside a job: runs f on this thread while context lives.
    void report(const QPointer<QObject>& context, std::function<void()> f);

    // Stops the running job's transfers: each fails at once with "aborted"
    // until the next job starts.
    void abort() { m_control->abort(); }
    // Stops the running job's transfers and those of every job after it,
    // until the worker has none left: they fail at once with "aborted", and
    // each job still reports.
    void cancel();
    // The stall limit of every later transfer.
    void setStallTimeout(int seconds) { m_control->setStallTimeout(seconds); }
    // A job is running or waiting to.
    bool isBusy() const { return m_jobs > 0; }

signals:
    // The running transfer's bytes moved and the file's size.
    void TransferProgress(qint64 done, qint64 total);

private:
    void start(std::function<void(FtpCientOCX&)> job);

    QThread m_thread;
    FtpCientOCX* m_control; // lives on m_thread
    std::shared_ptr<std::atomic<bool>> m_closing = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<bool>> m_cancelled = std::make_shared<std::atomic<bool>>(false);
    int m_jobs = 0; // on this thread: started and not yet reported back
};

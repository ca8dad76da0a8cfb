#include "platform/FtpWorker.h"

FtpWorker::FtpWorker(QObject* parent) : QObject(parent), m_control(new FtpCientOCX)
{
    m_thread.setObjectName(QStringLiteral("ftp"));
    m_control->moveToThread(&m_thread);
    connect(m_control, &FtpCientOCX::TransferProgress, this, &FtpWorker::TransferProgress);
    m_thread.start();
}

FtpWorker::~FtpWorker()
{
    // The job on its way fails at once; the ones after it never start.
    m_closing->store(true);
    m_control->abort();
    m_thread.quit();
    m_thread.wait();
    delete m_control;
}

void FtpWorker::start(std::function<void(FtpCientOCX&)> job)
{
    ++m_jobs;
    QMetaObject::invokeMethod(
        m_control,
        [this, control = m_control, closing = m_closing, cancelled = m_cancelled,
         job = std::move(job)] {
            if (closing->load())
                return;
            // Cleared first, so that a cancel coming meanwhile is not lost.
            control->clearAbort();
            if (cancelled->load())
                control->abort();
            job(*control);
            // After the job's own reports, which went the same way.
            QMetaObject::invokeMethod(
                this,
                [this] {
                    if (--m_jobs == 0)
                        m_cancelled->store(false);
                },
                Qt::QueuedConnection);
        },
        Qt::QueuedConnection);
}

void FtpWorker::cancel()
{
    m_cancelled->store(true);
    m_control->abort();
}

void FtpWorker::report(const QPointer<QObject>& context, std::function<void()> f)
{
    QMetaObject::invokeMethod(
        this,
        [context, f = std::move(f)] {
            if (context)
                f();
        },
        Qt::QueuedConnection);
}

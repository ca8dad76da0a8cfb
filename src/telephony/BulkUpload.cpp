#include "telephony/BulkUpload.h"

#include "foundation/ErrorLog.h"

BulkUpload::BulkUpload(RecordingReconciliation& reconciliation, RecordingUpload& upload,
                       QObject* parent)
    : QObject(parent), m_reconciliation(reconciliation), m_upload(upload)
{
    connect(&m_reconciliation, &RecordingReconciliation::progressMaximum, this,
            &BulkUpload::progressMaximum);
    connect(&m_reconciliation, &RecordingReconciliation::progressValue, this,
            &BulkUpload::progressValue);
    connect(&m_reconciliation, &RecordingReconciliation::status, this, &BulkUpload::status);
    connect(&m_upload, &RecordingUpload::progressMaximum, this, &BulkUpload::progressMaximum);
    connect(&m_upload, &RecordingUpload::progressValue, this, &BulkUpload::progressValue);
}

void BulkUpload::cancel()
{
    if (!m_running || m_cancelled)
        return;
    m_cancelled = true;
    m_ftp.cancel();
}

void BulkUpload::start()
{
    if (m_running)
        return;
    m_running = true;
    m_cancelled = false;
    m_reconciliation.Reconcile(m_ftp, [this](const RecordingReconciliation::Findings& found) {
        m_upload.UploadPending(m_ftp, [this, found](const RecordingUpload::Pending& pending) {
            m_running = false;
            const int left = pending.waiting - pending.sent;
            const bool stopped = !pending.stopped.isEmpty() && left > 0;
            if (stopped) {
                // The rows stay waiting: the next login sends them.
                emit status(
                    QStringLiteral("녹음파일 전송 중단"),
                    QStringLiteral("녹음파일 %1건을 서버로 보내지 못했습니다. 다음 "
                                   "로그인 때 다시 보냅니다.\n사유: %2")
                        .arg(left)
                        .arg(m_cancelled ? QStringLiteral("상담원이 취소했습니다.")
                                         : ErrorLog::masked(pending.stopped)),
                    QStringLiteral("전송 %1 / 대기 %2건").arg(pending.sent).arg(pending.waiting));
            }
            // Always from the event loop, also when there was nothing to do.
            QMetaObject::invokeMethod(
                this, [this, confirm = stopped || found.any()] { emit finished(confirm); },
                Qt::QueuedConnection);
        });
    });
}

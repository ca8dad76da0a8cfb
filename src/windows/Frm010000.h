#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/FtpCientOCX.h"

class RecordingReconciliation;
class RecordingUpload;

// "Form1": checks the recent recordings against their rows and the server,
// sends the ones left from earlier runs, then closes itself; when the check
// found something, it stays with its summary until the agent confirms.
class Frm010000 : public QDialog
{
    Q_OBJECT
public:
    Frm010000(RecordingUpload& upload, RecordingReconciliation& reconciliation,
              QWidget* parent = nullptr);

    QProgressBar* ProgFTP;
    QLabel* lblNow;
    QLabel* lblInformation;
    QLabel* lblTotal;
    QPushButton* Command1;
    FtpCientOCX FtpCientOCX1;

protected:
    void showEvent(QShowEvent* event) override;

private:
    RecordingUpload& m_upload;
    RecordingReconciliation& m_reconciliation;
    bool m_started = false;
};

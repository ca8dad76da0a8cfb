#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

#include "platform/FtpCientOCX.h"

class RecordingUpload;

// "Form1": sends the recordings left from earlier runs, then closes itself.
class Frm010000 : public QDialog
{
    Q_OBJECT
public:
    explicit Frm010000(RecordingUpload& upload, QWidget* parent = nullptr);

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
    bool m_started = false;
};

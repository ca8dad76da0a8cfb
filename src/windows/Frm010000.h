#pragma once

#include <QDialog>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

class BulkUpload;

// "Form1": checks the recent recordings against their rows and the server,
// sends the ones left from earlier runs, then closes itself; when the check
// found something or recordings were left waiting, it stays with its
// summary until the agent confirms. "취소" (or Esc, or the close box) ends
// the run at once and shows what is left waiting.
class Frm010000 : public QDialog
{
    Q_OBJECT
public:
    explicit Frm010000(BulkUpload& upload, QWidget* parent = nullptr);

    QProgressBar* ProgFTP;
    QLabel* lblNow;
    QLabel* lblInformation;
    QLabel* lblTotal;
    QPushButton* Command1;
    QPushButton* cmdCancel;

public slots:
    void reject() override;

protected:
    void showEvent(QShowEvent* event) override;

private:
    BulkUpload& m_upload;
    bool m_started = false;
};

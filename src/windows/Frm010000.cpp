#include "windows/Frm010000.h"

#include <QHBoxLayout>
#include <QTimer>
#include <QVBoxLayout>

#include "telephony/BulkUpload.h"

Frm010000::Frm010000(BulkUpload& upload, QWidget* parent) : QDialog(parent), m_upload(upload)
{
    setObjectName(QStringLiteral("Frm010000"));
    setWindowTitle(QStringLiteral("Form1"));
    setMinimumWidth(460);

    lblInformation =
        new QLabel(QStringLiteral("전송되지 않은 녹음파일을 서버로 보내고 있습니다."), this);
    lblInformation->setObjectName(QStringLiteral("lblInformation"));
    lblNow = new QLabel(this);
    lblNow->setObjectName(QStringLiteral("lblNow"));
    lblTotal = new QLabel(this);
    lblTotal->setObjectName(QStringLiteral("lblTotal"));
    // A summary of several lines must be read whole, not cut at the edge.
    for (QLabel* label : {lblInformation, lblNow, lblTotal}) {
        label->setWordWrap(true);
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
    }
    ProgFTP = new QProgressBar(this);
    ProgFTP->setObjectName(QStringLiteral("ProgFTP"));
    ProgFTP->setRange(0, 1);
    ProgFTP->setValue(0);
    Command1 = new QPushButton(QStringLiteral("확인"), this);
    Command1->setObjectName(QStringLiteral("Command1"));
    Command1->setEnabled(false);
    cmdCancel = new QPushButton(QStringLiteral("취소"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lblInformation);
    layout->addWidget(ProgFTP);
    layout->addWidget(lblNow);
    layout->addWidget(lblTotal);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(cmdCancel);
    buttons->addWidget(Command1);
    layout->addLayout(buttons);
    setTabOrder(cmdCancel, Command1);

    connect(&m_upload, &BulkUpload::progressMaximum, ProgFTP,
            [this](int maximum) { ProgFTP->setRange(0, maximum); });
    connect(&m_upload, &BulkUpload::progressValue, ProgFTP, &QProgressBar::setValue);
    connect(&m_upload, &BulkUpload::status, this,
            [this](const QString& now, const QString& information, const QString& total) {
                lblNow->setText(now);
                lblInformation->setText(information);
                lblTotal->setText(total);
                // Taller, never wider: the summary wraps into as many lines
                // as it takes.
                this->layout()->activate();
                const int needed = this->layout()->totalHeightForWidth(width());
                if (needed > height())
                    resize(width(), needed);
            });
    connect(&m_upload, &BulkUpload::finished, this, [this](bool confirm) {
        cmdCancel->setEnabled(false);
        if (!confirm) {
            accept();
            return;
        }
        // What the login found stays on screen until the agent has read it.
        Command1->setEnabled(true);
        Command1->setFocus();
    });
    connect(Command1, &QPushButton::clicked, this, &QDialog::accept);
    connect(cmdCancel, &QPushButton::clicked, this, &Frm010000::reject);
}

void Frm010000::reject()
{
    // While the run goes on, closing means ending it: the window stays to
    // say what is left waiting.
    if (m_upload.isRunning()) {
        cmdCancel->setEnabled(false);
        m_upload.cancel();
        return;
    }
    QDialog::reject();
}

void Frm010000::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    if (m_started)
        return;
    m_started = true;
    // Once the window is on screen: the check then runs with it painted.
    QTimer::singleShot(0, this, [this] { m_upload.start(); });
}

#include "windows/Frm130000.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include "line/DorvanePlus.h"

Frm130000::Frm130000(DorvanePlus& device, QWidget* parent) : QDialog(parent), m_device(device)
{
    setObjectName(QStringLiteral("Frm130000"));
    setWindowTitle(QStringLiteral("인바운드"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setMinimumSize(300, 140);

    auto* face = new QLabel(QStringLiteral("전화가 왔습니다"), this);
    face->setAlignment(Qt::AlignCenter);
    face->setStyleSheet(
        QStringLiteral("QLabel { font-size: 15pt; font-weight: bold; color: #1d3c5a; }"));
    cmdStartCall = new QPushButton(QStringLiteral("전화받기"), this);
    cmdStartCall->setObjectName(QStringLiteral("cmdStartCall"));
    cmdStartCall->setDefault(true);
    cmdClose = new QPushButton(QStringLiteral("닫기"), this);
    cmdClose->setObjectName(QStringLiteral("cmdClose"));

    auto* buttons = new QHBoxLayout;
    buttons->addWidget(cmdStartCall);
    buttons->addWidget(cmdClose);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(face, 1);
    layout->addLayout(buttons);

    connect(cmdStartCall, &QPushButton::clicked, this, [this] {
        m_device.TakeLine();
        accept();
    });
    connect(cmdClose, &QPushButton::clicked, this, &QDialog::reject);
}

#include "windows/Frm120000.h"

#include <QGridLayout>
#include <QLabel>
#include <QSignalBlocker>
#include <QVBoxLayout>

Frm120000::Frm120000(const CallResult::Parts& parts, CallPtr call, QWidget* parent)
    : QDialog(parent), m_logic(parts, std::move(call))
{
    setObjectName(QStringLiteral("Frm120000"));
    setWindowTitle(QStringLiteral("통화결과입력"));
    resize(460, 320);

    XPFrame301 = new QGroupBox(this);
    XPFrame301->setObjectName(QStringLiteral("XPFrame301"));
    cmbCallStatus = new QComboBox(XPFrame301);
    cmbCallStatus->setObjectName(QStringLiteral("cmbCallStatus"));
    txtRecMemo = new QPlainTextEdit(XPFrame301);
    txtRecMemo->setObjectName(QStringLiteral("txtRecMemo"));
    txtRecMemo->setTabChangesFocus(true);
    DTPReservation = new QDateEdit(XPFrame301);
    DTPReservation->setObjectName(QStringLiteral("DTPReservation"));
    DTPReservation->setCalendarPopup(true);
    DTPReservation->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    cmdRcResultSave = new QPushButton(QStringLiteral("저장"), this);
    cmdRcResultSave->setObjectName(QStringLiteral("cmdRcResultSave"));
    cmdRcResultSave->setDefault(true);

    auto* grid = new QGridLayout(XPFrame301);
    const auto label = [this](const QString& text) {
        auto* l = new QLabel(text, XPFrame301);
        l->setObjectName(QStringLiteral("label001"));
        return l;
    };
    grid->addWidget(label(QStringLiteral("통화결과")), 0, 0);
    grid->addWidget(cmbCallStatus, 0, 1);
    grid->addWidget(label(QStringLiteral("예약일자")), 1, 0);
    grid->addWidget(DTPReservation, 1, 1);
    grid->addWidget(label(QStringLiteral("통화메모")), 2, 0, Qt::AlignTop);
    grid->addWidget(txtRecMemo, 2, 1);
    grid->setColumnStretch(1, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(XPFrame301, 1);
    layout->addWidget(cmdRcResultSave, 0, Qt::AlignRight);
    setTabOrder(cmbCallStatus, DTPReservation);
    setTabOrder(DTPReservation, txtRecMemo);
    setTabOrder(txtRecMemo, cmdRcResultSave);

    connect(&m_logic, &CallResult::selectedIndexChanged, cmbCallStatus,
            &QComboBox::setCurrentIndex);
    connect(&m_logic, &CallResult::cmbCallStatusEnabledChanged, cmbCallStatus,
            &QWidget::setEnabled);
    connect(&m_logic, &CallResult::DTPReservationEnabledChanged, DTPReservation,
            &QWidget::setEnabled);
    connect(cmdRcResultSave, &QPushButton::clicked, this, &Frm120000::cmdRcResultSave_Click);

    m_logic.load();
    {
        const QSignalBlocker blocker(cmbCallStatus);
        for (const ComboItem& item : m_logic.cmbCallStatus())
            cmbCallStatus->addItem(item.text, item.itemData);
        cmbCallStatus->setCurrentIndex(m_logic.selectedIndex());
    }
    cmbCallStatus->setEnabled(m_logic.cmbCallStatusEnabled());
    DTPReservation->setEnabled(m_logic.DTPReservationEnabled());
    DTPReservation->setDate(QDate::fromString(m_logic.DTPReservation(), Qt::ISODate));
    connect(cmbCallStatus, &QComboBox::currentIndexChanged, &m_logic,
            &CallResult::cmbCallStatus_Click);
}

void Frm120000::cmdRcResultSave_Click()
{
    if (m_logic.cmdRcResultSave_Click(txtRecMemo->toPlainText(),
                                      DTPReservation->date().toString(Qt::ISODate)))
        accept();
}

#include "windows/Frm110000.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QVBoxLayout>

Frm110000::Frm110000(Database& db, CallPtr call, CallController& calls, CustomerSearch& search,
                     DorvanePlus& device, MessageSink& messages, QWidget* parent)
    : QDialog(parent), m_logic(db, std::move(call), calls, search, device, messages)
{
    setObjectName(QStringLiteral("Frm110000"));
    setWindowTitle(QStringLiteral("고객선택"));
    resize(720, 360);

    lblCIDData = new QLabel(m_logic.lblCIDData(), this);
    lblCIDData->setObjectName(QStringLiteral("lblCIDData"));
    lblCIDData->setStyleSheet(
        QStringLiteral("QLabel { color: #1d3c5a; font-weight: bold; font-size: 14pt; }"));
    cmdStartCall = new QPushButton(QStringLiteral("신규고객등록"), this);
    cmdStartCall->setObjectName(QStringLiteral("cmdStartCall"));
    cmdStartCall->setAutoDefault(false);

    XPFrame302 = new QGroupBox(QStringLiteral("리스트"), this);
    XPFrame302->setObjectName(QStringLiteral("XPFrame302"));
    sprCustSearch = new fpSpread(&m_logic.sprCustSearch(), XPFrame302);
    sprCustSearch->setObjectName(QStringLiteral("sprCustSearch"));
    const double widths[] = {8, 12, 8, 8, 9, 10, 12};
    for (int col = 1; col <= 7; ++col)
        m_logic.sprCustSearch().setColumnWidth(col, widths[col - 1]);
    sprCustSearch->horizontalHeader()->setStretchLastSection(true);
    auto* frameLayout = new QVBoxLayout(XPFrame302);
    frameLayout->addWidget(sprCustSearch);

    txtCustID = new QLineEdit(this);
    txtCustID->setObjectName(QStringLiteral("txtCustID"));
    txtCampaignID = new QLineEdit(this);
    txtCampaignID->setObjectName(QStringLiteral("txtCampaignID"));
    txtLocalPhoneno = new QLineEdit(this);
    txtLocalPhoneno->setObjectName(QStringLiteral("txtLocalPhoneno"));
    for (QLineEdit* unused : {txtCustID, txtCampaignID, txtLocalPhoneno})
        unused->hide();

    tmrGetCID = new QTimer(this);
    tmrGetCID->setObjectName(QStringLiteral("tmrGetCID"));
    tmrGetCID->setInterval(1000);

    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("발신번호"), this));
    top->addWidget(lblCIDData, 1);
    top->addWidget(cmdStartCall);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(XPFrame302, 1);
    setTabOrder(sprCustSearch, cmdStartCall);

    connect(&m_logic, &CallerIdLookup::lblCIDDataChanged, lblCIDData, &QLabel::setText);
    connect(&m_logic, &CallerIdLookup::tmrGetCIDChanged, tmrGetCID,
            [this](bool enabled) { enabled ? tmrGetCID->start() : tmrGetCID->stop(); });
    connect(&m_logic, &CallerIdLookup::unload, this, &QDialog::reject);
    connect(tmrGetCID, &QTimer::timeout, &m_logic, &CallerIdLookup::tmrGetCID_Timer);
    connect(sprCustSearch, &fpSpread::Click, &m_logic, &CallerIdLookup::sprCustSearch_Click);
    connect(cmdStartCall, &QPushButton::clicked, &m_logic, &CallerIdLookup::cmdStartCall_Click);
    // No new customer before the list says whether the caller is one.
    connect(&m_logic, &CallerIdLookup::lookingUpChanged, cmdStartCall, [this](bool looking) {
        cmdStartCall->setEnabled(!looking);
        setCursor(looking ? Qt::BusyCursor : Qt::ArrowCursor);
    });

    m_logic.load();
}

#include "windows/CustomerArea.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QVBoxLayout>

#include "platform/SpreadModel.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"

namespace {

QDateEdit* datePicker(const QString& name, QWidget* parent)
{
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

} // namespace

CustomerArea::CustomerArea(CustomerPanel& panel, DeskControls& desk, SpreadModel* custList, QWidget* parent)
    : QWidget(parent), m_panel(panel), m_desk(desk)
{
    // Search bar
    auto* search = new QGroupBox(QStringLiteral("고객검색"), this);
    cmbTerm = new QComboBox(search);
    cmbTerm->setObjectName(QStringLiteral("cmbTerm"));
    DTPCustDate1 = datePicker(QStringLiteral("DTPCustDate1"), search);
    DTPCustDate2 = datePicker(QStringLiteral("DTPCustDate2"), search);
    cmbCustSearch = new QComboBox(search);
    cmbCustSearch->setObjectName(QStringLiteral("cmbCustSearch"));
    txtCustSearch = new QLineEdit(search);
    txtCustSearch->setObjectName(QStringLiteral("txtCustSearch"));
    cmbCampaign = new QComboBox(search);
    cmbCampaign->setObjectName(QStringLiteral("cmbCampaign"));
    cmdCustSearch = new QPushButton(QStringLiteral("검색"), search);
    cmdCustSearch->setObjectName(QStringLiteral("cmdCustSearch"));
    cmdCustSearch->setDefault(false);
    connect(txtCustSearch, &QLineEdit::returnPressed, cmdCustSearch, &QPushButton::click);

    auto* searchGrid = new QGridLayout(search);
    searchGrid->addWidget(new QLabel(QStringLiteral("통화결과"), search), 0, 0);
    searchGrid->addWidget(cmbTerm, 0, 1);
    searchGrid->addWidget(new QLabel(QStringLiteral("캠페인"), search), 0, 2);
    searchGrid->addWidget(cmbCampaign, 0, 3);
    searchGrid->addWidget(new QLabel(QStringLiteral("날짜"), search), 1, 0);
    auto* dates = new QHBoxLayout;
    dates->addWidget(DTPCustDate1);
    dates->addWidget(new QLabel(QStringLiteral("~"), search));
    dates->addWidget(DTPCustDate2);
    searchGrid->addLayout(dates, 1, 1, 1, 3);
    searchGrid->addWidget(new QLabel(QStringLiteral("검색조건"), search), 2, 0);
    searchGrid->addWidget(cmbCustSearch, 2, 1);
    searchGrid->addWidget(txtCustSearch, 2, 2);
    searchGrid->addWidget(cmdCustSearch, 2, 3);

    SprCustList = new fpSpread(custList, this);
    SprCustList->setObjectName(QStringLiteral("SprCustList"));
    SprCustList->setMinimumWidth(260);

    TxtTCount = new QLineEdit(this);
    TxtTCount->setObjectName(QStringLiteral("TxtTCount"));
    TxtTCount->setReadOnly(true);
    TxtTCount->setMaximumWidth(70);
    lblNew = new QLabel(this);
    lblNew->setObjectName(QStringLiteral("lblNew"));
    lblReservation = new QLabel(this);
    lblReservation->setObjectName(QStringLiteral("lblReservation"));
    auto* counters = new QHBoxLayout;
    counters->addWidget(new QLabel(QStringLiteral("갯수"), this));
    counters->addWidget(TxtTCount);
    counters->addStretch();
    counters->addWidget(new QLabel(QStringLiteral("잔여신규DB :"), this));
    counters->addWidget(lblNew);
    counters->addSpacing(12);
    counters->addWidget(new QLabel(QStringLiteral("금일예약DB :"), this));
    counters->addWidget(lblReservation);

    auto* left = new QVBoxLayout;
    left->addWidget(search);
    left->addWidget(SprCustList, 1);
    left->addLayout(counters);

    // Current customer
    fraCustInfo = new QGroupBox(QStringLiteral("고객정보"), this);
    fraCustInfo->setObjectName(QStringLiteral("fraCustInfo"));
    for (const QString& name : CustomerPanel::boxNames()) {
        auto* edit = new QLineEdit(fraCustInfo);
        edit->setObjectName(name);
        boxes.insert(name, edit);
        connect(edit, &QLineEdit::textEdited, this, [this, name](const QString& text) { m_panel.setValue(name, text); });
    }
    lblTelNO = new QLabel(fraCustInfo);
    lblTelNO->setObjectName(QStringLiteral("lblTelNO"));
    lblTelNO->setMinimumWidth(120);
    lblTelNO->setStyleSheet(QStringLiteral("QLabel { color: #1d3c5a; font-weight: bold; }"));
    // Keys the agent never types: shown, not edited.
    for (const char* key : {"txtCustID", "txtDataType", "txtCampaignID"}) {
        boxes.value(QLatin1String(key))->setMaximumWidth(90);
        boxes.value(QLatin1String(key))->setFocusPolicy(Qt::NoFocus);
    }

    cmdStartPhoneNO1 = button(fraCustInfo, DeskControls::cmdStartPhoneNO1, QStringLiteral("cmdStartPhoneNO1"), QStringLiteral("전화걸기"));
    cmdStartPhoneNO2 = button(fraCustInfo, DeskControls::cmdStartPhoneNO2, QStringLiteral("cmdStartPhoneNO2"), QStringLiteral("전화걸기"));

    auto* form = new QGridLayout(fraCustInfo);
    int row = 0;
    const auto addRow = [&](const QString& label, QList<QWidget*> widgets) {
        form->addWidget(new QLabel(label, fraCustInfo), row, 0);
        auto* line = new QHBoxLayout;
        for (QWidget* w : widgets)
            line->addWidget(w, w->maximumWidth() < 200 ? 0 : 1);
        form->addLayout(line, row, 1);
        ++row;
    };
    addRow(QStringLiteral("고객번호"), {box("txtCustID"), new QLabel(QStringLiteral("캠페인"), fraCustInfo), box("txtCampaignID"),
                                   new QLabel(QStringLiteral("유형"), fraCustInfo), box("txtDataType")});
    addRow(QStringLiteral("고객명"), {box("txtCustName")});
    addRow(QStringLiteral("주민번호"), {box("txtCustSocialID")});
    addRow(QStringLiteral("전화번호1"), {box("txtPhoneNo1"), cmdStartPhoneNO1});
    addRow(QStringLiteral("전화번호2"), {box("txtPhoneNo2"), cmdStartPhoneNO2});
    box("txtCustOfficeZip")->setMaximumWidth(80);
    box("txtCustHomeZip")->setMaximumWidth(80);
    addRow(QStringLiteral("회사주소"), {box("txtCustOfficeZip"), box("txtCustOfficeAddress1")});
    addRow(QString(), {box("txtCustOfficeAddress2")});
    addRow(QStringLiteral("자택주소"), {box("txtCustHomeZip"), box("txtCustHomeAddress1")});
    addRow(QString(), {box("txtCustHomeAddress2")});
    for (int i = 1; i <= 6; ++i)
        addRow(QStringLiteral("기타 #%1").arg(i), {box(QStringLiteral("txtCustBlank%1").arg(i))});

    cmdStopCall = button(this, DeskControls::cmdStopCall, QStringLiteral("cmdStopCall"), QStringLiteral("통화종료"));
    cmdRegisterCust = button(this, DeskControls::cmdRegisterCust, QStringLiteral("cmdRegisterCust"), QStringLiteral("신규등록"));
    cmdModifyCust = button(this, DeskControls::cmdModifyCust, QStringLiteral("cmdModifyCust"), QStringLiteral("고객수정"));
    auto* callBar = new QHBoxLayout;
    callBar->addWidget(new QLabel(QStringLiteral("통화번호"), this));
    callBar->addWidget(lblTelNO, 1);
    callBar->addWidget(cmdStopCall);
    auto* editBar = new QHBoxLayout;
    editBar->addStretch();
    editBar->addWidget(cmdRegisterCust);
    editBar->addWidget(cmdModifyCust);

    auto* right = new QVBoxLayout;
    right->addLayout(callBar);
    right->addWidget(fraCustInfo, 1);
    right->addLayout(editBar);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addLayout(left, 5);
    outer->addLayout(right, 4);

    // Tab order: search bar, list, then the customer boxes top to bottom.
    QWidget* previous = cmbTerm;
    for (QWidget* w : QList<QWidget*>{cmbCampaign, DTPCustDate1, DTPCustDate2, cmbCustSearch, txtCustSearch, cmdCustSearch,
                                      SprCustList, box("txtCustName"), box("txtCustSocialID"), box("txtPhoneNo1"),
                                      cmdStartPhoneNO1, box("txtPhoneNo2"), cmdStartPhoneNO2, box("txtCustOfficeZip"),
                                      box("txtCustOfficeAddress1"), box("txtCustOfficeAddress2"), box("txtCustHomeZip"),
                                      box("txtCustHomeAddress1"), box("txtCustHomeAddress2"), box("txtCustBlank1"),
                                      box("txtCustBlank2"), box("txtCustBlank3"), box("txtCustBlank4"), box("txtCustBlank5"),
                                      box("txtCustBlank6"), cmdStopCall, cmdRegisterCust, cmdModifyCust}) {
        setTabOrder(previous, w);
        previous = w;
    }

    connect(&m_panel, &CustomerPanel::valueChanged, this, [this](const QString& name, const QString& text) {
        if (name == QStringLiteral("lblTelNO"))
            lblTelNO->setText(text);
        else if (QLineEdit* edit = box(name); edit && edit->text() != text)
            edit->setText(text);
    });
    connect(&m_panel, &CustomerPanel::editableChanged, this, &CustomerArea::applyEditable);
    connect(&m_desk, &DeskControls::controlChanged, this, [this](DeskControls::Control control, bool enabled) {
        if (control == DeskControls::fraCustInfo)
            fraCustInfo->setEnabled(enabled);
    });
    fraCustInfo->setEnabled(m_desk.isEnabled(DeskControls::fraCustInfo));
    applyEditable(m_panel.isEditable());
}

QPushButton* CustomerArea::button(QWidget* parent, DeskControls::Control control, const QString& name,
                                  const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setEnabled(m_desk.isEnabled(control));
    connect(&m_desk, &DeskControls::controlChanged, b, [b, control](DeskControls::Control changed, bool enabled) {
        if (changed == control)
            b->setEnabled(enabled);
    });
    return b;
}

void CustomerArea::applyEditable(bool editable)
{
    const QString style = editable ? QStringLiteral("QLineEdit { background: rgb(255, 255, 192); }")
                                   : QStringLiteral("QLineEdit { background: rgb(255, 255, 255); }");
    for (QLineEdit* edit : std::as_const(boxes)) {
        edit->setReadOnly(!editable);
        edit->setStyleSheet(style);
    }
}

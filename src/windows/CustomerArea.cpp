#include "windows/CustomerArea.h"

#include <QFormLayout>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "customers/CustomerSide.h"
#include "platform/SpreadModel.h"
#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"

namespace {

void fillCombo(QComboBox* combo, const QList<ComboItem>& items)
{
    const QSignalBlocker blocker(combo);
    combo->clear();
    for (const ComboItem& item : items)
        combo->addItem(item.text, item.itemData);
}

QDateEdit* datePicker(const QString& name, QWidget* parent)
{
    auto* picker = new QDateEdit(parent);
    picker->setObjectName(name);
    picker->setCalendarPopup(true);
    picker->setDisplayFormat(QStringLiteral("yyyy-MM-dd"));
    return picker;
}

} // namespace

CustomerArea::CustomerArea(CustomerPanel& panel, DeskControls& desk, SpreadModel* custList,
                           QWidget* parent)
    : QWidget(parent), m_panel(panel), m_desk(desk)
{
    // Search bar
    // The search bar and the list: the frame that keeps the agent from
    // opening another customer during a call or an edit.
    fraCustInfo = new QGroupBox(QStringLiteral("고객검색"), this);
    fraCustInfo->setObjectName(QStringLiteral("fraCustInfo"));
    QGroupBox* search = fraCustInfo;
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

    auto* searchGrid = new QGridLayout;
    searchGrid->addWidget(new QLabel(QStringLiteral("통화결과"), search), 0, 0);
    searchGrid->addWidget(cmbTerm, 0, 1);
    searchGrid->addWidget(new QLabel(QStringLiteral("캠페인"), search), 0, 2);
    searchGrid->addWidget(cmbCampaign, 0, 3);
    searchGrid->addWidget(new QLabel(QStringLiteral("날짜"), search), 1, 0);
    auto* dates = new QHBoxLayout;
    dates->addWidget(DTPCustDate1);
    dates->addWidget(new QLabel(QStringLiteral("~"), search));
    dates->addWidget(DTPCustDate2);
    dates->addStretch();
    searchGrid->addLayout(dates, 1, 1, 1, 3);
    searchGrid->setColumnStretch(1, 1);
    searchGrid->setColumnStretch(2, 2);
    for (QComboBox* combo : {cmbTerm, cmbCampaign, cmbCustSearch})
        combo->setMinimumWidth(110);
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

    auto* left = new QVBoxLayout(fraCustInfo);
    left->addLayout(searchGrid);
    left->addWidget(SprCustList, 1);
    left->addLayout(counters);

    // Current customer
    auto* details = new QGroupBox(QStringLiteral("고객정보"), this);
    for (int f = 0; f < CustomerPanel::kBoxes; ++f) {
        const auto field = CustomerPanel::Field(f);
        auto* edit = new QLineEdit(details);
        edit->setObjectName(CustomerPanel::name(field));
        if (const int length = CustomerPanel::maxLength(field))
            edit->setMaxLength(length);
        boxes[f] = edit;
        connect(edit, &QLineEdit::textEdited, this,
                [this, field](const QString& text) { m_panel.type(field, text); });
    }
    lblTelNO = new QLabel(details);
    lblTelNO->setObjectName(QStringLiteral("lblTelNO"));
    lblTelNO->setMinimumWidth(120);
    lblTelNO->setStyleSheet(QStringLiteral("QLabel { color: #1d3c5a; font-weight: bold; }"));
    // Keys the agent never types: shown, not edited.
    for (const auto key :
         {CustomerPanel::txtCustID, CustomerPanel::txtDataType, CustomerPanel::txtCampaignID}) {
        box(key)->setMaximumWidth(90);
        box(key)->setFocusPolicy(Qt::NoFocus);
    }

    cmdStartPhoneNO1 = button(details, DeskControls::cmdStartPhoneNO1,
                              QStringLiteral("cmdStartPhoneNO1"), QStringLiteral("전화걸기"));
    cmdStartPhoneNO2 = button(details, DeskControls::cmdStartPhoneNO2,
                              QStringLiteral("cmdStartPhoneNO2"), QStringLiteral("전화걸기"));

    auto* form = new QGridLayout(details);
    form->setVerticalSpacing(4);
    int row = 0;
    const auto addRow = [&](const QString& label, QList<QWidget*> widgets) {
        form->addWidget(new QLabel(label, details), row, 0);
        auto* line = new QHBoxLayout;
        for (QWidget* w : widgets)
            line->addWidget(w, qobject_cast<QLabel*>(w) || w->maximumWidth() < 200 ? 0 : 1);
        form->addLayout(line, row, 1);
        ++row;
    };
    addRow(QStringLiteral("고객번호"),
           {box(CustomerPanel::txtCustID), new QLabel(QStringLiteral("캠페인"), details),
            box(CustomerPanel::txtCampaignID), new QLabel(QStringLiteral("유형"), details),
            box(CustomerPanel::txtDataType)});
    addRow(QStringLiteral("고객명"), {box(CustomerPanel::txtCustName)});
    addRow(QStringLiteral("주민번호"), {box(CustomerPanel::txtCustSocialID)});
    addRow(QStringLiteral("전화번호1"), {box(CustomerPanel::txtPhoneNo1), cmdStartPhoneNO1});
    addRow(QStringLiteral("전화번호2"), {box(CustomerPanel::txtPhoneNo2), cmdStartPhoneNO2});
    box(CustomerPanel::txtCustOfficeZip)->setMaximumWidth(80);
    box(CustomerPanel::txtCustHomeZip)->setMaximumWidth(80);
    addRow(QStringLiteral("회사주소"),
           {box(CustomerPanel::txtCustOfficeZip), box(CustomerPanel::txtCustOfficeAddress1)});
    addRow(QString(), {box(CustomerPanel::txtCustOfficeAddress2)});
    addRow(QStringLiteral("자택주소"),
           {box(CustomerPanel::txtCustHomeZip), box(CustomerPanel::txtCustHomeAddress1)});
    addRow(QString(), {box(CustomerPanel::txtCustHomeAddress2)});
    // Two a row, so the history lists below keep their room.
    for (int i = 1; i <= 6; i += 2)
        addRow(QStringLiteral("기타 #%1").arg(i),
               {box(CustomerPanel::Field(CustomerPanel::txtCustBlank1 + i - 1)),
                new QLabel(QStringLiteral("기타 #%1").arg(i + 1), details),
                box(CustomerPanel::Field(CustomerPanel::txtCustBlank1 + i))});

    cmdStopCall = button(this, DeskControls::cmdStopCall, QStringLiteral("cmdStopCall"),
                         QStringLiteral("통화종료"));
    cmdRegisterCust = button(this, DeskControls::cmdRegisterCust, QStringLiteral("cmdRegisterCust"),
                             QStringLiteral("신규등록"));
    cmdModifyCust = button(this, DeskControls::cmdModifyCust, QStringLiteral("cmdModifyCust"),
                           QStringLiteral("고객수정"));
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
    right->addWidget(details, 1);
    right->addLayout(editBar);

    auto* outer = new QHBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    outer->addWidget(fraCustInfo, 5);
    outer->addLayout(right, 4);

    // Tab order: search bar, list, then the customer boxes top to bottom.
    QWidget* previous = cmbTerm;
    for (QWidget* w : QList<QWidget*>{cmbCampaign,
                                      DTPCustDate1,
                                      DTPCustDate2,
                                      cmbCustSearch,
                                      txtCustSearch,
                                      cmdCustSearch,
                                      SprCustList,
                                      box(CustomerPanel::txtCustName),
                                      box(CustomerPanel::txtCustSocialID),
                                      box(CustomerPanel::txtPhoneNo1),
                                      cmdStartPhoneNO1,
                                      box(CustomerPanel::txtPhoneNo2),
                                      cmdStartPhoneNO2,
                                      box(CustomerPanel::txtCustOfficeZip),
                                      box(CustomerPanel::txtCustOfficeAddress1),
                                      box(CustomerPanel::txtCustOfficeAddress2),
                                      box(CustomerPanel::txtCustHomeZip),
                                      box(CustomerPanel::txtCustHomeAddress1),
                                      box(CustomerPanel::txtCustHomeAddress2),
                                      box(CustomerPanel::txtCustBlank1),
                                      box(CustomerPanel::txtCustBlank2),
                                      box(CustomerPanel::txtCustBlank3),
                                      box(CustomerPanel::txtCustBlank4),
                                      box(CustomerPanel::txtCustBlank5),
                                      box(CustomerPanel::txtCustBlank6),
                                      cmdStopCall,
                                      cmdRegisterCust,
                                      cmdModifyCust}) {
        setTabOrder(previous, w);
        previous = w;
    }

    connect(&m_panel, &CustomerPanel::valueChanged, this,
            [this](CustomerPanel::Field field, const QString& text) {
                if (field == CustomerPanel::lblTelNO)
                    lblTelNO->setText(text);
                else if (QLineEdit* edit = box(field); edit->text() != text)
                    edit->setText(text);
            });
    connect(&m_panel, &CustomerPanel::editableChanged, this, &CustomerArea::applyEditable);
    connect(&m_desk, &DeskControls::controlChanged, this,
            [this](DeskControls::Control control, bool enabled) {
                if (control == DeskControls::fraCustInfo)
                    fraCustInfo->setEnabled(enabled);
            });
    fraCustInfo->setEnabled(m_desk.isEnabled(DeskControls::fraCustInfo));
    applyEditable(m_panel.isEditable());
}

QPushButton* CustomerArea::button(QWidget* parent, DeskControls::Control control,
                                  const QString& name, const QString& caption)
{
    auto* b = new QPushButton(caption, parent);
    b->setObjectName(name);
    b->setEnabled(m_desk.isEnabled(control));
    connect(&m_desk, &DeskControls::controlChanged, b,
            [b, control](DeskControls::Control changed, bool enabled) {
                if (changed == control)
                    b->setEnabled(enabled);
            });
    return b;
}

void CustomerArea::applyEditable(bool editable)
{
    const QString style = editable
                              ? QStringLiteral("QLineEdit { background: rgb(255, 255, 192); }")
                              : QStringLiteral("QLineEdit { background: rgb(255, 255, 255); }");
    for (QLineEdit* edit : std::as_const(boxes)) {
        edit->setReadOnly(!editable);
        edit->setStyleSheet(style);
    }
}

void CustomerArea::attach(CustomerSide& side)
{
    m_side = &side;
    CustomerSearch& search = side.search;
    connect(cmdCustSearch, &QPushButton::clicked, this, &CustomerArea::cmdCustSearch_Click);
    connect(SprCustList, &fpSpread::Click, &search, &CustomerSearch::SprCustList_Click);
    connect(&search, &CustomerSearch::customerOpened, this, &CustomerArea::customerOpened);
    connect(&search, &CustomerSearch::TxtTCountChanged, TxtTCount, &QLineEdit::setText);
    connect(&search, &CustomerSearch::countersChanged, this,
            [this](const QString& news, const QString& reservations) {
                lblNew->setText(news);
                lblReservation->setText(reservations);
            });
    // Across the network a search answers later: the list shows it is on its way.
    connect(&search, &CustomerSearch::searchingChanged, this, [this](bool searching) {
        cmdCustSearch->setEnabled(!searching);
        SprCustList->setCursor(searching ? Qt::BusyCursor : Qt::ArrowCursor);
    });

    CustomerEditor& editor = side.editor;
    connect(cmdRegisterCust, &QPushButton::clicked, &editor,
            &CustomerEditor::cmdRegisterCust_Click);
    connect(cmdModifyCust, &QPushButton::clicked, &editor, &CustomerEditor::cmdModifyCust_Click);
    connect(&editor, &CustomerEditor::modifyingChanged, this,
            [this, &editor] { cmdModifyCust->setText(editor.cmdModifyCustCaption()); });

    // The call logic searches with whatever the bar holds, so the logic
    // always has the bar's current values.
    for (QComboBox* combo : {cmbTerm, cmbCustSearch, cmbCampaign})
        connect(combo, &QComboBox::currentIndexChanged, this, &CustomerArea::syncSearchBar);
    for (QDateEdit* picker : {DTPCustDate1, DTPCustDate2})
        connect(picker, &QDateEdit::dateChanged, this, &CustomerArea::syncSearchBar);
    connect(txtCustSearch, &QLineEdit::textChanged, this, &CustomerArea::syncSearchBar);
    syncSearchBar();
}

void CustomerArea::fillLookupCombos()
{
    fillCombo(cmbTerm, m_side->lookups.cmbTerm());
    fillCombo(cmbCampaign, m_side->lookups.cmbCampaign());
    cmbTerm->setCurrentIndex(cmbTerm->count() > 0 ? 0 : -1);
    cmbCampaign->setCurrentIndex(cmbCampaign->count() > 0 ? 0 : -1);
    syncSearchBar();
}

void CustomerArea::fillSearchCondition()
{
    const QSignalBlocker blocker(cmbCustSearch);
    cmbCustSearch->clear();
    cmbCustSearch->addItems(LookupLists::SetCmbSearchCondition());
    cmbCustSearch->setCurrentIndex(-1);
    syncSearchBar();
}

void CustomerArea::cmdCustSearch_Click()
{
    syncSearchBar();
    m_side->search.cmdCustSearch_Click();
}

void CustomerArea::syncSearchBar()
{
    const auto data = [](const QComboBox* combo, const QString& none) {
        return combo->currentIndex() < 0 ? none : QString::number(combo->currentData().toInt());
    };
    CustomerSearch::SearchBar bar;
    bar.status = data(cmbTerm, QString());
    bar.dateFrom = DTPCustDate1->date().toString(Qt::ISODate);
    bar.dateTo = DTPCustDate2->date().toString(Qt::ISODate);
    bar.field = cmbCustSearch->currentText();
    bar.text = txtCustSearch->text();
    // No campaign entry at all searches every campaign.
    bar.campaign = data(cmbCampaign, QStringLiteral("999"));
    m_side->search.setSearchBar(bar);
}

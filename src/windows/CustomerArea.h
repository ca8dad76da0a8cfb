#pragma once

#include <array>

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "telephony/CustomerPanel.h"
#include "telephony/DeskControls.h"
#include "windows/fpSpread.h"

class CustomerPanel;
class CustomerSide;
class SpreadModel;

// The customer side of the main window: the search bar with its list, the
// detail boxes of the current customer and the call buttons. The boxes
// mirror CustomerPanel and the buttons DeskControls, both ways.
class CustomerArea : public QWidget
{
    Q_OBJECT
public:
    CustomerArea(CustomerPanel& panel, DeskControls& desk, SpreadModel* custList,
                 QWidget* parent = nullptr);

    // Search bar and list
    QComboBox* cmbTerm;
    QDateEdit* DTPCustDate1;
    QDateEdit* DTPCustDate2;
    QComboBox* cmbCustSearch;
    QLineEdit* txtCustSearch;
    QComboBox* cmbCampaign;
    QPushButton* cmdCustSearch;
    fpSpread* SprCustList;
    QLineEdit* TxtTCount;
    QLabel* lblNew;
    QLabel* lblReservation;

    // Around the search bar and the list; off while a call or an edit is
    // under way, so the open customer cannot change under the agent.
    QGroupBox* fraCustInfo;

    // Current customer
    std::array<QLineEdit*, CustomerPanel::kBoxes> boxes; // by CustomerPanel::Field
    QLabel* lblTelNO;
    QPushButton* cmdStartPhoneNO1;
    QPushButton* cmdStartPhoneNO2;
    QPushButton* cmdStopCall;
    QPushButton* cmdRegisterCust;
    QPushButton* cmdModifyCust;

    QLineEdit* box(CustomerPanel::Field field) const { return boxes[field]; }

    // Binds the search bar, the list, the counters and the edit buttons to
    // the customer logic.
    void attach(CustomerSide& side);
    // Start-up: the status and campaign lists, then the search fields.
    void fillLookupCombos();
    void fillSearchCondition();
    void cmdCustSearch_Click();

signals:
    // A list row was opened into the detail boxes.
    void customerOpened(const QString& custId);

private:
    void syncSearchBar();

    QPushButton* button(QWidget* parent, DeskControls::Control control, const QString& name,
                        const QString& caption);
    void applyEditable(bool editable);

    CustomerPanel& m_panel;
    DeskControls& m_desk;
    CustomerSide* m_side = nullptr;
};

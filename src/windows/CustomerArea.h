#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QGroupBox>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

#include "telephony/DeskControls.h"
#include "windows/fpSpread.h"

class CustomerPanel;
class SpreadModel;

// The customer side of the main window: the search bar with its list, the
// detail boxes of the current customer and the call buttons. The boxes
// mirror CustomerPanel and the buttons DeskControls, both ways.
class CustomerArea : public QWidget
{
    Q_OBJECT
public:
    CustomerArea(CustomerPanel& panel, DeskControls& desk, SpreadModel* custList, QWidget* parent = nullptr);

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

    // Current customer
    QGroupBox* fraCustInfo;
    QHash<QString, QLineEdit*> boxes; // by control name, e.g. "txtCustName"
    QLabel* lblTelNO;
    QPushButton* cmdStartPhoneNO1;
    QPushButton* cmdStartPhoneNO2;
    QPushButton* cmdStopCall;
    QPushButton* cmdRegisterCust;
    QPushButton* cmdModifyCust;

    QLineEdit* box(const QString& name) const { return boxes.value(name); }

private:
    QPushButton* button(QWidget* parent, DeskControls::Control control, const QString& name, const QString& caption);
    void applyEditable(bool editable);

    CustomerPanel& m_panel;
    DeskControls& m_desk;
};

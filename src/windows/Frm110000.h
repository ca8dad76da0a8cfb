#pragma once

#include <QDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include "customers/CallerIdLookup.h"
#include "windows/fpSpread.h"

// "고객선택": the customers that carry the caller's number, and the agent's
// choice among them or of a new inbound customer.
class Frm110000 : public QDialog
{
    Q_OBJECT
public:
    Frm110000(Database& db, CallPtr call, CallController& calls, CustomerSearch& search,
              DorvanePlus& device, MessageSink& messages, QWidget* parent = nullptr);

    CallerIdLookup& logic() { return m_logic; }
    // The caller feed writes the number here; the label change looks it up.
    void setCallerNumber(const QString& number) { m_logic.setLblCIDData(number); }

    QLabel* lblCIDData;
    QGroupBox* XPFrame302;
    fpSpread* sprCustSearch;
    QPushButton* cmdStartCall;
    QTimer* tmrGetCID;
    // Part of the layout; nothing reads or writes them.
    QLineEdit* txtCustID;
    QLineEdit* txtCampaignID;
    QLineEdit* txtLocalPhoneno;

private:
    CallerIdLookup m_logic;
};

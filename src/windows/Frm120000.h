#pragma once

#include <QComboBox>
#include <QDateEdit>
#include <QDialog>
#include <QGroupBox>
#include <QPlainTextEdit>
#include <QPushButton>

#include "customers/CallResult.h"

// "통화결과입력": the result, memo and appointment date of the call it was
// opened for.
class Frm120000 : public QDialog
{
    Q_OBJECT
public:
    Frm120000(const CallResult::Parts& parts, CallPtr call, QWidget* parent = nullptr);

    CallResult& logic() { return m_logic; }

    QGroupBox* XPFrame301;
    QComboBox* cmbCallStatus;
    QPlainTextEdit* txtRecMemo;
    QDateEdit* DTPReservation;
    QPushButton* cmdRcResultSave;

private:
    void cmdRcResultSave_Click();

    CallResult m_logic;
};

#pragma once

#include <QObject>
#include <QString>

#include "platform/SpreadModel.h"
#include "telephony/Call.h"

class CallController;
class CustomerSearch;
class Database;
class DorvanePlus;
class MessageSink;
class Recordset;

// The caller-ID window's logic: every customer whose mobile or office
// number is the caller's, with the owning agent, and the agent's choice of
// an own customer ("B"), another agent's ("C") or an unknown caller ("A"),
// for the call the window was opened for.
class CallerIdLookup : public QObject
{
    Q_OBJECT
public:
    // The columns of sprCustSearch.
    enum Column : int
    {
        colName = 1,
        colJuminNo,
        colAgentID,
        colLocalPhone,
        colCustID,
        colCampaignID,
        colCID
    };

    CallerIdLookup(Database& db, CallPtr call, CallController& calls, CustomerSearch& search,
                   DorvanePlus& device, MessageSink& messages, QObject* parent = nullptr);

    const CallPtr& call() const { return m_call; }

    SpreadModel& sprCustSearch() { return m_grid; }
    QString lblCIDData() const { return m_label; }
    // A look-up is on its way (across the network it answers later).
    bool lookingUp() const { return m_looking > 0; }

    // The window's load step: the number if it is known, else the timer.
    void load();
    void SetSprCustSearch();
    // Every change of the label runs the look-up with the text as it is.
    void setLblCIDData(const QString& text);
    void tmrGetCID_Timer();
    void GetCustinfo(const QString& number);
    void sprCustSearch_Click(int col, int row);
    void cmdStartCall_Click();

    static QString custinfoStatement(const QString& number);

signals:
    void lblCIDDataChanged(const QString& text);
    void tmrGetCIDChanged(bool enabled);
    // A look-up went on its way, or the last one came back.
    void lookingUpChanged(bool looking);
    // The window closes itself.
    void unload();

private:
    void setTimer(bool enabled);
    // The call's number into the label, looked up.
    void showNumber();
    // The call's customer is chosen: the call keeps it, the desk shows it.
    void choose(const CustomerRecord& customer);
    void fill(const Recordset& rs, const QString& number);
    // The picked row's customer came back: as read, or only its kind when
    // the read failed.
    void picked(CustomerRecord customer, bool loaded, const QString& number);
    void setLooking(int change);

    Database& m_db;
    CallPtr m_call;
    CallController& m_calls;
    CustomerSearch& m_search;
    DorvanePlus& m_device;
    MessageSink& m_messages;
    SpreadModel m_grid{7};
    // "NO CIDDATA", or that no number can arrive, until a number is shown.
    QString m_label;
    bool m_numberShown = false;
    bool m_timer = false;
    int m_looking = 0; // look-ups the link has not answered yet
};

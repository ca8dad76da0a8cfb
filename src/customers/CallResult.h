#pragma once

#include <functional>
#include <QList>
#include <QObject>
#include <QString>

#include "foundation/HostUtils.h"
#include "telephony/Call.h"

class CustomerPanel;
class CustomerRegistration;
class Database;
class LookupLists;
class MessageSink;
class RecordingRecords;
class WorkCounters;

// The call-result window's logic for one call: the status list, the
// reception agents' fixed result, and the save that writes that call's
// recording rows, its customer, the counters and, for reception agents,
// hands the customer on.
class CallResult : public QObject
{
    Q_OBJECT
public:
    struct Parts
    {
        Database& db;
        const LookupLists& lookups;
        RecordingRecords& records;
        WorkCounters& counters;
        CustomerRegistration& registration;
        MessageSink& messages;
    };

    CallResult(const Parts& parts, CallPtr call, QObject* parent = nullptr);

    const Call& call() const { return *m_call; }

    // The server time by default; tests set a fixed "yyyy-mm-dd hh:mm:ss".
    void setClock(std::function<QString()> now) { m_now = std::move(now); }

    // The window's load step.
    void load();
    // Every status of cmbTerm but its first, in the same order.
    void FillCallStatusCombo();
    // A selection in cmbCallStatus (-1: none).
    void cmbCallStatus_Click(int index);
    // False when no status is selected: the window then stays open.
    bool cmdRcResultSave_Click(const QString& memo, const QString& reservationDate);

    // The customer handed on to the agent with the fewest customers handed
    // to them on tDate, that agent's count raised with it: one write of the
    // journal, the agent picked when it reaches the server.
    void AddToMYSQL5(const QString& tDate, const QString& code, const QString& custId,
                     const QString& today);
    static QString distributionStatement(const QString& tDate);
    // Before 09:00 the customer is handed on for today, from 09:00 for tomorrow.
    static QString distributionDate(const QString& now);

    const QList<ComboItem>& cmbCallStatus() const { return m_items; }
    int selectedIndex() const { return m_selected; }
    bool cmbCallStatusEnabled() const { return m_statusEnabled; }
    bool DTPReservationEnabled() const { return m_reservationEnabled; }
    QString DTPReservation() const { return m_reservationDate; }

signals:
    void selectedIndexChanged(int index);
    void cmbCallStatusEnabledChanged(bool enabled);
    void DTPReservationEnabledChanged(bool enabled);

private:
    bool isReception() const;
    void setReservationEnabled(bool enabled);

    Parts m_p;
    CallPtr m_call;
    std::function<QString()> m_now;
    QList<ComboItem> m_items;
    int m_selected = -1;
    bool m_statusEnabled = true;
    bool m_reservationEnabled = false;
    QString m_reservationDate;
};

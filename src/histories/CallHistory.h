#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "histories/HistoryGrid.h"
#include "platform/SpreadModel.h"

struct Session;
class CustomerSearch;
class Database;
class LookupLists;

// The page "고객통화자료": the team's customers that already have a call
// result, from gogakinfo, by registration date, status, agent and field.
class CallHistory : public QObject
{
    Q_OBJECT
public:
    // The columns of SprCallHist.
    enum Column : int
    {
        colName = 1,
        colJuminNo,
        colStatusText,
        colMobileNumber,
        colOfficeNumber,
        colOfficePost,
        colOfficeAddress1,
        colOfficeAddress2,
        colHomePost,
        colHomeAddress1,
        colHomeAddress2,
        colBlank1,
        colBlank2,
        colBlank3,
        colBlank4,
        colBlank5,
        colBlank6,
        colID
    };

    CallHistory(Session& session, Database& db, const LookupLists& lookups, CustomerSearch& search,
                QObject* parent = nullptr);

    SpreadModel& SprCallHist() { return m_grid; }

    static const QList<HistoryGrid::Column>& columns();
    void SetSprCallHist();

    void GetRecHist2(const QString& startDate, const QString& endDate, const QString& status,
                     const QString& agent, const QString& field, const QString& text,
                     const QString& teamId);

    void SprCallHist_Click(int col, int row);

private:
    Session& m_session;
    Database& m_db;
    const LookupLists& m_lookups;
    CustomerSearch& m_search;
    SpreadModel m_grid{18};
};

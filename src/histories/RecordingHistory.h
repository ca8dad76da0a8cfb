#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include "foundation/HostUtils.h"
#include "histories/HistoryGrid.h"
#include "platform/SpreadModel.h"

struct Session;
class CustomerSearch;
class Database;
class LocalRecordings;
class LookupLists;

// An entry of an agent filter list. itemData is the numeric value of the
// AgentID, as the filters have always carried it. Agent ids are not always
// numbers ("kim"), and such an id would turn into 0, so each entry also keeps
// the text the statements filter by: the id itself, or the decimal text of
// itemData for a numeric id (so an id of value 99 still means "all").
struct AgentComboItem
{
    QString text;
    int itemData = 0;
    QString filter;
};

// The page "통화듣기및이력": the team's recordings in the central recfile
// table, by search or by customer, with the memo of a row, the row's
// customer and the recording fetched back from the file server.
class RecordingHistory : public QObject
{
    Q_OBJECT
public:
    // The columns of SprRecHist.
    enum Column : int
    {
        colID = 1,
        colAgentID,
        colName,
        colJuminNo,
        colCampaignID,
        colRegDate,
        colR_Tel,
        colRecBound,
        colStatusText,
        colR_Date,
        colR_StartTime,
        colR_EndTime,
        colR_Time,
        colFolderName,
        colR_Path,
        colUploadStatus,
        colMemo,
        colCustID,
        colStatus
    };

    RecordingHistory(Session& session, Database& db, const LookupLists& lookups,
                     CustomerSearch& search, LocalRecordings& playback, QObject* parent = nullptr);

    SpreadModel& SprRecHist() { return m_grid; }

    static const QList<HistoryGrid::Column>& columns();
    void SetSprRecHist();

    void GetRecHist(const QString& startDate, const QString& endDate, const QString& status,
                    const QString& agent, const QString& field, const QString& text,
                    const QString& teamId);
    void GetRecHistByID(const QString& custId);

    // "전체" (99), then cmbTerm from its second item on.
    static QList<ComboItem> SetCmbHistStatus(const QList<ComboItem>& cmbTerm);
    // "전체" (99), then "AgentID | UserName" per active agent; nothing when
    // there is no agent or the query fails.
    QList<AgentComboItem> SetCmbRecAgent();
    // Index of the first entry whose filter equals the agent id, 0 when none does.
    static int findAgentIndex(const QList<AgentComboItem>& items, const QString& agentId);

    void SprRecHist_Click(int col, int row);
    void SprRecHist_DblClick(int col, int row);

signals:
    void memoShown(const QString& memo);

private:
    void fill(const QString& sql);

    Session& m_session;
    Database& m_db;
    const LookupLists& m_lookups;
    CustomerSearch& m_search;
    LocalRecordings& m_playback;
    SpreadModel m_grid{19};
};

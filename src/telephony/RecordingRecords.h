#pragma once

#include <QList>
#include <QString>

class Database;

// The row values of one recording, in the order the record routines take
// them; each mode reads only the values its statement needs.
struct RecRow
{
    QString BranchID, BranchName, TeamID, AgentID, Name, JuminNo, DataType, CampaignID, RegDate,
        R_Tel, RecBound, Status, R_Date, R_StartTime, R_Endtime, R_Time, FolderName, R_Path, CustID,
        memo, FileFullPath;
};

// The recfile rows of the local record file and of the central database.
// Modes: "startCall", "stopCall", "beforeFtpUpload", "afterFtpUpload",
// "customerKnown" (a new customer's key, come after the start) and, local
// only, "Inbound". The central writes go through the database's
// journal: each sets values or inserts a row under its unique R_Path, so one
// sent twice does no harm.
class RecordingRecords
{
public:
    explicit RecordingRecords(Database& db);

    bool AddToLocalDB(const QString& mode, const RecRow& row);
    // True when the central database has it now.
    bool AddToSQL(const QString& mode, const RecRow& row);
    // Both, the local row first; a failed local write does not stop the central one.
    void addToBoth(const QString& mode, const RecRow& row);
    // The central row's copies of the customer's two numbers, so the
    // recording history finds a call by the customer's phone 1 or 2.
    bool setCustomerNumbers(const QString& rPath, const QString& mobile, const QString& office);

    // The local rows of this agent's calls whose result was never saved (the
    // program killed or the power lost before it), oldest first; their files
    // wait for it. Only R_Path, FileFullPath, RecBound, R_Date, R_StartTime,
    // R_Time, R_Tel and CustID are read.
    QList<RecRow> unsaved(const QString& branchId, const QString& agentId);

    // The condition of a row whose call has no saved result yet.
    static const QString kResultMissing;

    static QString localStatement(const QString& mode, const RecRow& row);
    static QString centralStatement(const QString& mode, const RecRow& row);

private:
    Database& m_db;
};

#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include "histories/HistoryGrid.h"
#include "platform/SpreadModel.h"

struct Session;
class CustomerSearch;
class Database;
class FtpWorker;
class LookupLists;
class MessageSink;
class RecordingPlayer;

// The page "녹음파일": the recording folders of this computer, the recordings
// the local record file notes for one of them, and playback from the local
// disk or fetched back from the branch's FTP server.
class LocalRecordings : public QObject
{
    Q_OBJECT
public:
    // The columns of sprLocalHist (and of the not-transferred list).
    enum Column : int
    {
        colID = 1,
        colBranchID,
        colBranchName,
        colTeamID,
        colAgentID,
        colName,
        colJuminNo,
        colDataType,
        colCampaignID,
        colRegDate,
        colPolicyNo,
        colListen_ID,
        colListen_Result,
        colListen_Date,
        colR_Tel,
        colRecBound,
        colStatusText,
        colR_Date,
        colR_StartTime,
        colR_EndTime,
        colR_Time,
        colFolderName,
        colR_Path,
        colCustID,
        colFreeInsu,
        colUploadStatus,
        colMemo,
        colFileFullPath
    };

    LocalRecordings(Session& session, Database& db, const LookupLists& lookups,
                    CustomerSearch& search, FtpWorker& ftp, RecordingPlayer& player,
                    MessageSink& messages, QObject* parent = nullptr);

    SpreadModel& sprLocalHist() { return m_grid; }

    // The 28-column layout, shared with the not-transferred list.
    static const QList<HistoryGrid::Column>& localColumns();
    void SetSprLocalHist();

    // Program folder + "\RecData\".
    QString recordingRoot() const;
    // The entries of dirLocalFile: the folders from the file-system root
    // down to the recording root, then the root's sub-folders by name. Read
    // once; a folder made later shows after the next start.
    QStringList dirLocalFile() const;

    void dirLocalFile_Click(const QString& path);
    void GetLocalRecfile(const QString& folderName);
    void sprLocalHist_Click(int col, int row);
    void sprLocalHist_DblClick(int col, int row);

    // Fetches one recording into RECDATA\Temp\RemoteFile.vox on the FTP
    // control's thread, and plays it once it has arrived.
    //
    // Who listened to which recording is kept for the branch's auditors: each
    // playback and each fetch adds a row to the central TB_RECACCESS (agent,
    // branch, workstation address, server time, R_Path, what was done) before
    // the sound starts, kept and sent like the call records. A row that
    // cannot be written does not stop the playback; the error log has it.
    void PlayRemoteRecfile(const QString& folderName, const QString& fileName,
                           const QString& status);
    QString remoteFilePath() const;

private:
    // "played locally", "fetched" or "played fetched".
    void recordAccess(const QString& recording, const QString& what);

    Session& m_session;
    Database& m_db;
    const LookupLists& m_lookups;
    CustomerSearch& m_search;
    FtpWorker& m_ftp;
    RecordingPlayer& m_player;
    MessageSink& m_messages;
    SpreadModel m_grid{28};
};

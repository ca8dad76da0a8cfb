#include "histories/LocalRecordings.h"

#include <QDir>
#include <QFileInfo>

#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "foundation/CentralJournal.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/FtpLogin.h"
#include "foundation/Seams.h"
#include "foundation/Session.h"
#include "histories/RecordingPlayer.h"
#include "platform/FtpWorker.h"
#include "platform/HostInfo.h"
#include "platform/ProgramFolder.h"
#include "platform/SqlDialect.h"
#include "telephony/ResultCode.h"

#include <optional>

LocalRecordings::LocalRecordings(Session& session, Database& db, const LookupLists& lookups,
                                 CustomerSearch& search, FtpWorker& ftp, RecordingPlayer& player,
                                 MessageSink& messages, QObject* parent)
    : QObject(parent), m_session(session), m_db(db), m_lookups(lookups), m_search(search),
      m_ftp(ftp), m_player(player), m_messages(messages)
{
}

const QList<HistoryGrid::Column>& LocalRecordings::localColumns()
{
    static const QList<HistoryGrid::Column> columns = {
        {"", "ID", 8.0, false},
        {"", "BranchID", 0, false},
        {"", "BranchName", 0, false},
        {"", "TeamID", 0, false},
        {"", "AgentID", 0, false},
        {"고객성명", "Name", 7.0, true},
        {"주민번호", "JuminNo", 9.62, true},
        {"", "DataType", 0, false},
        {"", "CampaignID", 0, false},
        {"통화일자", "RegDate", 7.37, true},
        {"", "PolicyNo", 0, false},
        {"", "Listen_ID", 0, false},
        {"", "Listen_Result", 0, false},
        {"", "Listen_Date", 0, false},
        {"전화번호", "R_Tel", 9.12, true},
        {"유형", "RecBound", 4.37, true},
        {"통화결과", "Status", 0, true, true},
        {"통화일자", "R_Date", 7.25, true},
        {"시작시각", "R_StartTime", 6.75, true},
        {"종료시각", "R_EndTime", 7.25, true},
        {"통화시간", "R_Time", 0, true},
        {"폴더이름", "FolderName", 0, true},
        {"파일이름", "R_Path", 15.87, false},
        {"", "CustID", 0, false},
        {"", "FreeInsu", 0, false},
        {"전송", "UploadStatus", 4.12, true},
        {"통화메모", "tMemo", 25.5, true},
        {"", "FileFullPath", 0, false},
    };
    return columns;
}

void LocalRecordings::SetSprLocalHist()
{
    HistoryGrid::setUp(m_grid, localColumns());
}

QString LocalRecordings::recordingRoot() const
{
    return QDir::cleanPath(
        ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RecData\\")));
}

QStringList LocalRecordings::dirLocalFile() const
{
    const QString root = recordingRoot();
    QStringList entries;
    QDir up(root);
    do
        entries.prepend(up.absolutePath());
    while (up.cdUp());
    const QFileInfoList folders =
        QDir(root).entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
    for (const QFileInfo& folder : folders)
        entries << folder.absoluteFilePath();
    return entries;
}

void LocalRecordings::dirLocalFile_Click(const QString& path)
{
    GetLocalRecfile(HostUtils::GetFileName(path));
}

void LocalRecordings::GetLocalRecfile(const QString& folderName)
{
    const QString sql = QStringLiteral("select *") + QStringLiteral(" from recfile") +
                        QStringLiteral(" where FolderName = '") + SqlDialect::quoted(folderName) +
                        u'\'' + QStringLiteral(" order by ID desc");
    HistoryGrid::load(this, m_grid, m_db, Database::Slot::Local, sql, localColumns(),
                      m_lookups.cmbTerm(), QStringLiteral("GetLocalRecfile"));
}

void LocalRecordings::sprLocalHist_Click(int, int row)
{
    const QString custId = m_grid.text(colCustID, row);
    if (!custId.trimmed().isEmpty())
        m_search.GetCustinfoByID(custId);
}

void LocalRecordings::sprLocalHist_DblClick(int, int row)
{
    const QString path = m_grid.text(colFileFullPath, row);
    if (QFileInfo(path).isFile())
        recordAccess(m_grid.text(colR_Path, row), QStringLiteral("played locally"));
    if (!m_player.play(path))
        m_messages.showMessage(QStringLiteral("녹취파일일 없습니다"), QString(), MessageIcon::None);
}

QString LocalRecordings::remoteFilePath() const
{
    return ProgramFolder::path(m_session.programFolder,
                               QStringLiteral("\\RECDATA\\Temp\\RemoteFile.vox"));
}

void LocalRecordings::PlayRemoteRecfile(const QString& folderName, const QString& fileName,
                                        const QString& status)
{
    HostUtils::MakeDirPath(
        ProgramFolder::path(m_session.programFolder, QStringLiteral("\\RECDATA\\Temp\\")));
    const QString local = remoteFilePath();
    const FtpLogin server = FtpLogin::of(m_session);
    const bool temp = ResultCode(status).filedUnderTemp();
    // Connected: whether the file came; not connected: nothing to say.
    using Fetched = std::optional<bool>;
    m_ftp.run<Fetched>(
        this,
        [=](FtpCientOCX& ftp) -> Fetched {
            if (!server.connect(ftp))
                return std::nullopt;
            if (temp)
                ftp.FtpChangeDir(QStringLiteral("TEMP"));
            ftp.FtpChangeDir(folderName);
            return ftp.FtpDownload(fileName, local);
        },
        [this, local, fileName](const Fetched& fetched) {
            if (!fetched)
                return;
            if (*fetched) {
                recordAccess(fileName, QStringLiteral("fetched"));
                recordAccess(fileName, QStringLiteral("played fetched"));
                m_player.play(local, fileName);
            } else {
                m_messages.showMessage(QStringLiteral("녹취파일이 없습니다"), QString(),
                                       MessageIcon::None);
            }
        });
}

void LocalRecordings::recordAccess(const QString& recording, const QString& what)
{
    using SqlDialect::quoted;
    // The time is the server's as the desk knows it: a row kept through an
    // outage keeps the time of the access, not of its delivery.
    m_db.journal().write(
        QStringLiteral("INSERT INTO TB_RECACCESS (BranchID, AgentID, AgentIp, AccessTime, R_Path, "
                       "AccessKind) VALUES ('") +
            quoted(m_session.BranchID) + QStringLiteral("', '") + quoted(m_session.AgentID) +
            QStringLiteral("', '") + quoted(HostInfo::firstIPv4().address) +
            QStringLiteral("', '") + quoted(m_db.GetNowDate()) + QStringLiteral("', '") +
            quoted(recording) + QStringLiteral("', '") + what + QStringLiteral("')"),
        QStringLiteral("Frm100000"), QStringLiteral("RecordAccess"));
}

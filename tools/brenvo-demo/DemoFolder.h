#pragma once

#include <QString>

class Connection;

// Writes a complete program folder: the settings file, the directory and
// branch databases as SQLite files, and the local record file, filled with a
// branch, its agents, customers, campaigns and a day of calls.
struct DemoOptions
{
    int customers = 300;
    bool callHistory = true;
    QString ftpHost = QStringLiteral("127.0.0.1");
    int ftpPort = 2121;
    QString ftpUser = QStringLiteral("brenvo");
    QString ftpPassword = QStringLiteral("brenvo");
    // Recordings of yesterday that never reached the FTP server: voice files
    // with their local and central rows, for the bulk upload at login.
    int leftoverRecordings = 0;
    // The settings' [Branch] FtpTls and FtpCaFile; left out when empty.
    QString ftpTls{}, ftpCaFile{};
};

// A SQL Server (or the TDS stand-in) serving a demo folder's directory and
// branch databases in place of its SQLite files.
struct SqlServerAddress
{
    QString host = QStringLiteral("127.0.0.1");
    int port = 1433;
    QString user = QStringLiteral("brenvo");
    // Unlike the user name, so that a password shown anywhere is found.
    QString password = QStringLiteral("brenvo-db");
    QString directoryDb = QStringLiteral("BrenvoDirectory");
    // The database of branch 0001, the one agents log in to.
    QString branchDb = QStringLiteral("Brenvo0001");
    // The settings' Encrypt and CaFile; left out when empty.
    QString encrypt{}, caFile{};

    // The server an ADO connection string names ("Data Source", "Network
    // Address" host,port, "User ID", "Password"), its "Initial Catalog"
    // serving as both databases.
    static SqlServerAddress fromAdo(const QString& connectionString);
};

namespace DemoFolder {

// Database file names inside the program folder.
inline constexpr const char* kDirectoryDb = "directory.db";
inline constexpr const char* kBranchDb = "branch0001.db";
inline constexpr const char* kLocalDb = "Brenvo.mdb";

bool create(const QString& folder, const DemoOptions& options, QString* error);
// Points a written folder at a SQL Server: the settings file's database keys
// and the branch rows' BranchIP and DBName. The SQLite files keep the data,
// for a stand-in to serve them or a test to copy them to a server.
bool useSqlServer(const QString& folder, const SqlServerAddress& server, QString* error);
// Copies a written folder's directory and branch rows into the one SQL
// Server database `server` is open on, emptying its tables first; identity
// keys are copied as they are. A scratch database with the tables of
// mssql.sql then serves the folder (after useSqlServer) or a test run.
bool copyToSqlServer(const QString& folder, Connection& server, QString* error);
// Runs a schema script (statements separated by ';') on an SQLite file.
bool runScript(const QString& databaseFile, const QString& resource, QString* error);

} // namespace DemoFolder

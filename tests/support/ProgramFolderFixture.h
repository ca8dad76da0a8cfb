#pragma once

#include <QTemporaryDir>

#include "DemoFolder.h"
#include "foundation/Database.h"
#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "Recorders.h"

// A fresh demo program folder in a temporary directory, with the session,
// error log and database slots of one run wired to message recorders.
class ProgramFolderFixture
{
public:
    explicit ProgramFolderFixture(const DemoOptions& options = DemoOptions());

    bool isValid() const { return m_valid; }
    QString error() const { return m_error; }
    QString path(const QString& relative = QString()) const;

    // Fills the session as a successful login of this demo agent would.
    void loginAs(const QString& agentId);

    // Runs one statement on a demo database file ("branch0001.db", ...) and
    // returns the first column of every row, '|'-joined per row.
    QStringList rows(const QString& databaseFile, const QString& sql) const;
    bool exec(const QString& databaseFile, const QString& sql) const;
    // Leaves `keep` of 2,000 filler rows in a local record file's recfile,
    // so that a compaction has pages to free.
    bool fragment(const QString& localFile, int keep) const;

    QTemporaryDir dir;
    Session session;
    MessageRecorder messages;
    WindowRecorder windows;
    ErrorLog errors;
    Database db;

private:
    bool m_valid = false;
    QString m_error;
};

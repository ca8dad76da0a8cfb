#pragma once

#include <QCoreApplication>
#include <QProcess>

#include <csignal>

#include "DemoFolder.h"
#include "ProgramFolderFixture.h"

// brenvo-tds in a process of its own serving a fixture's files, the folder's
// settings pointed at it: a server a test can stop (SIGSTOP), as a hung
// server or a dropped network leaves it, and let go again.
struct StandInProcess
{
    bool start(const ProgramFolderFixture& f, QString* error)
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(QCoreApplication::applicationDirPath() + "/../tools/brenvo-tds/brenvo-tds",
                      {"--port", "0", "--database",
                       address.directoryDb + u'=' + f.path(DemoFolder::kDirectoryDb), "--database",
                       address.branchDb + u'=' + f.path(DemoFolder::kBranchDb), "--user",
                       address.user, "--password", address.password});
        if (!process.waitForReadyRead(10000)) {
            *error = QStringLiteral("brenvo-tds did not start");
            return false;
        }
        address.port = QString::fromUtf8(process.readLine()).trimmed().section(u':', -1).toInt();
        return address.port != 0 && DemoFolder::useSqlServer(f.path(), address, error);
    }
    void hang(bool hung) const { ::kill(pid_t(process.processId()), hung ? SIGSTOP : SIGCONT); }
    ~StandInProcess()
    {
        if (process.state() == QProcess::NotRunning)
            return;
        hang(false);
        process.kill();
        process.waitForFinished();
    }

    QProcess process;
    SqlServerAddress address;
};

#pragma once

#include <QHash>
#include <QTest>
#include <tuple>

#include "desk/Desk.h"
#include "FtpServer.h"
#include "platform/SqlDialect.h"
#include "ProgramFolderFixture.h"

// One agent's logged-in desk on a demo program folder: the program's own
// wiring, with the seams answered by recorders or by the test's opener.
struct DeskFixture
{
    explicit DeskFixture(const QString& agent = QStringLiteral("kim"),
                         WindowOpener* opener = nullptr)
        : desk({f.session, f.db, f.errors, f.messages, opener ? *opener : f.windows})
    {
        f.loginAs(agent);
        desk.media.setSilentOutput(true);
    }

    // Inserts a customer of branch 0001, team 01 (kim's, status "0",
    // campaign 77777 unless given) and returns its ID.
    QString addCustomer(QHash<QString, QString> fields) const
    {
        for (const QString kv :
             {"BranchID=0001", "TeamID=01", "AgentID=kim", "Status=0", "CampaignID=77777"})
            fields.insert(kv.section(u'=', 0, 0),
                          fields.value(kv.section(u'=', 0, 0), kv.section(u'=', 1)));
        QStringList values;
        for (const QString& v : fields)
            values << u'\'' + SqlDialect::quoted(v) + u'\'';
        f.exec(QStringLiteral("branch0001.db"),
               QStringLiteral("INSERT INTO gogakinfo (%1) VALUES (%2)")
                   .arg(fields.keys().join(u','), values.join(u',')));
        return central(QStringLiteral("SELECT max(ID) FROM gogakinfo")).value(0);
    }

    // The same from "Column=value|Column=value".
    QString addCustomer(const char* fields) const
    {
        QHash<QString, QString> hash;
        for (const QString& field : QString::fromUtf8(fields).split(u'|', Qt::SkipEmptyParts))
            hash.insert(field.section(u'=', 0, 0), field.section(u'=', 1));
        return addCustomer(hash);
    }

    // Points the session's FTP settings at a test's server.
    void useFtp(const FtpServer& ftp)
    {
        std::tie(f.session.FtpIP, f.session.FtpUser, f.session.FtpPwd, f.session.FtpPortNo) =
            std::tuple(ftp.host(), ftp.user(), ftp.password(), QString::number(ftp.port()));
    }

    QStringList local(const QString& sql) const { return f.rows("Brenvo.mdb", sql); }
    QStringList central(const QString& sql) const { return f.rows("branch0001.db", sql); }
    // Columns of one recording's row, local or central.
    QStringList localRow(const QString& columns, const QString& recording) const
    {
        return local("select " + columns + " from recfile where R_Path = '" + recording + "'");
    }
    QStringList centralRow(const QString& columns, const QString& recording) const
    {
        return central("select " + columns + " from recfile where R_Path = '" + recording + "'");
    }
    // Columns of one customer of the branch database.
    QStringList customer(const QString& columns, const QString& id) const
    {
        return central("SELECT " + columns + " FROM gogakinfo WHERE ID = " + id);
    }
    // Today by the server's clock.
    QString today() { return f.db.GetNowDate().left(10); }

    ProgramFolderFixture f;
    Desk desk;
    CustomerPanel& panel = desk.panel;
    DeskControls& controls = desk.controls;
};

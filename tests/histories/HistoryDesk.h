#pragma once

#include <QDate>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "customers/CustomerSearch.h"
#include "customers/LookupLists.h"
#include "histories/CallHistory.h"
#include "histories/LocalRecordings.h"
#include "histories/RecordingHistory.h"
#include "histories/RecordingPlayer.h"
#include "platform/FtpCientOCX.h"
#include "platform/OrvelMedia.h"
#include "ProgramFolderFixture.h"
#include "telephony/CustomerPanel.h"

// The history logic of one agent's desk on a demo program folder, with the
// call-status list and the grids set up as the main window's start-up does.
struct HistoryDesk
{
    explicit HistoryDesk(const QString& agent = QStringLiteral("kim"))
    {
        f.loginAs(agent);
        media.setSilentOutput(true);
        lookups.SetCmbTermCombo();
        recordings.SetSprRecHist();
        calls.SetSprCallHist();
        local.SetSprLocalHist();
    }

    QStringList central(const QString& sql) const { return f.rows("branch0001.db", sql); }
    int centralCount(const QString& where) const
    {
        return central("select count(*) from " + where).value(0).toInt();
    }
    static QString today() { return QDate::currentDate().toString(Qt::ISODate); }

    // The statements sent to the central database are journalled when
    // BRENVO_SQL_JOURNAL names a file.
    static bool journalled()
    {
        const QString path = qEnvironmentVariable("BRENVO_SQL_JOURNAL");
        return !path.isEmpty() && QDir().mkpath(QFileInfo(path).absolutePath());
    }
    static QString lastStatement()
    {
        QFile journal(qEnvironmentVariable("BRENVO_SQL_JOURNAL"));
        if (!journal.open(QIODevice::ReadOnly))
            return QString();
        const QByteArray last = journal.readAll().trimmed().split('\n').last();
        return QJsonDocument::fromJson(last).object().value("sql").toString();
    }

    ProgramFolderFixture f;
    CustomerPanel panel;
    SpreadModel custList{41};
    LookupLists lookups{f.db};
    CustomerSearch search{f.db, panel, custList};
    FtpCientOCX ftp;
    OrvelMedia media;
    RecordingPlayer player{media};
    LocalRecordings local{f.session, f.db, lookups, search, ftp, player, f.messages};
    RecordingHistory recordings{f.session, f.db, lookups, search, local};
    CallHistory calls{f.session, f.db, lookups, search};
};

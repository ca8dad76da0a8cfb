#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>

#include "DeskFixture.h"

// The desk's histories, with the call-status list and the grids set up as
// the main window's start-up does.
struct HistoryDesk : DeskFixture
{
    explicit HistoryDesk(const QString& agent = QStringLiteral("kim")) : DeskFixture(agent)
    {
        lookups.SetCmbTermCombo();
        recordings.SetSprRecHist();
        calls.SetSprCallHist();
        local.SetSprLocalHist();
    }

    int count(const QString& where) const
    {
        return central("select count(*) from " + where).value(0).toInt();
    }

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

    LookupLists& lookups = desk.customers.lookups;
    RecordingPlayer& player = desk.player;
    LocalRecordings& local = desk.localRecordings;
    RecordingHistory& recordings = desk.recordingHistory;
    CallHistory& calls = desk.callHistory;
};

#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

    // The statements sent to the central database are journalled when
    // BRENVO_SQL_JOURNAL names a file.
    static bool journalled()
    {
        const QString path = qEnvironmentVariable("BRENVO_SQL_JOURNAL");
        return !path.isEmpty() && QDir().mkpath(QFileInfo(path).absolutePath());
    }

    LookupLists& lookups = desk.customers.lookups;
    RecordingPlayer& player = desk.player;
    LocalRecordings& local = desk.localRecordings;
    RecordingHistory& recordings = desk.recordingHistory;
    CallHistory& calls = desk.callHistory;
};

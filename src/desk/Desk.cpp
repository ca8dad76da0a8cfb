#include "desk/Desk.h"

#include "foundation/ErrorLog.h"
#include "foundation/Session.h"
#include "platform/IniFile.h"
#include "platform/ProgramFolder.h"

Desk::Desk(const Seams& seams)
    : session(seams.session), db(seams.db), errors(seams.errors), messages(seams.messages),
      windows(seams.windows), status(db, messages), login(db, status, messages), records(db),
      recorder(session, media, records, errors), upload(session, db, records, media),
      reconciliation(session, db, errors), bulkUpload(reconciliation, upload), counters(db),
      customers(db, panel, controls, custList, messages),
      calls({session, db, device, socket, uploadFtp, recorder, records, upload, status, panel,
             controls, customers, windows, messages}),
      player(media),
      localRecordings(session, db, customers.lookups, customers.search, ftp, player, messages),
      recordingHistory(session, db, customers.lookups, customers.search, localRecordings),
      callHistory(session, db, customers.lookups, customers.search), rotation(db),
      trayMenu(device, status, rotation, messages)
{
    QObject::connect(&device, &DorvanePlus::LineAudio, &media, &OrvelMedia::writeLineAudio);
    // Quitting closes a connected call's recording first; nothing resumes to write after it.
    QObject::connect(&trayMenu, &TrayMenu::ending, &calls, &CallController::programEnding);
}

Desk::StartUp Desk::startUp()
{
    // The caller feed takes other workstations' numbers only when the
    // settings name them.
    const QStringList unreadable = socket.allowSenders(
        IniFile::value(QStringLiteral("Branch"), QStringLiteral("CallerFeedAllow"), QString(),
                       ProgramFolder::path(session.programFolder, QStringLiteral("\\Brenvo.ini")))
            .split(u',', Qt::SkipEmptyParts));
    if (!unreadable.isEmpty())
        errors.WriteErrorLog(QStringLiteral("CallerFeedAllow: not an address: ") +
                                 unreadable.join(QStringLiteral(", ")),
                             QStringLiteral("Frm100000"), QStringLiteral("Form_Load"), QString());
    device.useSettings(LineSettings::read(
        ProgramFolder::path(session.programFolder, QStringLiteral("\\Brenvo.ini"))));
    calls.openDevices();
    StartUp start;
    start.today = QDate::fromString(db.GetNowDate().left(10), Qt::ISODate);
    if (!start.today.isValid())
        start.today = QDate::currentDate();
    customers.search.SetSprCustList();
    recordingHistory.SetSprRecHist();
    callHistory.SetSprCallHist();
    localRecordings.SetSprLocalHist();
    customers.lists.SetSprCampaign();
    customers.lists.SetSprNotTransfer();
    customers.lookups.SetCmbTermCombo();
    customers.lookups.SetCmbCampaignCombo();
    start.agents = recordingHistory.SetCmbRecAgent();
    panel.SetCustInfoValuables(QStringLiteral("0"));
    if (session.isReception())
        controls.SetButtonState(DeskControls::ButtonMode::Agent_1);
    start.campaignPage = !session.isReception();
    // After the login's upload: the results an earlier run never saved.
    calls.offerUnsavedResults();
    return start;
}

CallResult::Parts Desk::resultParts()
{
    return {db, customers.lookups, records, counters, customers.registration, messages};
}

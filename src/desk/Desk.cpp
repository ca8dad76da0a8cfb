#include "desk/Desk.h"

Desk::Desk(const Seams& seams)
    : session(seams.session), db(seams.db), errors(seams.errors), messages(seams.messages),
      windows(seams.windows), status(db, messages), login(db, status, messages), records(db),
      recorder(session, panel, media, ftp, records, errors), upload(session, db, records, media),
      reconciliation(session, db, errors), counters(db),
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

#include <QDate>
#include <QFile>
#include <QFileInfo>

#include "CallDesk.h"

// The login's check of the recent recordings: a folder with one fault of
// each kind ends whole, a clean folder is left as it is.
class TestReconciliation : public QObject
{
    Q_OBJECT

    static QString serverFile(CallDesk& d, const Call& c)
    {
        return d.ftp.remoteFile((c.CallResultCode == "5" ? "TEMP/" : "") + c.RecFileName.left(8) +
                                "/" + c.RecFileName);
    }
    static QStringList bothTables(CallDesk& d)
    {
        return d.local("SELECT * FROM recfile ORDER BY R_Path") +
               d.central("SELECT * FROM recfile WHERE FolderName >= '20200101' ORDER BY R_Path");
    }

private slots:
    void faults_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("clean") << "";
        QTest::newRow("voice file without its rows") << "stray";
        QTest::newRow("local row without its central row") << "no central";
        QTest::newRow("server copy cut short") << "truncated";
        QTest::newRow("server copy gone") << "unsent";
        QTest::newRow("server keeps the copy sent again short") << "kept short";
        QTest::newRow("voice file gone") << "gone";
    }
    void faults()
    {
        QFETCH(QString, fault);
        CallDesk d;
        // Yesterday's calls, sent and marked, as an ordinary day leaves them.
        const QString day = QDate::currentDate().addDays(-1).toString(Qt::ISODate);
        QList<Call> calls(3);
        for (int i = 0; i < calls.size(); ++i) {
            Call& c = calls[i];
            d.desk.recorder.StartRecording(c, day + QStringLiteral(" 10:0%1:00").arg(i));
            d.desk.media.writeLineAudio(QByteArray(16000 * (i + 1), '\x20'));
            d.desk.recorder.StopRecording(c, day + QStringLiteral(" 10:0%1:0%2").arg(i).arg(i + 1));
            c.CallResultCode = i == 2 ? "5" : "3";
            RecRow result;
            result.Status = c.CallResultCode;
            result.R_Path = c.RecFileName;
            d.desk.records.addToBoth("beforeFtpUpload", result);
            d.desk.upload.UploadRecording(d.desk.uploadFtp, c);
            QVERIFY(QFile::exists(serverFile(d, c)));
        }
        const Call& hit = calls.first();
        const QString where = " WHERE R_Path = '" + hit.RecFileName + "'";
        if (fault == "stray") {
            QVERIFY(d.f.exec("Brenvo.mdb", "DELETE FROM recfile" + where));
            QVERIFY(d.f.exec("branch0001.db", "DELETE FROM recfile" + where));
        } else if (fault == "no central") {
            QVERIFY(d.f.exec("branch0001.db", "DELETE FROM recfile" + where));
        } else if (fault == "truncated") {
            QVERIFY(QFile::resize(serverFile(d, hit), 100));
        } else if (fault == "unsent" || fault == "kept short") {
            QVERIFY(QFile::remove(serverFile(d, hit)));
        } else if (fault == "gone") {
            QVERIFY(QFile::remove(hit.RecFilePath));
        }
        if (fault == "kept short") { // the others wait too, sent in the same run
            for (const char* db : {"Brenvo.mdb", "branch0001.db"})
                QVERIFY(d.f.exec(db, "UPDATE recfile SET UploadStatus = '0' WHERE R_Path <> '" +
                                         hit.RecFileName + "'"));
            QVERIFY(d.ftp.setFault("keep-short:1"));
        }
        const QStringList before = bothTables(d);

        const RecordingReconciliation::Findings found = d.desk.reconciliation.Reconcile(d.desk.ftp);
        d.desk.upload.UploadPending(d.desk.ftp);

        QCOMPARE(found.any(), !fault.isEmpty());
        QVERIFY2(d.f.messages.messages.isEmpty(), "reported in the window, not in boxes");
        QFile log(d.f.errors.logFilePath(QDate::currentDate()));
        const QString blocks =
            log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : "";
        QCOMPARE(int(blocks.count("ERROR FUNCTION    : CheckRecordings")), fault.isEmpty() ? 0 : 1);
        if (fault.isEmpty() || fault == "gone") {
            QCOMPARE(bothTables(d), before);
            return;
        }
        // Every recording is on the server whole, with one local and one
        // central row marked uploaded; a copy the server keeps short stays waiting.
        for (const Call& c : calls) {
            const bool whole = fault != "kept short" || &c != &hit;
            QCOMPARE(QFileInfo(serverFile(d, c)).size() == QFileInfo(c.RecFilePath).size(), whole);
            const QString mark =
                "SELECT UploadStatus FROM recfile WHERE R_Path = '" + c.RecFileName + "'";
            QCOMPARE(d.local(mark) + d.central(mark), QStringList(2, whole ? "1" : "0"));
        }
        if (fault == "stray")
            QCOMPARE(d.local("SELECT R_StartTime, R_Time, FolderName FROM recfile" + where),
                     QStringList{"100000|" +
                                 QString::number(RecordingReconciliation::secondsOf(
                                     QFileInfo(hit.RecFilePath).size())) +
                                 "|" + hit.RecFileName.left(8)});
    }
};

QTEST_GUILESS_MAIN(TestReconciliation)
#include "tst_reconciliation.moc"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include "foundation/ErrorLog.h"
#include "Recorders.h"

class TestErrorLog : public QObject
{
    Q_OBJECT

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

private slots:
    void blockIsExact()
    {
        const QDateTime evening(QDate(2007, 3, 14), QTime(21, 5));
        QCOMPARE(ErrorLog::block(evening, "Login failed", "Login", "CheckBranch", "select 1"),
                 QStringLiteral("\r\n\r\n======== ErrorLog Start ===========\r\n"
                                "DATE              : 2007/03/14 09:05 pm\r\n"
                                "ERROR LOCATION    : Login\r\n"
                                "ERROR FUNCTION    : CheckBranch\r\n"
                                "ERROR DESCRIPTION : Login failed\r\n"
                                "ERROR SQL CODE    : select 1\r\n"
                                "======== ErrorLog End ==========="));
        const QString midnight =
            ErrorLog::block(QDateTime(QDate(2007, 3, 14), QTime(0, 30)), "", "", "", "");
        QVERIFY(midnight.contains("DATE              : 2007/03/14 12:30 am\r\n"));
        QVERIFY(midnight.contains("ERROR SQL CODE    : \r\n"));
        QVERIFY(ErrorLog::block(QDateTime(QDate(2007, 3, 14), QTime(12, 0)), "", "", "", "")
                    .contains("12:00 pm"));
    }

    void appendsPerDayAndShowsEveryBlock()
    {
        QTemporaryDir dir;
        MessageRecorder messages;
        ErrorLog log(dir.path(), messages);
        QDateTime now(QDate(2026, 12, 6), QTime(23, 59));
        log.setClock([&now] { return now; });

        log.WriteErrorLog("first", "Frm100000", "GetAgentStatistics", "select a");
        log.WriteErrorLog("second", "Frm100000", "GetAgentStatistics", "select b");
        now = QDateTime(QDate(2026, 12, 7), QTime(0, 1));
        log.WriteErrorLog("after midnight", "Login", "LoginProcess", "");

        QCOMPARE(messages.errorBlocks(), 3);
        QCOMPARE(messages.busyDepth, 0);
        const auto block = [](const QString& text, const QString& sql) {
            return ErrorLog::block(QDateTime(QDate(2026, 12, 6), QTime(23, 59)), text, "Frm100000",
                                   "GetAgentStatistics", sql);
        };
        QCOMPARE(
            read(dir.filePath("ERRORLOG/Err20261206.log")),
            (block("first", "select a") + "\r\n" + block("second", "select b") + "\r\n").toUtf8());
        QVERIFY(read(dir.filePath("ERRORLOG/Err20261207.log")).contains("after midnight"));
    }

    void uncreatableFolderStillShowsTheBox()
    {
        QTemporaryDir dir;
        // A file where the folder should be: no permission trick needed, and
        // it holds for root too.
        QFile blocker(dir.filePath("ERRORLOG"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        MessageRecorder messages;
        ErrorLog log(dir.path(), messages);
        log.WriteErrorLog("disk trouble", "Login", "CheckBranch", "select 1");
        QCOMPARE(messages.errorBlocks(), 1);
        QCOMPARE(messages.busyDepth, 0);
        QCOMPARE(QFileInfo(dir.filePath("ERRORLOG")).isFile(), true);
    }

    void saveFile()
    {
        QTemporaryDir dir;
        MessageRecorder messages;
        ErrorLog log(dir.path(), messages);
        QVERIFY(log.SaveFile("note.txt", "one", false));
        QVERIFY(log.SaveFile("note.txt", "two", true));
        QCOMPARE(read(dir.filePath("note.txt")), QByteArray("one\r\ntwo\r\n"));
        QVERIFY(log.SaveFile("note.txt", "three", false));
        QCOMPARE(read(dir.filePath("note.txt")), QByteArray("three\r\n"));

        QString error;
        QVERIFY(!log.SaveFile(dir.filePath("missing/x.txt"), "x", true, &error));
        QVERIFY(error.startsWith("SaveFile: "));
        QVERIFY(error.endsWith(" -> " + dir.filePath("missing/x.txt")));
    }
};

QTEST_GUILESS_MAIN(TestErrorLog)
#include "tst_errorlog.moc"

#include <QTest>

#include "DeskFixture.h"

// Nothing the desk leaves behind serves another person: no password.
class TestPrivacy : public QObject
{
    Q_OBJECT

private slots:
    // The directory server down, or no branch database: the connection's box
    // and block and the check's block carry "****" where the connection
    // string and the login statement had the database's and agent's passwords.
    void passwordsNeverShown_data() { Backends::addRows(); }
    void passwordsNeverShown()
    {
        USE_BACKEND_ROW();
        const QString typed = "Typed'Secret9";
        for (const QString branch : {"0001", "0003"}) {
            ProgramFolderFixture f;
            if (branch == "0001")
                f.takeDirectoryDown();
            AgentStatus status{f.db, f.messages};
            LoginProcedure login{f.db, status, f.messages};
            QVERIFY(login.attempt(branch, "kim", typed) != LoginProcedure::Outcome::LoggedIn);
            const QStringList texts = f.messages.texts();
            QCOMPARE(texts.size(), 3);
            QVERIFY(texts.at(0).startsWith("데이터베이스 연결을 실패했습니다.\r\nProvider="));
            for (const QString& function : branch == "0001"
                                               ? QStringList{"BranchSQLDBConnect", "CheckBranch"}
                                               : QStringList{"SQLDBConnect", "LoginProcess"})
                QVERIFY(texts.filter("ERROR FUNCTION    : " + function + "\r\n").size() == 1);
            QFile log(f.errors.logFilePath(QDate::currentDate()));
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QString shown = texts.join(u'\n') + QString::fromUtf8(log.readAll());
            for (const QString& secret :
                 {SqlServerAddress().password, typed, SqlDialect::quoted(typed)})
                QVERIFY2(!shown.contains(secret), qPrintable(shown));
        }
    }
};

QTEST_GUILESS_MAIN(TestPrivacy)
#include "tst_privacy.moc"

#include <QFile>
#include <QTest>

#include "foundation/FtpLogin.h"
#include "login/AgentStatus.h"
#include "login/LoginProcedure.h"
#include "ProgramFolderFixture.h"
#include "TdsServer.h"
#include "TestCertificates.h"

using Outcome = LoginProcedure::Outcome;
using namespace Qt::StringLiterals;

namespace {

struct Login
{
    ProgramFolderFixture f;
    AgentStatus status{f.db, f.messages};
    LoginProcedure login{f.db, status, f.messages};

    QString agentRow(const QString& agent)
    {
        return f
            .rows("branch0001.db",
                  "select Login, Status, AgentIp from AgentLogin where AgentID = '" + agent + "'")
            .value(0);
    }
};

} // namespace

class TestLogin : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase_data() { Backends::addRows(); }
    void init() { USE_BACKEND(); }

    void success()
    {
        Login t;
        QCOMPARE(t.login.proposedBranch(), QStringLiteral("0001"));
        QCOMPARE(t.login.attempt("  0001 ", " kim ", " 1234 "), Outcome::LoggedIn);
        QVERIFY2(t.f.messages.messages.isEmpty(), qPrintable(t.f.messages.texts().join('\n')));
        const Session& s = t.f.session;
        QCOMPARE((QStringList{s.BranchID, s.AgentID, s.AgentPrivilege, s.UserName, s.TeamID,
                              s.BranchName, s.FtpPortNo, s.LandCode}),
                 (QStringList{"0001", "kim", "12", "김민수", "01", "강남지점", "2121", "02"}));
        QCOMPARE(s.BranchDBName,
                 t.f.rows("directory.db", "select DBName from TB_BRANCH where BranchID = '0001'")
                     .value(0));
        QCOMPARE(s.BranchDBUser, s.CfgDBUser);
        QVERIFY(QDateTime::fromString(s.LoginTime, "yyyy-MM-dd HH:mm:ss").isValid());
        QVERIFY(t.agentRow("kim").startsWith("1|0|"));
        QVERIFY(!t.f.db.SQLConnected() && !t.f.db.BranchSQLConnected());

        Login eleven;
        QCOMPARE(eleven.login.attempt("0001", "lee", "1234"), Outcome::LoggedIn);
        QCOMPARE(eleven.f.session.AgentPrivilege, QStringLiteral("11"));
    }

    void refusals_data()
    {
        QTest::addColumn<QString>("typed"); // branch|id|password
        QTest::addColumn<int>("outcome");
        QTest::addColumn<QString>("message");
        const QString noId = u"아이디를 입력해 주시기 바랍니다"_s,
                      noBranch = u"대리점정보가 정확하지 않습니다"_s,
                      noUser = u"사용자가 없거나 암호가 틀렸습니다"_s;
        const auto row = [](const char* name, const QString& typed, Outcome outcome,
                            const QString& message) {
            QTest::newRow(name) << typed << int(outcome) << message;
        };
        row("empty id", u"0001||1234"_s, Outcome::IdMissing, noId);
        row("blank id", u"0001|   |1234"_s, Outcome::IdMissing, noId);
        row("unknown branch", u"9999|kim|1234"_s, Outcome::BranchRefused, noBranch);
        row("closed branch", u"0002|kim|1234"_s, Outcome::BranchRefused, noBranch);
        row("empty branch", u"|kim|1234"_s, Outcome::BranchRefused, noBranch);
        row("quote in branch", u"0001' or '1'='1|kim|1234"_s, Outcome::BranchRefused, noBranch);
        row("wrong password", u"0001|kim|4321"_s, Outcome::AgentRefused, noUser);
        row("empty password", u"0001|kim|"_s, Outcome::AgentRefused, noUser);
        row("deleted agent", u"0001|jung|1234"_s, Outcome::AgentRefused, noUser);
        row("no privilege", u"0001|park|1234"_s, Outcome::AgentRefused,
            u"상담권한이 없는 사용자입니다"_s);
    }
    void refusals()
    {
        QFETCH(QString, typed);
        QFETCH(int, outcome);
        QFETCH(QString, message);
        const QString caption = outcome == int(Outcome::AgentRefused) ? u"로그인에러"_s : QString();

        Login t;
        const QStringList before =
            t.f.rows("branch0001.db", "select * from AgentLogin order by ID");
        const QStringList boxes = typed.split(u'|');
        QCOMPARE(int(t.login.attempt(boxes[0], boxes[1], boxes[2])), outcome);
        QCOMPARE(t.f.messages.texts(), QStringList{message});
        QCOMPARE(t.f.messages.messages.first().caption, caption);
        QCOMPARE(t.f.messages.messages.first().icon,
                 caption.isEmpty() ? MessageIcon::None : MessageIcon::Critical);
        QCOMPARE(t.f.rows("branch0001.db", "select * from AgentLogin order by ID"), before);
        QVERIFY(!t.f.db.SQLConnected() && !t.f.db.BranchSQLConnected());
    }

    // A Null in a branch column that is read directly refuses the branch.
    void nullInBranchRow()
    {
        Login t;
        QVERIFY(
            t.f.exec("directory.db", "update TB_BRANCH set FtpIP = NULL where BranchID = '0001'"));
        QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::BranchRefused);
        QCOMPARE(t.f.messages.errorBlocks(), 1);
        QVERIFY(t.f.messages.texts().first().contains("ERROR FUNCTION    : CheckBranch"));
    }

    // An edited settings file takes effect at the next attempt.
    void settingsFile()
    {
        Login t;
        QFile ini(t.f.path("Brenvo.ini"));
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray settings = ini.readAll();
        QVERIFY(t.f.write("Brenvo.ini", "[Branch]\nBranchID=0001\nftptls = Require\n"
                                        "FtpCaFile=tls/ca.pem\nftpstallseconds=7\n"));
        QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::BranchRefused);
        QCOMPARE(t.f.session.CfgDBIp, QString());
        QCOMPARE(t.f.session.CfgFtpTls + '|' + t.f.session.CfgFtpCaFile, "Require|tls/ca.pem");
        QCOMPARE(FtpLogin::of(t.f.session).stallSeconds, 7);
        QVERIFY(t.f.write("Brenvo.ini", "[Database]\nDBIp=sqlite:elsewhere.db\n"));
        QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::BranchRefused);
        QVERIFY(t.f.write("Brenvo.ini", QByteArray(settings)
                                            .replace("[Database]", "[database]")
                                            .replace("DBIp=", "dbip = ")
                                            .replace("\r\nDBUser", " \r\nDBUser")));
        t.f.messages.clear();
        QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::LoggedIn);
        QVERIFY(t.f.messages.messages.isEmpty());
    }

    // Encrypt and CaFile reach both connections: under require the login and
    // a later statement run; another authority's certificate is refused with
    // the reason logged (each refusal is the TDS suite's), and the next
    // attempt reads the settings again.
    void encryption_data()
    {
        QTest::addColumn<QString>("caFile");
        QTest::addColumn<QString>("refusal");
        QTest::newRow("require") << u"ca.pem"_s << QString();
        QTest::newRow("another authority") << u"other-ca.pem"_s << u"certificate is not signed"_s;
    }
    void encryption()
    {
        QFETCH(QString, caFile);
        QFETCH(QString, refusal);
        if (Backends::current() != Backend::StandIn)
            QSKIP("TLS is the stand-in's here");
        static const TestCertificates certificates;
        Login t;
        TdsServer& server = *t.f.standIn();
        TdsServer::Options options = server.options();
        options.encryption = TdsServer::Encryption::Offered;
        options.certificateFile = certificates.path("server.pem");
        options.keyFile = certificates.path("server.key");
        QString error;
        const auto settings = [&](const QString& file) {
            QFile::copy(certificates.path(file), t.f.path(file));
            return DemoFolder::useSqlServer(
                t.f.path(), {.port = server.port(), .encrypt = "require", .caFile = file}, &error);
        };
        QVERIFY2(server.start(options, server.port(), &error) && settings(caFile),
                 qPrintable(error));
        if (!refusal.isEmpty()) {
            QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::BranchRefused);
            const QStringList texts = t.f.messages.texts();
            QCOMPARE(texts.value(0), "데이터베이스 연결을 실패했습니다.\r\n" +
                                         ErrorLog::masked(t.f.db.branchConnectionString()));
            QVERIFY2(texts.value(1).contains(refusal), qPrintable(texts.value(1)));
            QVERIFY2(settings("ca.pem"), qPrintable(error));
        }
        QCOMPARE(t.login.attempt("0001", "kim", "1234"), Outcome::LoggedIn);
        QCOMPARE(t.f.db.GetNowDate().size(), 19);
    }

    // Today's rows of the agent: (AgentID, RecDate or '' for today, Status, RecBound, RecCnt,
    // RecDuration); another day or another agent does not count.
    void statisticsLine_data()
    {
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("line");
        QTest::newRow("none") << QStringList() << "금일: 0 (인: 0 , 아웃: 0)  통화시간: 00:00:00";
        QTest::newRow("in and out")
            << QStringList{"'kim', '', '1', 2, 2, 300", "'kim', '', '4', 2, 1, 0",
                           "'kim', '', '3', 1, 2, 454"}
            << "금일: 5 (인: 3 , 아웃: 2)  통화시간: 00:12:34";
        QTest::newRow("other day and agent")
            << QStringList{"'kim', '', '1', 1, 4, 70", "'kim', '2001-01-01', '1', 2, 9, 9",
                           "'choi', '', '1', 2, 9, 9"}
            << "금일: 4 (인: 0 , 아웃: 4)  통화시간: 00:01:10";
        // RecBound stored as text with blanks still counts as outbound.
        QTest::newRow("bound as text") << QStringList{"'kim', '', '1', ' 1 ', 3, 30"}
                                       << "금일: 3 (인: 0 , 아웃: 3)  통화시간: 00:00:30";
        QTest::newRow("Null duration") << QStringList{"'kim', '', '1', 1, 3, NULL"} << "";
    }
    void statisticsLine()
    {
        QFETCH(QStringList, rows);
        QFETCH(QString, line);
        Login a;
        a.f.loginAs("kim");
        QVERIFY(a.f.exec("branch0001.db", "delete from TB_AGENTCALLSTATISTICS"));
        const QString today = a.f.db.GetNowDate().left(10);
        for (const QString& row : rows)
            QVERIFY(a.f.exec("branch0001.db",
                             "insert into TB_AGENTCALLSTATISTICS (AgentID, RecDate, Status, "
                             "RecBound, RecCnt, RecDuration, BranchID, TeamID) values (" +
                                 QString(row).replace("''", "'" + today + "'") +
                                 ", '0001', '01')"));
        const auto ask = [&a](auto get) {
            QString answer = "<none>";
            QObject context;
            (a.status.*get)(&context, [&answer](const QString& text) { answer = text; });
            a.f.answered();
            return answer;
        };
        QCOMPARE(ask(&AgentStatus::GetAgentStatistics), line);
        if (line.isEmpty()) {
            QCOMPARE(a.f.messages.errorBlocks(), 1);
            QVERIFY(a.f.messages.texts().first().contains(
                "ERROR LOCATION    : Frm100000\r\nERROR FUNCTION    : GetAgentStatistics"));
            return;
        }
        QVERIFY(a.f.messages.messages.isEmpty());
        QCOMPARE(ask(&AgentStatus::windowTitle), "Brenvo-김민수-(kim)-" + line);
    }

    void loginFlags()
    {
        Login a;
        a.f.loginAs("kim");
        // Logging out is checked where the tray ends the session.
        QVERIFY(a.status.SetLoginANDStatus("1", "1"));
        QCOMPARE(a.agentRow("kim").left(4) + ' ' + a.agentRow("choi").left(2), "1|1| 0|");

        if (a.f.backend() == Backend::SqlServer)
            return; // the server's tables are not ours to drop
        QVERIFY(a.f.exec("branch0001.db", "drop table AgentLogin"));
        // Refused, not kept: told at once, or when the link hears it.
        a.status.SetLoginANDStatus("1", "0");
        QTRY_VERIFY(a.f.messages.texts().join('\n').contains(
            "ERROR LOCATION    : MUserFuncNProc\r\nERROR FUNCTION    : SetLoginANDStatus"));
        QCOMPARE(a.f.db.journal().waiting(), 0);
    }
};

QTEST_GUILESS_MAIN(TestLogin)
#include "tst_login.moc"

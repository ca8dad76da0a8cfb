#include "DemoFolder.h"

#include <cmath>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QHash>
#include <QRandomGenerator>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTextStream>

#include "platform/Connection.h"
#include "platform/SqlDialect.h"
#include "platform/VoxFile.h"

namespace {

const char* const kSurnames[] = {"김", "이", "박", "최", "정", "강", "조", "윤", "장", "임",
                                 "한", "오", "서", "신", "권", "황", "안", "송", "류", "홍"};
const char* const kGivenNames[] = {"민준", "서연", "도윤", "하은", "지호", "수아", "예준",
                                   "지우", "시우", "하윤", "주원", "서윤", "지훈", "민서",
                                   "준서", "채원", "건우", "지민", "현우", "다은"};
const char* const kStreets[] = {"서울특별시 강남구 테헤란로", "서울특별시 서초구 서초대로",
                                "서울특별시 마포구 월드컵로", "경기도 성남시 분당구 판교역로",
                                "인천광역시 연수구 컨벤시아대로"};

struct Agent
{
    const char* id;
    const char* name;
    const char* privilege;
    const char* extension;
    const char* deleted;
};
// kim and choi receive distributed customers (12); lee hands them on (11);
// park may not take calls; jung has left (deleted row).
const Agent kAgents[] = {{"kim", "김민수", "12", "201", "N"},
                         {"lee", "이서연", "11", "202", "N"},
                         {"choi", "최지훈", "12", "203", "N"},
                         {"park", "박준영", "13", "204", "N"},
                         {"jung", "정하은", "12", "205", "Y"}};
const char* const kWorkingAgents[] = {"kim", "lee", "choi"};

struct Status
{
    const char* code;
    const char* korean;
    const char* english;
};
const Status kStatuses[] = {{"0", "신규", "New"},           {"1", "부재중", "No answer"},
                            {"2", "통화거절", "Refused"},   {"3", "재통화요청", "Call again"},
                            {"4", "상담완료", "Consulted"}, {"5", "예약", "Appointment"},
                            {"6", "결번", "Wrong number"},  {"7", "청약완료", "Contracted"}};

const char* const kBranchName = "강남지점";

class Sqlite
{
public:
    Sqlite(const QString& file) : m_name(QStringLiteral("demo-") + file)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_name);
        db.setDatabaseName(file);
        m_ok = db.open();
        if (!m_ok)
            m_error = db.lastError().text();
    }
    ~Sqlite()
    {
        {
            QSqlDatabase db = QSqlDatabase::database(m_name, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(m_name);
    }
    QSqlDatabase db() const { return QSqlDatabase::database(m_name, false); }
    bool ok() const { return m_ok; }
    QString error() const { return m_error; }

private:
    QString m_name;
    bool m_ok = false;
    QString m_error;
};

bool exec(QSqlQuery& query, QString* error)
{
    if (query.exec())
        return true;
    if (error)
        *error = query.lastError().text() + QStringLiteral(": ") + query.lastQuery();
    return false;
}

// A value as a T-SQL literal.
QString literal(const QVariant& value)
{
    if (value.isNull())
        return QStringLiteral("NULL");
    if (value.typeId() == QMetaType::LongLong || value.typeId() == QMetaType::Double)
        return value.toString();
    return u'\'' + SqlDialect::quoted(value.toString()) + u'\'';
}

QString phone(QRandomGenerator& random, const char* prefix, int digits)
{
    QString number = QString::fromLatin1(prefix);
    for (int i = 0; i < digits; ++i)
        number += QChar(u'0' + random.bounded(10));
    return number;
}

QByteArray branchSection(const DemoOptions& options)
{
    QByteArray text = "[Branch]\r\nBranchID=0001\r\n";
    if (!options.ftpTls.isEmpty())
        text += "FtpTls=" + options.ftpTls.toUtf8() + "\r\n";
    if (!options.ftpCaFile.isEmpty())
        text += "FtpCaFile=" + options.ftpCaFile.toUtf8() + "\r\n";
    return text + "\r\n";
}

// The branch section, then the database: the embedded default unless a
// server is given.
bool writeSettings(const QString& folder, const QByteArray& branch, const SqlServerAddress& server,
                   QString* error)
{
    QFile file(QDir(folder).filePath(QStringLiteral("Brenvo.ini")));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        *error = file.errorString();
        return false;
    }
    QTextStream out(&file);
    out << branch << "[Database]\r\n"
        << "DBIp=" << server.host << "\r\n"
        << "DBUser=" << server.user << "\r\nDBPass=" << server.password << "\r\n"
        << "DBName=" << server.directoryDb << "\r\nDBPort=" << server.port << "\r\n";
    if (!server.encrypt.isEmpty())
        out << "Encrypt=" << server.encrypt << "\r\n";
    if (!server.caFile.isEmpty())
        out << "CaFile=" << server.caFile << "\r\n";
    return true;
}

bool fillDirectory(const QString& file, const DemoOptions& options, QString* error)
{
    Sqlite sqlite(file);
    QSqlQuery q(sqlite.db());
    q.prepare(QStringLiteral(
        "INSERT INTO TB_BRANCH (BranchID, BranchName, BranchIP, DBName, FtpIP, FtpUser, FtpPwd, "
        "FtpPortNo, LandCode, LineAreaCd, LineLongCd, FlashTime, TDel) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, '02', '9', '8', '300', ?)"));
    // 0001 is the demo branch; 0002 was closed; 0003 names a database that
    // does not exist, as a mistyped directory row would.
    const struct
    {
        const char* id;
        const char* name;
        QString address;
        const char* deleted;
    } branches[] = {
        {"0001", kBranchName, QStringLiteral("sqlite:") + QLatin1String(DemoFolder::kBranchDb),
         "N"},
        {"0002", "폐쇄지점", QStringLiteral("sqlite:") + QLatin1String(DemoFolder::kBranchDb), "Y"},
        {"0003", "분당지점", QStringLiteral("sqlite:branch0003.db"), "N"}};
    for (const auto& b : branches) {
        q.addBindValue(QString::fromLatin1(b.id));
        q.addBindValue(QString::fromUtf8(b.name));
        q.addBindValue(b.address);
        q.addBindValue(QStringLiteral("Brenvo") + QString::fromLatin1(b.id));
        q.addBindValue(options.ftpHost);
        q.addBindValue(options.ftpUser);
        q.addBindValue(options.ftpPassword);
        q.addBindValue(QString::number(options.ftpPort));
        q.addBindValue(QString::fromLatin1(b.deleted));
        if (!exec(q, error))
            return false;
    }
    return true;
}

bool fillBranch(const QString& file, const DemoOptions& options, QString* error)
{
    Sqlite sqlite(file);
    QSqlDatabase db = sqlite.db();
    db.transaction();
    QSqlQuery q(db);

    q.prepare(QStringLiteral(
        "INSERT INTO AgentLogin (BranchID, TeamID, AgentID, Agent_Passwd, UserName, "
        "Agent_Privilege, Agent_Local_PhoneNO, JuminNo, BeginDate, EndDate, Email, DorvaneModel, "
        "RecDataPeriod, tDel) VALUES ('0001', '01', ?, '1234', ?, ?, ?, '', '2026-01-01', "
        "'9999-12-31', ?, 'DP-100', '90', ?)"));
    for (const Agent& a : kAgents) {
        q.addBindValue(QString::fromLatin1(a.id));
        q.addBindValue(QString::fromUtf8(a.name));
        q.addBindValue(QString::fromLatin1(a.privilege));
        q.addBindValue(QString::fromLatin1(a.extension));
        q.addBindValue(QString::fromLatin1(a.id) + QStringLiteral("@brenvo.local"));
        q.addBindValue(QString::fromLatin1(a.deleted));
        if (!exec(q, error))
            return false;
    }

    q.prepare(QStringLiteral(
        "INSERT INTO tb_callstatus (STATUS, kDESCRIPTION, eDESCRIPTION) VALUES (?, ?, ?)"));
    for (const Status& s : kStatuses) {
        q.addBindValue(QString::fromLatin1(s.code));
        q.addBindValue(QString::fromUtf8(s.korean));
        q.addBindValue(QString::fromLatin1(s.english));
        if (!exec(q, error))
            return false;
    }

    q.prepare(QStringLiteral(
        "INSERT INTO tb_campaign (CampaignID, CampaignName, tDel) VALUES (?, ?, ?)"));
    const struct
    {
        const char* id;
        const char* name;
        const char* deleted;
    } campaigns[] = {{"10001", "자동차보험 갱신", "N"}, {"10002", "실손보험 안내", "N"},
                     {"10003", "연금보험 추천", "N"},   {"10004", "종료된 캠페인", "Y"},
                     {"99998", "아웃바운드 등록", "N"}, {"99999", "인바운드 등록", "N"}};
    for (const auto& c : campaigns) {
        q.addBindValue(QString::fromLatin1(c.id));
        q.addBindValue(QString::fromUtf8(c.name));
        q.addBindValue(QString::fromLatin1(c.deleted));
        if (!exec(q, error))
            return false;
    }

    // A fixed seed: every demo folder and every test folder holds the same
    // customers.
    QRandomGenerator random(20070314);
    const QDate today = QDate::currentDate();
    const QString todayText = today.toString(Qt::ISODate);
    QSqlQuery customer(db);
    customer.prepare(QStringLiteral(
        "INSERT INTO gogakinfo (BranchID, BranchName, TeamID, AgentID, AgentID_1, Name, JuminNo, "
        "DataType, CampaignID, "
        "RegDate, Status, MobileNumber, OfficeNumber, HomeNumber, OfficePost, OfficeAddress1, "
        "OfficeAddress2, HomePost, "
        "HomeAddress1, HomeAddress2, AppointmentDate, AgreementCorp, blank1, blank2, blank3, "
        "blank4, blank5, blank6, "
        "CustSex, CustAge, CustDob, CustArea, FreeInsu, DistributeDate, ImpDate, InsureEndDate, "
        "Memo, SendOff, "
        "DvdBackup, RecfileCopy, Ins_Date) VALUES ('0001', ?, '01', ?, '', ?, ?, '1', ?, ?, ?, ?, "
        "?, ?, ?, ?, ?, "
        "?, ?, ?, ?, '', '', '', '', '', '', '', ?, ?, ?, ?, '', ?, ?, '', '', '', '', '', ?)"));
    QSqlQuery recording(db);
    recording.prepare(QStringLiteral("INSERT INTO recfile (BranchID, BranchName, TeamID, AgentID, "
                                     "Name, JuminNo, DataType, CampaignID, RegDate, "
                                     "R_Tel, RecBound, Status, R_Date, R_StartTime, R_EndTime, "
                                     "R_Time, FolderName, R_Path, CustID, UploadStatus, "
                                     "Memo, MobileNumber, OfficeNumber) VALUES ('0001', ?, '01', "
                                     "?, ?, ?, '1', ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                     "'1', ?, ?, ?)"));

    struct Count
    {
        int calls = 0;
        int seconds = 0;
    };
    QHash<QString, Count> statistics; // agent|status|bound
    int todaysCalls = 0;
    QTime clock(9, 0, 0);
    // The longest step of the clock is under an hour, so no call crosses midnight.
    const QTime kLastCallStart(23, 0, 0);
    const QString campaignIds[] = {QStringLiteral("10001"), QStringLiteral("10002"),
                                   QStringLiteral("10003")};

    for (int i = 0; i < options.customers; ++i) {
        const QString agent = QString::fromLatin1(kWorkingAgents[i % 3]);
        const QString name = QString::fromUtf8(kSurnames[random.bounded(20)]) +
                             QString::fromUtf8(kGivenNames[random.bounded(20)]);
        const int year = 1950 + random.bounded(55);
        const QDate birth(year, 1 + random.bounded(12), 1 + random.bounded(28));
        const bool male = random.bounded(2) == 0;
        const QString jumin = birth.toString(QStringLiteral("yyMMdd")) +
                              (year < 2000 ? (male ? u'1' : u'2') : (male ? u'3' : u'4')) +
                              phone(random, "", 6);
        // The index makes every mobile number unique, so a caller is found once.
        const QString mobile =
            QStringLiteral("010") +
            QStringLiteral("%1").arg(10000000 + (i * 7919) % 90000000, 8, 10, QLatin1Char('0'));
        const QString office = random.bounded(3) == 0 ? phone(random, "02", 8) : QString();
        const int roll = random.bounded(100);
        QString status = QStringLiteral("0");
        QString appointment;
        QString regDate = today.addDays(-1 - random.bounded(60)).toString(Qt::ISODate);
        bool workedToday = false;
        if (options.callHistory && roll < 12) {
            status = QString::fromLatin1(kStatuses[1 + random.bounded(7)].code);
            // Voice files are named by their start second: once the day is
            // full, the worked customers were called on earlier days.
            workedToday = clock < kLastCallStart;
            if (workedToday)
                regDate = todayText;
        } else if (roll < 22) {
            status = QStringLiteral("5");
            appointment = today.addDays(random.bounded(3)).toString(Qt::ISODate);
        } else if (roll < 45) {
            status = QString::fromLatin1(kStatuses[1 + random.bounded(4)].code);
        }
        if (status == QStringLiteral("5") && appointment.isEmpty())
            appointment = todayText;
        const QString campaign = campaignIds[random.bounded(3)];
        const QString street = QString::fromUtf8(kStreets[random.bounded(5)]) + u' ' +
                               QString::number(1 + random.bounded(500));

        customer.addBindValue(QString::fromUtf8(kBranchName));
        customer.addBindValue(agent);
        customer.addBindValue(name);
        customer.addBindValue(jumin);
        customer.addBindValue(campaign);
        customer.addBindValue(regDate);
        customer.addBindValue(status);
        customer.addBindValue(mobile);
        customer.addBindValue(office);
        customer.addBindValue(QString());
        customer.addBindValue(QStringLiteral("%1").arg(random.bounded(10000, 99999)));
        customer.addBindValue(street);
        customer.addBindValue(QStringLiteral("%1층").arg(1 + random.bounded(20)));
        customer.addBindValue(QStringLiteral("%1").arg(random.bounded(10000, 99999)));
        customer.addBindValue(QString::fromUtf8(kStreets[random.bounded(5)]) + u' ' +
                              QString::number(1 + random.bounded(500)));
        customer.addBindValue(QStringLiteral("%1동 %2호")
                                  .arg(101 + random.bounded(10))
                                  .arg(101 + random.bounded(1500)));
        customer.addBindValue(appointment);
        customer.addBindValue(male ? QStringLiteral("남") : QStringLiteral("여"));
        customer.addBindValue(QString::number(today.year() - year));
        customer.addBindValue(birth.toString(Qt::ISODate));
        customer.addBindValue(street.section(u' ', 0, 1));
        customer.addBindValue(today.addDays(-90).toString(Qt::ISODate));
        customer.addBindValue(today.addDays(-90).toString(Qt::ISODate));
        customer.addBindValue(today.addDays(-90).toString(Qt::ISODate) +
                              QStringLiteral(" 09:00:00"));
        if (!exec(customer, error))
            return false;

        if (!workedToday || agent == QStringLiteral("lee"))
            continue;
        const qlonglong customerId = customer.lastInsertId().toLongLong();
        const bool inbound = random.bounded(3) == 0;
        const int seconds = 20 + random.bounded(400);
        const QTime start = clock;
        clock = clock.addSecs(seconds + 60 + random.bounded(600));
        const QString day = today.toString(QStringLiteral("yyyyMMdd"));
        const QString startText = start.toString(QStringLiteral("HHmmss"));
        recording.addBindValue(QString::fromUtf8(kBranchName));
        recording.addBindValue(agent);
        recording.addBindValue(name);
        recording.addBindValue(jumin);
        recording.addBindValue(campaign);
        recording.addBindValue(todayText);
        recording.addBindValue(mobile);
        recording.addBindValue(inbound ? QStringLiteral("I") : QStringLiteral("O"));
        recording.addBindValue(status);
        recording.addBindValue(day);
        recording.addBindValue(startText);
        recording.addBindValue(start.addSecs(seconds).toString(QStringLiteral("HHmmss")));
        recording.addBindValue(QString::number(seconds));
        recording.addBindValue(day);
        recording.addBindValue(day + startText + QStringLiteral("0001") + agent +
                               QStringLiteral(".vox"));
        recording.addBindValue(QString::number(customerId));
        recording.addBindValue(QStringLiteral("데모 통화 메모"));
        recording.addBindValue(mobile);
        recording.addBindValue(office);
        if (!exec(recording, error))
            return false;
        Count& count = statistics[agent + u'|' + status + u'|' + (inbound ? u'2' : u'1')];
        ++count.calls;
        count.seconds += seconds;
        ++todaysCalls;
    }

    QSqlQuery stat(db);
    stat.prepare(QStringLiteral(
        "INSERT INTO TB_AGENTCALLSTATISTICS (BranchID, TeamID, AgentID, RecDate, Status, "
        "RecBound, RecCnt, RecDuration) VALUES ('0001', '01', ?, ?, ?, ?, ?, ?)"));
    for (auto it = statistics.cbegin(); it != statistics.cend(); ++it) {
        const QStringList key = it.key().split(u'|');
        stat.addBindValue(key.at(0));
        stat.addBindValue(todayText);
        stat.addBindValue(key.at(1));
        stat.addBindValue(key.at(2).toInt());
        stat.addBindValue(it->calls);
        stat.addBindValue(it->seconds);
        if (!exec(stat, error))
            return false;
    }
    if (todaysCalls > 0) {
        stat.prepare(
            QStringLiteral("INSERT INTO tb_branchworkcount (BranchID, tMonth, tDate, WorkCount) "
                           "VALUES ('0001', ?, ?, ?)"));
        stat.addBindValue(today.toString(QStringLiteral("yyyyMM")));
        stat.addBindValue(todayText);
        stat.addBindValue(todaysCalls);
        if (!exec(stat, error))
            return false;
    }
    if (!db.commit()) {
        *error = db.lastError().text();
        return false;
    }
    return true;
}

// A second of a voice-like tone per recording, so the files play and decode.
QVector<qint16> leftoverVoice(int index)
{
    QVector<qint16> samples(8000 * (2 + index));
    for (int i = 0; i < samples.size(); ++i) {
        const double t = i / 8000.0;
        const double envelope = 0.5 + 0.5 * std::sin(2 * M_PI * 3 * t);
        samples[i] = qint16(9000 * envelope *
                            (std::sin(2 * M_PI * 220 * t) + 0.4 * std::sin(2 * M_PI * 660 * t)));
    }
    return samples;
}

bool writeLeftovers(const QString& folder, const DemoOptions& options, QString* error)
{
    if (options.leftoverRecordings <= 0)
        return true;
    const QDate yesterday = QDate::currentDate().addDays(-1);
    const QString day = yesterday.toString(QStringLiteral("yyyyMMdd"));
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("RECDATA/") + day)) {
        *error = QStringLiteral("cannot create the day folder ") + day;
        return false;
    }
    Sqlite local(dir.filePath(QString::fromLatin1(DemoFolder::kLocalDb)));
    Sqlite central(dir.filePath(QString::fromLatin1(DemoFolder::kBranchDb)));
    const QString columns = QStringLiteral(
        "BranchID, BranchName, TeamID, AgentID, Name, JuminNo, DataType, CampaignID, RegDate, "
        "R_Tel, RecBound, Status, "
        "R_Date, R_StartTime, R_EndTime, R_Time, FolderName, R_Path, CustID, UploadStatus");
    for (int i = 0; i < options.leftoverRecordings; ++i) {
        const QString start = QStringLiteral("%1").arg(140000 + i * 500, 6, 10, QLatin1Char('0'));
        const QString name = day + start + QStringLiteral("0001kim.vox");
        const QString path = dir.filePath(QStringLiteral("RECDATA/") + day + u'/' + name);
        if (!VoxFile::encode(path, leftoverVoice(i), error))
            return false;
        const QStringList values{QStringLiteral("0001"),
                                 QString::fromUtf8(kBranchName),
                                 QStringLiteral("01"),
                                 QStringLiteral("kim"),
                                 QString::fromUtf8("어제고객"),
                                 QString(),
                                 QStringLiteral("1"),
                                 QStringLiteral("10001"),
                                 yesterday.toString(Qt::ISODate),
                                 QStringLiteral("0101234000") + QString::number(i),
                                 QStringLiteral("O"),
                                 QStringLiteral("1"),
                                 day,
                                 start,
                                 start,
                                 QString::number(2 + i),
                                 day,
                                 name,
                                 QStringLiteral("1"),
                                 QStringLiteral("0")};
        for (Sqlite* db : {&local, &central}) {
            QSqlQuery q(db->db());
            const bool isLocal = db == &local;
            q.prepare(QStringLiteral("INSERT INTO recfile (") + columns +
                      (isLocal ? QStringLiteral(", FileFullPath") : QString()) +
                      QStringLiteral(") VALUES (") +
                      QStringLiteral("?, ").repeated(values.size() + (isLocal ? 1 : 0) - 1) +
                      QStringLiteral("?)"));
            for (const QString& v : values)
                q.addBindValue(v);
            if (isLocal)
                q.addBindValue(path);
            if (!exec(q, error))
                return false;
        }
    }
    return true;
}

} // namespace

bool DemoFolder::runScript(const QString& databaseFile, const QString& resource, QString* error)
{
    QFile script(resource);
    if (!script.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("cannot read ") + resource;
        return false;
    }
    Sqlite sqlite(databaseFile);
    if (!sqlite.ok()) {
        *error = sqlite.error();
        return false;
    }
    QSqlQuery q(sqlite.db());
    QString text = QString::fromUtf8(script.readAll());
    for (const QString& statement : text.split(u';')) {
        QStringList lines;
        for (const QString& line : statement.split(u'\n')) {
            if (!line.trimmed().startsWith(QStringLiteral("--")))
                lines << line;
        }
        const QString sql = lines.join(u'\n').trimmed();
        if (sql.isEmpty())
            continue;
        if (!q.exec(sql)) {
            *error = q.lastError().text() + QStringLiteral(": ") + sql;
            return false;
        }
    }
    return true;
}

bool DemoFolder::create(const QString& folder, const DemoOptions& options, QString* error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    QDir dir(folder);
    if (!dir.mkpath(QStringLiteral("."))) {
        *error = QStringLiteral("cannot create ") + folder;
        return false;
    }
    for (const char* name : {kDirectoryDb, kBranchDb, kLocalDb})
        QFile::remove(dir.filePath(QString::fromLatin1(name)));

    const QString directory = dir.filePath(QString::fromLatin1(kDirectoryDb));
    const QString branch = dir.filePath(QString::fromLatin1(kBranchDb));
    SqlServerAddress embedded;
    embedded.host = QStringLiteral("sqlite:") + QLatin1String(kDirectoryDb);
    return writeSettings(folder, branchSection(options), embedded, error) &&
           runScript(directory, QStringLiteral(":/schema/directory.sqlite.sql"), error) &&
           runScript(branch, QStringLiteral(":/schema/branch.sqlite.sql"), error) &&
           runScript(dir.filePath(QString::fromLatin1(kLocalDb)),
                     QStringLiteral(":/schema/local.sqlite.sql"), error) &&
           fillDirectory(directory, options, error) && fillBranch(branch, options, error) &&
           dir.mkpath(QStringLiteral("RECDATA")) && writeLeftovers(folder, options, error);
}

bool DemoFolder::useSqlServer(const QString& folder, const SqlServerAddress& server, QString* error)
{
    QString ignored;
    if (!error)
        error = &ignored;
    // The branch section stays as it was written.
    QFile settings(QDir(folder).filePath(QStringLiteral("Brenvo.ini")));
    const QByteArray old = settings.open(QIODevice::ReadOnly) ? settings.readAll() : QByteArray();
    const QByteArray branch = old.left(old.indexOf("[Database]"));
    if (!writeSettings(folder, branch.isEmpty() ? branchSection({}) : branch, server, error))
        return false;
    Sqlite directory(QDir(folder).filePath(QString::fromLatin1(kDirectoryDb)));
    QSqlQuery q(directory.db());
    q.prepare(QStringLiteral("UPDATE TB_BRANCH SET BranchIP = ?, "
                             "DBName = CASE BranchID WHEN '0001' THEN ? ELSE DBName END"));
    q.addBindValue(server.host);
    q.addBindValue(server.branchDb);
    return exec(q, error);
}

SqlServerAddress SqlServerAddress::fromAdo(const QString& connectionString)
{
    const QHash<QString, QString> keys = Connection::parseConnectionString(connectionString);
    const auto key = [&keys](const char* name) { return keys.value(QLatin1String(name)); };
    const QString port = key("network address").section(u',', 1).trimmed();
    return {key("data source"),     port.isEmpty() ? 1433 : port.toInt(),
            key("user id"),         key("password"),
            key("initial catalog"), key("initial catalog")};
}

bool DemoFolder::copyToSqlServer(const QString& folder, Connection& server, QString* error)
{
    for (const char* file : {kDirectoryDb, kBranchDb}) {
        Sqlite sqlite(QDir(folder).filePath(QString::fromLatin1(file)));
        QSqlQuery tables(sqlite.db());
        tables.prepare(QStringLiteral("SELECT name, sql FROM sqlite_master WHERE type = 'table' "
                                      "AND name NOT LIKE 'sqlite%'"));
        if (!exec(tables, error))
            return false;
        while (tables.next()) {
            const QString table = tables.value(0).toString();
            QSqlQuery rows(sqlite.db());
            rows.prepare(QStringLiteral("SELECT * FROM ") + table);
            if (!exec(rows, error) ||
                !server.execute(QStringLiteral("DELETE FROM ") + table, error))
                return false;
            QStringList columns, values;
            for (int i = 0; i < rows.record().count(); ++i)
                columns << rows.record().fieldName(i);
            while (rows.next()) {
                QStringList row;
                for (int i = 0; i < columns.size(); ++i)
                    row << literal(rows.value(i));
                values << u'(' + row.join(u',') + u')';
            }
            // The keys go in as they are; SQL Server takes at most 1000 rows
            // in one VALUES list.
            const bool identity = tables.value(1).toString().contains(
                QStringLiteral("AUTOINCREMENT"), Qt::CaseInsensitive);
            const QString insert = identity
                                       ? QStringLiteral("SET IDENTITY_INSERT %1 ON; INSERT INTO "
                                                        "%1 (%2) VALUES %3; SET "
                                                        "IDENTITY_INSERT %1 OFF")
                                       : QStringLiteral("INSERT INTO %1 (%2) VALUES %3");
            for (qsizetype i = 0; i < values.size(); i += 500) {
                if (!server.execute(
                        insert.arg(table, columns.join(u','), values.mid(i, 500).join(u',')),
                        error))
                    return false;
            }
        }
    }
    return true;
}

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include "../customers/CustomerFixture.h"
#include "../histories/HistoryDesk.h"
#include "platform/HostInfo.h"

// Whatever an agent types or pastes into a box is stored and read back
// exactly, or refused with a message; it never changes another row nor the
// statement it travels in.
class TestBadInput : public QObject
{
    Q_OBJECT

    static void addValues()
    {
        QTest::addColumn<QString>("value");
        QTest::newRow("quotes") << QString("O'Brien \"x\" '' '");
        QTest::newRow("drop table") << QString("'; DROP TABLE gogakinfo; --");
        QTest::newRow("NUL") << QString::fromUtf16(u"a\u0000b", 3);
        QTest::newRow("control characters") << QString("a\tb\rc\nd\x01\x1b\x7f");
        QTest::newRow("10000 characters") << QString(9999, u'x') + u'\'';
        QTest::newRow("emoji") << QString::fromUtf8("😀👍🏽 ok");
    }

    static qint64 journalSize()
    {
        return HistoryDesk::journalled()
                   ? QFileInfo(qEnvironmentVariable("BRENVO_SQL_JOURNAL")).size()
                   : 0;
    }

    // Every statement sent to the central database since the journal had
    // `from` bytes that carries the value carries it as one whole literal:
    // with those literals taken out, nothing of the value is left.
    static bool onlyAsLiteral(qint64 from, const QString& value)
    {
        QFile journal(qEnvironmentVariable("BRENVO_SQL_JOURNAL"));
        if (!journal.open(QIODevice::ReadOnly) || !journal.seek(from))
            return true;
        // A search puts the value between LIKE's wildcards.
        const QRegularExpression literal(
            "'%?" + QRegularExpression::escape(SqlDialect::quoted(value)) + "%?'");
        const QString marker = value.left(12);
        for (const QByteArray& line : journal.readAll().split('\n')) {
            QString sql = QJsonDocument::fromJson(line).object().value("sql").toString();
            if (marker.size() > 3 && sql.replace(literal, QStringLiteral("''")).contains(marker))
                return false;
        }
        return true;
    }

private slots:
    void customerBoxes_data() { addValues(); }
    void customerBoxes()
    {
        QFETCH(QString, value);
        CustomerFixture c;
        const QString other = c.addCustomer({{"Name", "other"}, {"MobileNumber", "0101"}});
        const QString mine = c.addCustomer({{"Name", "mine"}, {"MobileNumber", "0102"}});
        const QStringList othersBefore = c.central("SELECT * FROM gogakinfo WHERE ID <= " + other);
        for (const auto& [box, column] : editableBoxes()) {
            for (const QString mode : {"Modify", "Recfile"}) {
                if (mode == QLatin1String("Recfile")) {
                    // An inbound caller registered, then typed in after the call.
                    CustomerRecord registered;
                    c.side.registration.SetRegisterInboundCutomer(
                        "77777", "1", "0212345678", &c.side.search,
                        [&registered](const CustomerRecord* r) { registered = *r; });
                    QVERIFY(c.f.answered());
                    c.panel.show(registered);
                    c.f.exec("branch0001.db",
                             "INSERT OR REPLACE INTO recfile (R_Path) VALUES ('r.vox')");
                } else {
                    c.panel.setValue(CustomerPanel::txtCustID, mine);
                    c.side.search.GetCustinfoByID(mine);
                }
                const QString id = c.panel.value(CustomerPanel::txtCustID);
                const QStringList before = c.central("SELECT * FROM gogakinfo WHERE ID = " + id);
                const qint64 from = journalSize();
                c.panel.setValue(box, value);
                const QString where = QString("%1 %2 %3").arg(mode, CustomerPanel::name(box), id);
                QVERIFY2(c.side.editor.AddToMYSQL3(mode, c.panel.record(), "r.vox", "02-1234-5678"),
                         qPrintable(where + ": " + c.f.messages.texts().join('\n')));
                const QString expected =
                    box == CustomerPanel::txtCustSocialID ? HostUtils::PhoneDigits(value) : value;
                QVERIFY2(c.central("SELECT " + column + " FROM gogakinfo WHERE ID = " + id) ==
                             QStringList{expected},
                         qPrintable(where));
                if (box == CustomerPanel::txtCustName && mode == QLatin1String("Recfile"))
                    QCOMPARE(c.central("SELECT Name FROM recfile WHERE R_Path = 'r.vox'"),
                             QStringList{value});
                QVERIFY2(onlyAsLiteral(from, value), qPrintable(where));
                // The box's old value is kept in the history copy.
                QCOMPARE(c.central("SELECT * FROM gogakinfo_h WHERE ID = " + id +
                                   " ORDER BY rowid DESC LIMIT 1"),
                         before);
                c.panel.setValue(box, QString());
                QVERIFY(c.side.editor.AddToMYSQL3(mode, c.panel.record(), "r.vox", "02-1234-5678"));
            }
        }
        QCOMPARE(c.central("SELECT * FROM gogakinfo WHERE ID <= " + other), othersBefore);
        QCOMPARE(c.f.messages.errorBlocks(), 0);
    }

    void loginBoxes_data() { addValues(); }
    void loginBoxes()
    {
        QFETCH(QString, value);
        ProgramFolderFixture f;
        AgentStatus status{f.db, f.messages};
        LoginProcedure login{f.db, status, f.messages};
        const auto agents = [&f] { return f.rows("branch0001.db", "SELECT * FROM AgentLogin"); };
        const QStringList before = agents();
        const qint64 from = journalSize();
        QVERIFY(login.attempt(value, "kim", "1234") != LoginProcedure::Outcome::LoggedIn);
        QCOMPARE(login.attempt("0001", value, "1234"), LoginProcedure::Outcome::AgentRefused);
        QCOMPARE(login.attempt("0001", "kim", value), LoginProcedure::Outcome::AgentRefused);
        QVERIFY(onlyAsLiteral(from, value));
        QCOMPARE(agents(), before);
        QCOMPARE(f.messages.errorBlocks(), 0);
    }

    // The first of a repeated key or section counts.
    void repeatedSettings()
    {
        ProgramFolderFixture f;
        AgentStatus status{f.db, f.messages};
        LoginProcedure login{f.db, status, f.messages};
        QVERIFY(f.write("Brenvo.ini",
                        "[Database]\nDBIp=sqlite:directory.db\nDBIp=sqlite:elsewhere.db\n"
                        "DBUser=brenvo\n[Database]\nDBIp=sqlite:gone.db\n"));
        QCOMPARE(login.proposedBranch(), QString());
        QCOMPARE(login.attempt("0001", "kim", "1234"), LoginProcedure::Outcome::LoggedIn);
    }
};

QTEST_GUILESS_MAIN(TestBadInput)
#include "tst_badinput.moc"

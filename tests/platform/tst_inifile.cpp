#include <QTemporaryDir>
#include <QTest>

#include "platform/IniFile.h"

using namespace Qt::StringLiterals;

class TestIniFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString write(const QByteArray& bytes)
    {
        static int n = 0;
        const QString path = m_dir.filePath(QStringLiteral("f%1.ini").arg(++n));
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        file.write(bytes);
        return path;
    }

private slots:
    void lookups_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");
        const QByteArray normal =
            "[Branch]\r\nBranchID = 0001 \r\n[Database]\r\nDBIp=10.0.0.5\r\nDBPass=  p a ss  \r\n";
        const auto row = [](const char* name, const QByteArray& content, const char* section,
                            const char* key, const char* expected) {
            QTest::newRow(name) << content << QString::fromUtf8(section) << QString::fromUtf8(key)
                                << QString::fromUtf8(expected);
        };
        row("plain", normal, "Database", "DBIp", "10.0.0.5");
        row("inner blanks kept", normal, "Database", "DBPass", "p a ss");
        row("missing key", normal, "Database", "DBName", "");
        row("missing section", normal, "Other", "DBIp", "");
        row("key of another section", normal, "Branch", "DBIp", "");
        row("empty file", QByteArray(), "Database", "DBIp", "");
        row("section repeated later", "[Database]\nDBIp=a\n[X]\n[database]\nDBName=b\n", "Database",
            "DBName", "b");
        row("cut at NUL", QByteArray("[Database]\nDBIp=abc\0def\n", 22), "Database", "DBIp", "abc");
        row("Korean value", "[Branch]\nBranchID=강남\n", "Branch", "BranchID", "강남");
        row("binary garbage", QByteArray("\xff\xfe\x00\x01[Database]\x80\n", 12), "Database",
            "DBIp", "");
        row("value with equals sign", "[Database]\nDBPass=a=b\n", "Database", "DBPass", "a=b");
        row("quoted value", "[Database]\nDBPass=\" secret \"\n", "Database", "DBPass", " secret ");
    }
    void lookups()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(IniFile::value(section, key, QString(), write(content)), expected);
    }

    void missingFileAndLongValues()
    {
        QCOMPARE(IniFile::value("Database", "DBIp", QString(), m_dir.filePath("nothing.ini")),
                 QString());
        const QString path = write("[Database]\nDBName=" + QByteArray(5000, 'x') + "\n");
        QCOMPARE(IniFile::value("Database", "DBName", QString(), path).size(), 1023);
        // 10 MiB of keys before the one asked for.
        QByteArray big = "[Database]\n";
        while (big.size() < 10 * 1024 * 1024)
            big += "Filler=" + QByteArray(200, 'f') + "\n";
        big += "DBPort=1433\n";
        QCOMPARE(IniFile::value("Database", "DBPort", QString(), write(big)), u"1433"_s);
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"

#include <QTemporaryDir>
#include <QTest>

#include "platform/IniFile.h"

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
        QTest::newRow("plain") << normal << "Database"
                               << "DBIp"
                               << "10.0.0.5";
        QTest::newRow("names ignore case") << normal << "dAtAbAsE"
                                           << "dbip"
                                           << "10.0.0.5";
        QTest::newRow("blanks around value dropped") << normal << "Branch"
                                                     << "BranchID"
                                                     << "0001";
        QTest::newRow("inner blanks kept") << normal << "Database"
                                           << "DBPass"
                                           << "p a ss";
        QTest::newRow("missing key") << normal << "Database"
                                     << "DBName"
                                     << "";
        QTest::newRow("missing section") << normal << "Other"
                                         << "DBIp"
                                         << "";
        QTest::newRow("key of another section") << normal << "Branch"
                                                << "DBIp"
                                                << "";
        QTest::newRow("empty file") << QByteArray() << "Database"
                                    << "DBIp"
                                    << "";
        QTest::newRow("repeated key: first wins")
            << QByteArray("[Database]\nDBIp=first\nDBIp=second\n") << "Database"
            << "DBIp"
            << "first";
        QTest::newRow("section repeated later")
            << QByteArray("[Database]\nDBIp=a\n[X]\n[database]\nDBName=b\n") << "Database"
            << "DBName"
            << "b";
        QTest::newRow("cut at NUL") << QByteArray("[Database]\nDBIp=abc\0def\n", 22) << "Database"
                                    << "DBIp"
                                    << "abc";
        QTest::newRow("Korean value") << QByteArray("[Branch]\nBranchID=강남\n") << "Branch"
                                      << "BranchID" << QString::fromUtf8("강남");
        QTest::newRow("binary garbage")
            << QByteArray("\xff\xfe\x00\x01[Database]\x80\n", 12) << "Database"
            << "DBIp"
            << "";
        QTest::newRow("value with equals sign")
            << QByteArray("[Database]\nDBPass=a=b\n") << "Database"
            << "DBPass"
            << "a=b";
        QTest::newRow("quoted value")
            << QByteArray("[Database]\nDBPass=\" secret \"\n") << "Database"
            << "DBPass"
            << " secret ";
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

        const QByteArray longValue(5000, 'x');
        const QString path = write("[Database]\nDBName=" + longValue + "\n");
        QCOMPARE(IniFile::value("Database", "DBName", QString(), path).size(), 1023);

        // 10 MiB of keys before the one asked for.
        QByteArray big = "[Database]\n";
        while (big.size() < 10 * 1024 * 1024)
            big += "Filler=" + QByteArray(200, 'f') + "\n";
        big += "DBPort=1433\n";
        QCOMPARE(IniFile::value("Database", "DBPort", QString(), write(big)),
                 QStringLiteral("1433"));
    }
};

QTEST_GUILESS_MAIN(TestIniFile)
#include "tst_inifile.moc"

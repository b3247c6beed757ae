#include "testmain.h"
#include "filecontent.h"

#include "settings/centralsettings.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

// Database.ini beside Settings.ini: the central record's settings, and what is
// wrong with a file or a value that cannot be used.

class TestCentralSettings : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void storedSettingsComeBackAndWhatCannotBeUsedIsNamed_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("problem"); // a part of it; empty for none
        QTest::addColumn<int>("port");
        const QByteArray good = "Enabled=true\nHost=db.line\nDatabase=cells\nUser=bench\nBench=B-7\nSslMode=require\n";
        QTest::newRow("all good") << good + "Port=5433\n" << QString() << 5433;
        QTest::newRow("no port") << good << QString() << 5432;
        QTest::newRow("port -1") << good + "Port=-1\n" << QStringLiteral("Port \"-1\" is not a port number (1 to 65535)") << 5432;
        QTest::newRow("port 70000") << good + "Port=70000\n" << QStringLiteral("Port \"70000\" is not a port number (1 to 65535)")
                                    << 5432;
        QTest::newRow("port abc") << good + "Port=abc\n" << QStringLiteral("Port \"abc\" is not a port number (1 to 65535)") << 5432;
        QTest::newRow("unknown TLS mode") << QByteArray("Enabled=true\nSslMode=strict\n")
                                          << QStringLiteral("SslMode \"strict\" is none of disable, allow, prefer, "
                                                            "require, verify-ca, verify-full")
                                          << 5432;
        QTest::newRow("neither on nor off") << QByteArray("Enabled=yes\n") << QStringLiteral("Enabled \"yes\" is neither true nor false") << 5432;
        QTest::newRow("larger than 1 MB") << QByteArray("Enabled=true\nPort=5433\n") + QByteArray(2 * 1024 * 1024, 'x') + "\n"
                                          << QStringLiteral("is larger than 1 MB") << 5432;
        QTest::newRow("binary") << QByteArray("Enabled=true\nPort=5433\n\0\x01\x02\xff", 27) << QStringLiteral("is not a text file")
                                << 5432;
    }
    void storedSettingsComeBackAndWhatCannotBeUsedIsNamed()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, problem);
        QFETCH(int, port);
        QTemporaryDir dir;
        const QString path = centralSettingsPath(dir.path());
        QVERIFY(writeFile(path, content));
        const StoredCentralSettings stored = loadCentralSettings(dir.path());
        QCOMPARE(stored.settings.port, port);
        if (problem.isEmpty()) {
            QCOMPARE(stored.problem, QString());
            QVERIFY(stored.settings.enabled);
            QCOMPARE(stored.settings.bench, QStringLiteral("B-7"));
        } else {
            // Named with the file, where the operator is told.
            QVERIFY2(stored.problem.startsWith(QDir::toNativeSeparators(path)) && stored.problem.contains(problem),
                     qPrintable(stored.problem));
        }
    }

    void aMissingFileIsNoProblem()
    {
        QTemporaryDir dir;
        const StoredCentralSettings stored = loadCentralSettings(dir.path());
        QCOMPARE(stored.problem, QString());
        QVERIFY(stored.settings == CentralSettings());
    }
};

BIN4870_TEST(TestCentralSettings)
#include "tst_centralsettings.moc"

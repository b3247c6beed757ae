#include "testmain.h"

#include "platform/filelocations.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

bool touch(const QString &path)
{
    QFile file(path);
    return QDir().mkpath(QFileInfo(path).path()) && file.open(QIODevice::WriteOnly);
}

// Sets an environment variable for the life of the object.
class EnvVar
{
public:
    EnvVar(const char *name, const QByteArray &value) : m_name(name), m_had(qEnvironmentVariableIsSet(name)),
        m_old(qgetenv(name))
    {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    }
    ~EnvVar()
    {
        if (m_had)
            qputenv(m_name, m_old);
        else
            qunsetenv(m_name);
    }

private:
    const char *m_name;
    bool m_had;
    QByteArray m_old;
};

} // namespace

class TestFileLocations : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void chooseKeepsAPortableProgramBesideItselfAndAnInstalledOneInTheUsersFolders_data()
    {
        QTest::addColumn<bool>("writable");
        QTest::addColumn<bool>("installed");
        QTest::addColumn<bool>("documentsExists");
        QTest::addColumn<QString>("documents");
        QTest::addColumn<bool>("perUser");
        QTest::addColumn<QString>("dataDir");
        QTest::addColumn<QString>("docDir");

        const QString docs = QStringLiteral("/home/op/Documents");
        QTest::newRow("build tree") << true << false << true << docs << false << "/opt/p/bin" << "/opt/p/bin";
        QTest::newRow("read-only copy") << false << false << true << docs << true << docs << "/opt/p/bin";
        QTest::newRow("installed, read-only") << false << true << true << docs << true << docs
                                              << "/opt/p/share/doc/bin4870";
        QTest::newRow("installed under a prefix the user owns") << true << true << true << docs << true << docs
                                                                << "/opt/p/share/doc/bin4870";
        QTest::newRow("no documents folder") << false << true << false << docs << true << "/home/op"
                                             << "/opt/p/share/doc/bin4870";
        QTest::newRow("documents unknown") << false << true << false << QString() << true << "/home/op"
                                           << "/opt/p/share/doc/bin4870";
    }

    void chooseKeepsAPortableProgramBesideItselfAndAnInstalledOneInTheUsersFolders()
    {
        QFETCH(bool, writable);
        QFETCH(bool, installed);
        QFETCH(bool, documentsExists);
        QFETCH(QString, documents);
        QFETCH(bool, perUser);
        QFETCH(QString, dataDir);
        QFETCH(QString, docDir);

        FileLocations::Facts facts;
        facts.programDir = QStringLiteral("/opt/p/bin");
        facts.programDirWritable = writable;
        facts.installed = installed;
        facts.configDir = QStringLiteral("/home/op/.config/bin4870");
        facts.documentsDir = documents;
        facts.documentsDirExists = documentsExists;
        facts.homeDir = QStringLiteral("/home/op");

        const FileLocations where = FileLocations::choose(facts);
        QCOMPARE(where.programDir, facts.programDir);
        QCOMPARE(where.perUser, perUser);
        QCOMPARE(where.settingsDir, perUser ? facts.configDir : facts.programDir);
        QCOMPARE(where.dataDir, dataDir);
        QCOMPARE(where.docDir, docDir);
    }

    void detectRecognisesAnInstalledTreeByItsGuide()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        const QString prefix = root.filePath(QStringLiteral("prefix"));
        const QString bin = prefix + QStringLiteral("/bin");
        const QString home = root.filePath(QStringLiteral("home"));
        QVERIFY(QDir().mkpath(bin));
        QVERIFY(QDir().mkpath(home));
        EnvVar homeVar("HOME", QFile::encodeName(home));
        EnvVar configVar("XDG_CONFIG_HOME", QByteArray());
        const QString config = home + QStringLiteral("/.config/bin4870");

        // A writable folder without an installed guide is a portable program.
        FileLocations where = FileLocations::detect(bin, config);
        QVERIFY(!where.perUser);
        QCOMPARE(where.settingsDir, bin);

        QVERIFY(touch(prefix + QStringLiteral("/share/doc/bin4870/readmeE.txt")));
        where = FileLocations::detect(bin, config);
        QVERIFY(where.perUser);
        QCOMPARE(where.settingsDir, config);
        QCOMPARE(where.docDir, prefix + QStringLiteral("/share/doc/bin4870"));
        QCOMPARE(where.dataDir, home);

        QVERIFY(QDir().mkpath(home + QStringLiteral("/Documents")));
        QCOMPARE(FileLocations::detect(bin, config).dataDir, home + QStringLiteral("/Documents"));
    }

    void onlyTheUsersOwnFolderIsCreated()
    {
        QTemporaryDir root;
        QVERIFY(root.isValid());
        FileLocations perUser;
        perUser.perUser = true;
        perUser.settingsDir = root.filePath(QStringLiteral("home/.config/bin4870"));
        QVERIFY(perUser.makeSettingsDir());
        QVERIFY(QFileInfo(perUser.settingsDir).isDir());

        // A portable program's folder that has gone away is not made again.
        const FileLocations portable(root.filePath(QStringLiteral("program")));
        QVERIFY(!portable.makeSettingsDir());
        QVERIFY(!QFileInfo::exists(portable.settingsDir));
    }
};

BIN4870_TEST(TestFileLocations)

#include "tst_filelocations.moc"

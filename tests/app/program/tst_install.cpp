#include "testmain.h"

#include "formmainharness.h"

#include <QDateTime>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <memory>

// The program installed with cmake --install into a prefix made read-only and
// run as its own process with a temporary HOME: the set-up goes to and comes
// from the user's configuration folder, data files to the documents folder,
// SIGTERM ends a session as File > Exit does, and nothing is written under the
// prefix.

namespace {

const QString kConfig = QStringLiteral("/.config/bin4870");

// Every entry under dir with its size and modification time.
QStringList snapshot(const QString &dir)
{
    QStringList entries;
    QDirIterator it(dir, QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QFileInfo info(it.next());
        entries << QStringLiteral("%1 %2 %3").arg(info.filePath()).arg(info.size())
                       .arg(info.lastModified().toMSecsSinceEpoch());
    }
    entries.sort();
    return entries;
}

void setWritable(const QString &dir, bool writable)
{
    const QFileDevice::Permissions write = QFileDevice::WriteOwner | QFileDevice::WriteUser;
    QDirIterator it(dir, QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot | QDir::NoSymLinks,
                    QDirIterator::Subdirectories);
    QStringList all{dir};
    while (it.hasNext())
        all << it.next();
    for (const QString &path : all) {
        QFile file(path);
        const auto permissions = file.permissions();
        file.setPermissions(writable ? permissions | write
                                     : permissions & ~(write | QFileDevice::WriteGroup | QFileDevice::WriteOther));
    }
}

QByteArray readAll(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

// True once the process catches SIGTERM, SIGINT and SIGHUP: its window is up.
bool catchesTerminationSignals(qint64 pid)
{
    const QByteArray status = readAll(QStringLiteral("/proc/%1/status").arg(pid));
    for (const QByteArray &line : status.split('\n')) {
        if (line.startsWith("SigCgt:")) {
            const quint64 mask = line.mid(7).trimmed().toULongLong(nullptr, 16);
            const quint64 wanted = (1ULL << (SIGTERM - 1)) | (1ULL << (SIGINT - 1)) | (1ULL << (SIGHUP - 1));
            return (mask & wanted) == wanted;
        }
    }
    return false;
}

} // namespace

class TestInstall : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    QString m_prefix;
    QStringList m_prefixBefore;

    QString bin(const QString &name) const { return m_prefix + QStringLiteral("/bin/") + name; }

    QProcessEnvironment environmentFor(const QString &home) const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("HOME"), home);
        env.remove(QStringLiteral("XDG_CONFIG_HOME"));
        env.remove(QStringLiteral("XDG_DATA_HOME"));
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        return env;
    }

    QString makeHome(const QString &name, bool documents)
    {
        const QString home = m_root->filePath(name);
        QDir().mkpath(documents ? home + QStringLiteral("/Documents") : home);
        return home;
    }

    // Starts program with HOME set and waits until it handles the signals.
    bool startProgram(QProcess &process, const QString &program, const QString &home,
                      const QStringList &arguments = {})
    {
        process.setProcessEnvironment(environmentFor(home));
        process.setWorkingDirectory(home);
        process.start(program, arguments);
        if (!process.waitForStarted(10000))
            return false;
        return QTest::qWaitFor([&] { return catchesTerminationSignals(process.processId()); }, 30000);
    }

    // SIGTERM, then the exit status; -1 when it did not end normally.
    int terminate(QProcess &process)
    {
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(30000))
            return -1;
        return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    }

    // Reads the process's output until a line starting with prefix arrives.
    static QByteArray waitForLine(QProcess &process, QByteArray &seen, const QByteArray &prefix, int timeoutMs)
    {
        QByteArray found;
        (void)QTest::qWaitFor([&] {
            seen += process.readAllStandardOutput();
            for (const QByteArray &line : seen.split('\n')) {
                if (line.startsWith(prefix) && seen.contains(line + '\n')) {
                    found = line;
                    return true;
                }
            }
            return process.state() == QProcess::NotRunning;
        }, timeoutMs);
        return found;
    }

private Q_SLOTS:
    void initTestCase()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_prefix = m_root->filePath(QStringLiteral("prefix"));
        QProcess install;
        install.setProcessChannelMode(QProcess::MergedChannels);
        install.start(QStringLiteral(BIN4870_CMAKE_COMMAND),
                      {QStringLiteral("--install"), QStringLiteral(BIN4870_BUILD_DIR), QStringLiteral("--prefix"), m_prefix});
        QVERIFY(install.waitForFinished(120000));
        QVERIFY2(install.exitCode() == 0, install.readAll().constData());
        // The remote-controlled program runs from the installed folder too.
        const QString driven = QStringLiteral(BIN4870_BUILD_DIR) + QStringLiteral("/bin/bin4870-driven");
        QVERIFY(QFile::copy(driven, bin(QStringLiteral("bin4870-driven"))));
        setWritable(m_prefix, false);
        m_prefixBefore = snapshot(m_prefix);
    }

    void cleanupTestCase()
    {
        if (m_root)
            setWritable(m_prefix, true);
        m_root.reset();
    }

    void theInstalledTreeHoldsTheProgramAndItsDesktopFilesOnly()
    {
        QStringList files;
        QDirIterator it(m_prefix, QDir::Files, QDirIterator::Subdirectories);
        while (it.hasNext())
            files << it.next().mid(m_prefix.size());
        files.removeOne(QStringLiteral("/bin/bin4870-driven")); // the test's own copy
        files.sort();
        QCOMPARE(files, (QStringList{QStringLiteral("/bin/bin4870"), QStringLiteral("/bin/tester-sim"),
                                     QStringLiteral("/share/applications/org.bin4870.bin4870.desktop"),
                                     QStringLiteral("/share/bin4870/translations/bin4870_en.qm"),
                                     QStringLiteral("/share/doc/bin4870/changelog.gz"),
                                     QStringLiteral("/share/doc/bin4870/copyright"),
                                     QStringLiteral("/share/doc/bin4870/readmeE.txt"),
                                     QStringLiteral("/share/icons/hicolor/scalable/apps/org.bin4870.bin4870.svg"),
                                     QStringLiteral("/share/man/man1/bin4870.1.gz"),
                                     QStringLiteral("/share/man/man1/tester-sim.1.gz"),
                                     QStringLiteral("/share/metainfo/org.bin4870.bin4870.metainfo.xml")}));
    }

    void theSetUpIsSavedToAndRestoredFromTheUsersFolder()
    {
        const QString home = makeHome(QStringLiteral("home-setup"), false);
        const QString settings = home + kConfig + QStringLiteral("/Settings.ini");
        {
            QProcess program;
            QVERIFY(startProgram(program, bin(QStringLiteral("bin4870")), home));
            QCOMPARE(terminate(program), 0);
        }
        QCOMPARE(fileLines(settings).size(), 11);
        QCOMPARE(fileLines(settings).at(0), QByteArray(" 1 \r"));

        // A stored set-up comes back: the boxes are read as numbers, so "007"
        // returns as 7 only when the file was read and written again.
        {
            QFile file(settings);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(" 3 \r\n 1 \r\n007\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n");
        }
        {
            QProcess program;
            QVERIFY(startProgram(program, bin(QStringLiteral("bin4870")), home));
            QCOMPARE(terminate(program), 0);
        }
        QCOMPARE(readAll(settings), QByteArray(" 3 \r\n 1 \r\n7\r\n10\r\n2.5\r\n 2 \r\n5\r\n3.7\r\n1\r\n 1200 \r\n 900 \r\n"));
        QCOMPARE(QDir(home + kConfig).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("Settings.ini")});
        QCOMPARE(snapshot(m_prefix), m_prefixBefore);
    }

    void sigtermDuringASessionKeepsEveryCountedCellAndTheSetUp()
    {
        const QString home = makeHome(QStringLiteral("home-session"), true);
        // The installed simulator links itself where the installed program looks.
        QProcess sim;
        sim.setProcessEnvironment(environmentFor(home));
        sim.start(bin(QStringLiteral("tester-sim")), {QStringLiteral("--seed"), QStringLiteral("4870")});
        QByteArray simSaid;
        QVERIFY2(!waitForLine(sim, simSaid, "ready ", 20000).isEmpty(), simSaid.constData());
        QVERIFY(QFileInfo(home + kConfig + QStringLiteral("/COM1")).isSymLink());

        QProcess program;
        QVERIFY(startProgram(program, bin(QStringLiteral("bin4870-driven")), home,
                             {QStringLiteral("--count"), QStringLiteral("3")}));
        QByteArray said;
        const QByteArray pathLine = waitForLine(program, said, "path ", 20000);
        const QString dataPath = QString::fromLocal8Bit(pathLine.mid(5));
        QVERIFY2(dataPath.startsWith(home + QStringLiteral("/Documents/")) && dataPath.endsWith(QLatin1String(".csv")),
                 said.constData());
        QVERIFY2(!waitForLine(program, said, "counted 3", 60000).isEmpty(), said.constData());

        QCOMPARE(terminate(program), 0);
        const QList<QByteArray> records = fileLines(dataPath);
        QCOMPARE(records.size(), 3);
        for (const QByteArray &record : records)
            QCOMPARE(record.count(','), 3);
        QCOMPARE(fileLines(home + kConfig + QStringLiteral("/Settings.ini")).size(), 11);

        sim.terminate();
        QVERIFY(sim.waitForFinished(10000));
        QCOMPARE(snapshot(m_prefix), m_prefixBefore);
    }
};

BIN4870_TEST(TestInstall)
#include "tst_install.moc"

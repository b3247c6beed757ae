#pragma once

// A disk that fills, for a test: the test function runs again in a child
// process with a mount namespace of its own (unshare -m), where a tmpfs of a
// few kilobytes is mounted on a fresh folder. The mount is seen by the child
// alone and ends with it, whatever becomes of the test.
//
//   void fullDiskIsTold()
//   {
//       if (smallFileSystem().isEmpty())
//           return runOnSmallFileSystem("64k");   // the parent: runs the child
//       const QString folder = smallFileSystem();  // the child: the test
//       ...
//   }
//
// Needs root (or the right to make namespaces and mounts); without it the
// test is skipped.

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

inline constexpr const char *kSmallFileSystemVariable = "BIN4870_SMALL_FS";

// In the child: the folder the small file system is mounted on; empty in the
// parent.
inline QString smallFileSystem()
{
    return qEnvironmentVariable(kSmallFileSystemVariable);
}

// Takes every free block of the small file system with a file named "filler";
// removing it makes room again.
inline bool fillSmallFileSystem()
{
    QFile filler(smallFileSystem() + QStringLiteral("/filler"));
    if (!filler.open(QIODevice::WriteOnly | QIODevice::Append))
        return false;
    const QByteArray block(512, 'x');
    while (filler.write(block) == block.size() && filler.flush()) {
    }
    return true;
}

inline bool makeRoomOnSmallFileSystem()
{
    return QFile::remove(smallFileSystem() + QStringLiteral("/filler"));
}

// What became of the child.
struct SmallFileSystemRun
{
    bool skipped = false; // no namespace or mount could be made here
    bool passed = false;
    QByteArray output;    // the child's test log
};

// The parent's part: runs the current test function (and data row) again in
// the child, on a small file system of `size` (tmpfs's size=, "64k").
inline SmallFileSystemRun runOnSmallFileSystem(const QString &size)
{
    SmallFileSystemRun run;
    QTemporaryDir mountPoint;
    if (!mountPoint.isValid()) {
        run.output = "no temporary folder for the mount";
        return run;
    }
    QString function = QString::fromLatin1(QTest::currentTestFunction());
    if (QTest::currentDataTag())
        function += QLatin1Char(':') + QString::fromLocal8Bit(QTest::currentDataTag());
    QProcess child;
    child.setProcessChannelMode(QProcess::MergedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(kSmallFileSystemVariable), mountPoint.path());
    child.setProcessEnvironment(environment);
    child.start(QStringLiteral("unshare"),
                {QStringLiteral("-m"), QStringLiteral("--propagation"), QStringLiteral("private"), QStringLiteral("sh"),
                 QStringLiteral("-c"),
                 QStringLiteral("mount -t tmpfs -o size=\"$1\" tmpfs \"$2\" 2>/dev/null || exit 77; exec \"$3\" \"$4\""),
                 QStringLiteral("sh"), size, mountPoint.path(), QCoreApplication::applicationFilePath(), function});
    if (!child.waitForFinished(300000)) {
        child.kill();
        child.waitForFinished();
        run.output = "the child ran for more than 5 minutes: " + child.readAll();
        return run;
    }
    run.output = child.readAll();
    const bool normal = child.exitStatus() == QProcess::NormalExit;
    run.skipped = normal && (child.exitCode() == 77 || run.output.startsWith("unshare:"));
    run.passed = normal && child.exitCode() == 0;
    if (!run.passed && !run.skipped) {
        // Whole, as a test's message would be cut short.
        std::fputs(run.output.constData(), stdout);
        run.output = "the test failed in its child process, whose log is above";
    }
    return run;
}

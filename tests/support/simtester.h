#pragma once

// The simulated tester as a child process, linked as COMn in a temporary
// program folder. The executable comes from BIN4870_BIN_DIR.

#include <QDir>
#include <QProcess>
#include <QProcessEnvironment>
#include <QList>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>

class SimTester
{
public:
    // Starts tester-sim with the given options and waits for its "ready" line.
    bool start(const QStringList &options, int port = 1) { return startIn(m_folder.path(), options, port); }

    // The same in another folder, e.g. where an earlier simulator left its link.
    bool startIn(const QString &folder, const QStringList &options, int port = 1)
    {
        const QString binDir = QProcessEnvironment::systemEnvironment().value(QStringLiteral("BIN4870_BIN_DIR"));
        const QString program = QDir(binDir.isEmpty() ? QCoreApplication::applicationDirPath() : binDir)
                                    .filePath(QStringLiteral("tester-sim"));
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        m_process.start(program, QStringList{QStringLiteral("--dir"), folder,
                                             QStringLiteral("--port"), QString::number(port),
                                             QStringLiteral("--seed"), QStringLiteral("4870")}
                                     + options);
        if (!m_process.waitForStarted(10000))
            return false;
        return QTest::qWaitFor([this] { return log().contains("ready "); }, 10000);
    }

    ~SimTester()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.terminate();
            if (!m_process.waitForFinished(5000))
                m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    QString folder() const { return m_folder.path(); }

    // The TCP port of the n-th tester served with --tcp (the first unless
    // told), from its "ready tcp host:port" line; 0 when there is none.
    quint16 tcpPort(int n = 1)
    {
        const QList<QByteArray> lines = log().split('\n');
        int seen = 0;
        for (const QByteArray &line : lines) {
            const qsizetype at = line.indexOf("ready tcp ");
            if (at < 0)
                continue;
            if (++seen == n)
                return quint16(line.mid(line.lastIndexOf(':') + 1).trimmed().toUInt());
        }
        return 0;
    }
    QProcess &process() { return m_process; }

    // Everything the simulator has logged so far.
    QByteArray log()
    {
        m_log += m_process.readAllStandardOutput();
        return m_log;
    }

private:
    QTemporaryDir m_folder;
    QProcess m_process;
    QByteArray m_log;
};

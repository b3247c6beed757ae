#include "testmain.h"

#include "settings/benchchannels.h"
#include "settings/settingsfile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

// Channels.ini: what is kept, and what a file written by hand or damaged
// gives.

namespace {

void write(const QString &folder, const QByteArray &content)
{
    QFile file(benchChannelsPath(folder));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(content);
}

} // namespace

class TestBenchChannels : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void noFileIsOneSerialChannel()
    {
        QTemporaryDir dir;
        const Result<BenchChannels> loaded = loadBenchChannels(dir.path());
        QVERIFY(loaded);
        QCOMPARE(loaded->count, 1);
        QVERIFY(!loaded->firstPort);
        for (int n = 2; n <= kMaxChannels; ++n) {
            QCOMPARE(loaded->channel(n).port, PortAddress::serial(qint16(n)));
            QCOMPARE(loaded->channel(n).profile, QStringLiteral("default"));
        }
        QCOMPARE(*loaded, BenchChannels());
    }

    void channelsReadBackAsSaved()
    {
        QTemporaryDir dir;
        BenchChannels channels;
        channels.count = 4;
        channels.firstPort = *PortAddress::parse(QStringLiteral("[fe80::1]:5025"));
        channels.channel(2).port = *PortAddress::parse(QStringLiteral("lab7"));
        channels.channel(3).port = *PortAddress::parse(QStringLiteral("/dev/usbtmc0"));
        channels.channel(3).profile = QStringLiteral("bench 7.json");
        QVERIFY(saveBenchChannels(dir.path(), channels));
        const Result<BenchChannels> loaded = loadBenchChannels(dir.path());
        QVERIFY(loaded);
        QCOMPARE(*loaded, channels);
        // Channel 1 back on a serial port: the file no longer names it.
        channels.firstPort.reset();
        QVERIFY(saveBenchChannels(dir.path(), channels));
        QVERIFY(!loadBenchChannels(dir.path())->firstPort);
        QFile file(benchChannelsPath(dir.path()));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray kept = file.readAll();
        QVERIFY(kept.contains("Port2=lab7"));
        QVERIFY(!kept.contains("Port1"));
    }

    // A value that cannot be read keeps its default; the rest is read.
    void unreadableValuesKeepTheirDefaults()
    {
        QTemporaryDir dir;
        write(dir.path(), "[Channels]\nCount=7\nPort1=COM3\nPort2=lab 7\nProfile2=\nPort3=192.168.1.40:5026\n"
                          "Profile3=query-judging\n");
        Result<BenchChannels> loaded = loadBenchChannels(dir.path());
        QVERIFY(loaded);
        QCOMPARE(loaded->count, 1);
        // Channel 1's serial port is Settings.ini's.
        QVERIFY(!loaded->firstPort);
        QCOMPARE(loaded->channel(2).port, PortAddress::serial(2));
        QCOMPARE(loaded->channel(2).profile, QStringLiteral("default"));
        QCOMPARE(loaded->channel(3).port.text(), QStringLiteral("192.168.1.40:5026"));
        QCOMPARE(loaded->channel(3).profile, QStringLiteral("query-judging"));
        write(dir.path(), "[Channels]\nCount=0\n");
        QCOMPARE(loadBenchChannels(dir.path())->count, 1);
        write(dir.path(), "[Channels]\nCount= 3 \n");
        QCOMPARE(loadBenchChannels(dir.path())->count, 3);
    }

    // Neither read nor replaced: a folder in its place, or a file too large.
    void fileThatIsNoOptionsFileIsRefused()
    {
        QTemporaryDir dir;
        QVERIFY(QDir(dir.path()).mkdir(QLatin1String(kChannelsFileName)));
        const Result<BenchChannels> loaded = loadBenchChannels(dir.path());
        QVERIFY(!loaded);
        QVERIFY2(loaded.errorString().contains(QLatin1String(kChannelsFileName)), qPrintable(loaded.errorString()));
        QVERIFY(!saveBenchChannels(dir.path(), BenchChannels()));

        QTemporaryDir big;
        QFile file(benchChannelsPath(big.path()));
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.resize(kMaxSetupFileBytes + 1));
        file.close();
        QVERIFY(!loadBenchChannels(big.path()));
    }
};

BIN4870_TEST(TestBenchChannels)
#include "tst_benchchannels.moc"

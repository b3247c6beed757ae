#include "testmain.h"

#include "app/program/commandline.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QRegularExpression>
#include <QTest>

// --help and --version answer and end before any window or display is needed;
// anything else goes on to the window.

class TestCommandLine : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersBeforeTheWindow_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<bool>("exits");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("printed");
        QTest::newRow("nothing") << QStringList{} << false << 0 << "";
        QTest::newRow("--help") << QStringList{"--help"} << true << 0 << "--version";
        QTest::newRow("-h") << QStringList{"-h"} << true << 0 << "Sorts battery cells";
        QTest::newRow("--help: the specification") << QStringList{"--help"} << true << 0 << "--usl-v <VALUE>";
        QTest::newRow("--help: no cells, status 3") << QStringList{"--help"} << true << 0
                                                   << "3 when it is written but the range holds no cell";
        QTest::newRow("--version") << QStringList{"--version"} << true << 0 << programVersionText();
        QTest::newRow("Qt's -platform") << QStringList{"-platform", "offscreen"} << false << 0 << "";
        QTest::newRow("Qt's -style=") << QStringList{"-style=fusion"} << false << 0 << "";
        QTest::newRow("Qt's -name") << QStringList{"-name", "bench7"} << false << 0 << "";
        QTest::newRow("unknown option") << QStringList{"--frobnicate"} << true << 2 << "frobnicate";
        QTest::newRow("stray argument") << QStringList{"file.csv"} << true << 2 << "file.csv";
    }

    void answersBeforeTheWindow()
    {
        QFETCH(QStringList, arguments);
        QFETCH(bool, exits);
        QFETCH(int, exitCode);
        QFETCH(QString, printed);
        // Each option is known once: a second of a name is a fault the parser only warns of.
        QTest::failOnWarning(QRegularExpression(QStringLiteral("already having an option")));
        const CommandLine line = parseCommandLine(QStringList{QStringLiteral("bin4870")} + arguments);
        QCOMPARE(line.exits, exits);
        QCOMPARE(line.exitCode, exitCode);
        QVERIFY2(line.output.contains(printed), qPrintable(line.output));
        // Qt's own options are not offered as the program's.
        QVERIFY(!line.output.contains(QLatin1String("-platform")));
    }

    // The executables themselves, without a display: print and end at once.
    void executablesPrintTheirVersionWithoutADisplay_data()
    {
        QTest::addColumn<QString>("program");
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("printed");
        QTest::newRow("bin4870 --version") << "bin4870" << QStringList{"--version"} << programVersionText();
        QTest::newRow("bin4870 --help") << "bin4870" << QStringList{"--help"} << "--version";
        // Asked for help on the report, the program helps and writes nothing.
        QTest::newRow("bin4870 --report x.pdf --help")
                << "bin4870" << QStringList{"--report", "x.pdf", "--help"} << "--report <FILE.pdf>";
        QTest::newRow("bin4870 --report=x.pdf -h") << "bin4870" << QStringList{"--report=x.pdf", "-h"} << "--source";
        QTest::newRow("bin4870 --report x.pdf --version")
                << "bin4870" << QStringList{"--report", "x.pdf", "--version"} << programVersionText();
        QTest::newRow("tester-sim --version") << "tester-sim" << QStringList{"--version"}
                                              << programVersionText().replace(QLatin1String("bin4870"),
                                                                              QLatin1String("tester-sim"));
    }

    void executablesPrintTheirVersionWithoutADisplay()
    {
        QFETCH(QString, program);
        QFETCH(QStringList, arguments);
        QFETCH(QString, printed);
        QTemporaryDir dir;
        QProcess process;
        process.setWorkingDirectory(dir.path());
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            environment.remove(QString::fromLatin1(name));
        process.setProcessEnvironment(environment);
        process.start(QCoreApplication::applicationDirPath() + QLatin1Char('/') + program, arguments);
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitStatus(), QProcess::NormalExit);
        const QString out = QString::fromLocal8Bit(process.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(process.readAllStandardError());
        QVERIFY2(process.exitCode() == 0, qPrintable(err));
        QVERIFY2(out.contains(printed), qPrintable(out + err));
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("x.pdf"))));
    }

    // A profile the simulator refuses is told whole, a NUL in it shown as \0
    // as the profile's own escapes (\r, \n, \t) are, not cut off there.
    void testerSimTellsARefusedProfileWhole()
    {
        QTemporaryDir dir;
        const QString profile = dir.filePath(QStringLiteral("nul.json"));
        QFile file(profile);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(R"({"name": "ab\u0000cd", "request": "MEAS?", "requestEnd": "\r\n",)"
                   R"( "reply": {"resistance": {"field": 0}, "voltage": {"field": 1}}})");
        file.close();
        QProcess process;
        process.start(QCoreApplication::applicationDirPath() + QStringLiteral("/tester-sim"),
                      {QStringLiteral("--profile"), profile, QStringLiteral("--dir"), dir.path()});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 2);
        QCOMPARE(QString::fromLocal8Bit(process.readAllStandardError()),
                 QStringLiteral("tester-sim: Tester profile %1: key \"name\" holds \"\\0\", which is not a printable "
                                "ASCII character.\n").arg(profile));
    }
};

BIN4870_TEST(TestCommandLine)
#include "tst_commandline.moc"

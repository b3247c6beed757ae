#include "testmain.h"
#include "filecontent.h"

#include "settings/specificationfile.h"

#include <QDir>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

// Specification.ini: the limits kept, read back alike, and refused with a
// reason rather than read wrong.
class TestSpecificationFile : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aSpecificationIsKeptAndReadBack()
    {
        QTemporaryDir dir;
        const Result<spc::Specification> none = loadSpecification(dir.path());
        QVERIFY(none);
        QVERIFY(!none->givesLimits(0) && !none->givesLimits(1));

        spc::Specification spec;
        spec.quantities[0] = spc::SpecLimits{25.0, 45.5, 35.0};
        spec.quantities[1] = spc::SpecLimits{std::nullopt, 3.7, std::nullopt};
        QVERIFY(saveSpecification(dir.path(), spec));
        const Result<spc::Specification> read = loadSpecification(dir.path());
        QVERIFY2(read, qPrintable(read.errorString()));
        QVERIFY(*read == spec);
        QVERIFY(read->givesLimits(1));
        const QString text = QString::fromLatin1(readAll(specificationPath(dir.path())));
        QVERIFY2(text.contains(QLatin1String("[Resistance]")) && text.contains(QLatin1String("USL=45.5")), qPrintable(text));
    }

    // A value that is no number, limits that contradict each other, or a
    // file that is no regular file: a reason that names the file, never a
    // specification half read.
    void aDamagedFileIsRefusedWithItsReason_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("reason");
        QTest::newRow("comma as the decimal point") << QByteArray("[Resistance]\nLSL=25,5\n") << "\"25,5\" is no number";
        QTest::newRow("a word") << QByteArray("[Voltage]\nUSL=high\n") << "Voltage/USL: \"high\" is no number";
        QTest::newRow("limits crossed") << QByteArray("[Resistance]\nLSL=45\nUSL=25\n")
                                        << "[Resistance] the lower limit must be below the upper limit";
        QTest::newRow("target outside") << QByteArray("[Voltage]\nLSL=3.5\nUSL=3.7\nTarget=3.9\n")
                                        << "[Voltage] the target must lie within the limits";
    }
    void aDamagedFileIsRefusedWithItsReason()
    {
        QFETCH(QByteArray, content);
        QFETCH(QString, reason);
        QTemporaryDir dir;
        QVERIFY(writeFile(specificationPath(dir.path()), content));
        const Result<spc::Specification> read = loadSpecification(dir.path());
        QVERIFY(!read);
        QVERIFY2(read.errorString().contains(reason), qPrintable(read.errorString()));
        QVERIFY2(read.errorString().contains(QLatin1String("Specification.ini")), qPrintable(read.errorString()));
    }

    void aNamedPipeIsNotRead()
    {
        QTemporaryDir dir;
        QCOMPARE(::mkfifo(QFile::encodeName(specificationPath(dir.path())).constData(), 0600), 0);
        const Result<spc::Specification> read = loadSpecification(dir.path());
        QVERIFY(!read);
        QVERIFY2(read.errorString().contains(QLatin1String("is not a regular file")), qPrintable(read.errorString()));
    }

    void limitsAsTyped()
    {
        QCOMPARE(*parseSpecLimit(QStringLiteral(" 3.75 "), QStringLiteral("USL")), std::optional<double>(3.75));
        QVERIFY(!*parseSpecLimit(QString(), QStringLiteral("USL")));
        QVERIFY(!parseSpecLimit(QStringLiteral("nan"), QStringLiteral("USL")));
        QVERIFY(!parseSpecLimit(QStringLiteral("1e999"), QStringLiteral("USL")));
        QCOMPARE(specLimitText(0.1 + 0.2), QStringLiteral("0.3"));
        QCOMPARE(specLimitText(std::nullopt), QString());
    }
};

BIN4870_TEST(TestSpecificationFile)
#include "tst_specificationfile.moc"

#include "testmain.h"

#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/counterwindow.h"
#include "app/program/programmain.h"
#include "bins/bintables.h"
#include "session/measurementsession.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>

// A translation dropped beside the program reaches the windows and the
// logic library's messages, texts made before Qt runs included.
class TestTranslations : public QObject
{
    Q_OBJECT

private:
    static void removeTranslators()
    {
        for (QTranslator *translator : qApp->findChildren<QTranslator *>()) {
            QCoreApplication::removeTranslator(translator);
            delete translator;
        }
    }

    // bin4870_de.qm in <folder>/translations, made by lrelease from a few
    // translated texts.
    static bool writeGermanTranslation(const QString &folder)
    {
        const QString ts = QDir(folder).filePath(QStringLiteral("translations/bin4870_de.ts"));
        QDir(folder).mkpath(QStringLiteral("translations"));
        QFile file(ts);
        if (!file.open(QIODevice::WriteOnly))
            return false;
        file.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context><name>AboutWindow</name>
<message><source>BATTERY KELVANO BIN Measurement</source><translation>BATTERIE KELVANO BIN Messung</translation></message>
<message><source>OK</source><translation>Gut</translation></message>
</context>
<context><name>CounterWindow</name>
<message><source>RESET</source><translation>ZURUECKSETZEN</translation></message>
<message><source>RESISTANCE BIN NUM</source><translation>WIDERSTAND BIN ANZAHL</translation></message>
</context>
<context><name>MeasurementSession</name>
<message><source>The tester does not answer - the values shown are old.</source><translation>Das Messgeraet antwortet nicht.</translation></message>
</context>
</TS>
)");
        file.close();
        const int status = QProcess::execute(QStringLiteral(BIN4870_LRELEASE),
                                             {QStringLiteral("-silent"), ts});
        return status == 0 && QFile::exists(QDir(folder).filePath(QStringLiteral("translations/bin4870_de.qm")));
    }

private Q_SLOTS:
    void cleanup() { removeTranslators(); }

    void aTranslationBesideTheProgramReachesWindowsAndMessages()
    {
        QTemporaryDir program;
        QVERIFY(program.isValid());
        QVERIFY2(writeGermanTranslation(program.path()), "lrelease (qt6-l10n-tools) could not make the translation");

        // No translation for French: everything stays as written.
        QVERIFY(installTranslations(*qApp, program.path(), QLocale(QLocale::French)).isEmpty());
        QCOMPARE(MeasurementSession::noAnswerText(),
                 QStringLiteral("The tester does not answer - the values shown are old."));
        removeTranslators();

        const QString loaded = installTranslations(*qApp, program.path(), QLocale(QLocale::German, QLocale::Germany));
        QVERIFY2(loaded.endsWith(QLatin1String("translations/bin4870_de.qm")), qPrintable(loaded));

        AboutWindow about;
        QCOMPARE(about.findChild<QLabel *>(QStringLiteral("lblAppName"))->text(),
                 QStringLiteral("BATTERIE KELVANO BIN Messung"));
        QCOMPARE(about.findChild<QPushButton *>(QStringLiteral("cmdOK"))->text(), QStringLiteral("Gut"));

        BinTables tables;
        auto *counter = new CounterWindow(tables);
        QCOMPARE(counter->findChild<QPushButton *>(QStringLiteral("Command2"))->text(), QStringLiteral("ZURUECKSETZEN"));
        QVERIFY(counter->findChild<QWidget *>(QStringLiteral("Frame1"))->property("title").toString()
                == QStringLiteral("WIDERSTAND BIN ANZAHL"));
        delete counter;

        QCOMPARE(MeasurementSession::noAnswerText(), QStringLiteral("Das Messgeraet antwortet nicht."));
    }
};

BIN4870_TEST(TestTranslations)
#include "tst_translations.moc"

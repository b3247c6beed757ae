#include "testmain.h"

#include "app/mainwindow/aboutwindow.h"
#include "app/mainwindow/counterwindow.h"
#include "app/program/programmain.h"
#include "bins/bintables.h"
#include "pack/pool.h"
#include "record/forwarder.h"
#include "session/measurementsession.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMap>
#include <QProcess>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTranslator>
#include <QXmlStreamReader>

// A translation dropped beside the program reaches the windows and the
// logic library's messages, texts made before Qt runs included. Texts with a
// count read in English singular and plural in every language, unless the
// language's own translation has them.
class TestTranslations : public QObject
{
    Q_OBJECT

private:
    using PluralForms = QMap<QString, QStringList>; // "context: source" -> singular, plural

    // The numerus messages of a .ts file.
    static PluralForms pluralFormsIn(const QString &ts)
    {
        PluralForms forms;
        QFile file(ts);
        if (!file.open(QIODevice::ReadOnly))
            return forms;
        QXmlStreamReader xml(&file);
        QString context;
        QString source;
        QStringList numerus;
        while (!xml.atEnd()) {
            xml.readNext();
            if (xml.isStartElement()) {
                if (xml.name() == QLatin1String("name"))
                    context = xml.readElementText();
                else if (xml.name() == QLatin1String("source"))
                    source = xml.readElementText();
                else if (xml.name() == QLatin1String("numerusform"))
                    numerus << xml.readElementText();
            } else if (xml.isEndElement() && xml.name() == QLatin1String("message")) {
                if (!numerus.isEmpty())
                    forms.insert(context + QStringLiteral(": ") + source, numerus);
                numerus.clear();
            }
        }
        return forms;
    }

    static bool lrelease(const QString &ts)
    {
        return QProcess::execute(QStringLiteral(BIN4870_LRELEASE), {QStringLiteral("-silent"), ts}) == 0;
    }

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
        return lrelease(ts) && QFile::exists(QDir(folder).filePath(QStringLiteral("translations/bin4870_de.qm")));
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

        const QStringList loaded = installTranslations(*qApp, program.path(), QLocale(QLocale::German, QLocale::Germany));
        QCOMPARE(loaded.size(), 1);
        QVERIFY2(loaded.first().endsWith(QLatin1String("translations/bin4870_de.qm")), qPrintable(loaded.first()));

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

    // The program's own English forms, as the build puts them beside it, for a
    // language that has no translation of its own.
    void countTextsReadInEnglishWithoutATranslationOfTheLanguage()
    {
        const QStringList loaded =
                installTranslations(*qApp, QCoreApplication::applicationDirPath(), QLocale(QLocale::German));
        QCOMPARE(loaded.size(), 1);
        QVERIFY2(loaded.first().endsWith(QLatin1String("/translations/bin4870_en.qm")), qPrintable(loaded.first()));

        CentralStatus status{true, 1, QString()};
        QCOMPARE(status.text(), QStringLiteral("Central record: 1 cell waiting (sending)"));
        status.waiting = 2;
        QCOMPARE(status.text(), QStringLiteral("Central record: 2 cells waiting (sending)"));
        status = CentralStatus{true, 0, QStringLiteral("server not reachable")};
        QCOMPARE(status.text(), QStringLiteral("Central record: 0 cells waiting (server not reachable)"));

        // Texts marked before their count is known (QT_TRANSLATE_N_NOOP).
        PoolReport report;
        report.records = 1;
        report.taken = 2;
        report.inPack = 1;
        QCOMPARE(report.lines(), (QStringList{QStringLiteral("1 record read"), QStringLiteral("2 cells in the pool"),
                                              QStringLiteral("1 cell already in a pack")}));
    }

    // Installed: both in <prefix>/share/bin4870/translations, the program in
    // <prefix>/bin.
    void aLanguagesOwnTranslationComesBeforeTheEnglishForms()
    {
        QTemporaryDir prefix;
        QVERIFY(prefix.isValid());
        const QDir root(prefix.path());
        QVERIFY(root.mkpath(QStringLiteral("bin")) && root.mkpath(QStringLiteral("share/bin4870/translations")));
        const QString folder = root.filePath(QStringLiteral("share/bin4870/translations"));
        QVERIFY(QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/translations/bin4870_en.qm"),
                            folder + QStringLiteral("/bin4870_en.qm")));
        QFile ts(folder + QStringLiteral("/bin4870_de.ts"));
        QVERIFY(ts.open(QIODevice::WriteOnly));
        ts.write(R"(<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="de">
<context><name>Forwarder</name>
<message numerus="yes"><source>Central record: %n cell(s) waiting (%1)</source><translation>
<numerusform>Zentrale Aufzeichnung: %n Zelle wartet (%1)</numerusform>
<numerusform>Zentrale Aufzeichnung: %n Zellen warten (%1)</numerusform></translation></message>
<message><source>sending</source><translation>Senden</translation></message>
</context>
</TS>
)");
        ts.close();
        QVERIFY2(lrelease(ts.fileName()), "lrelease (qt6-l10n-tools) could not make the translation");
        const QString program = root.filePath(QStringLiteral("bin"));

        const QStringList german = installTranslations(*qApp, program, QLocale(QLocale::German, QLocale::Austria));
        QCOMPARE(german, (QStringList{folder + QStringLiteral("/bin4870_en.qm"), folder + QStringLiteral("/bin4870_de.qm")}));
        CentralStatus status{true, 1, QString()};
        QCOMPARE(status.text(), QStringLiteral("Zentrale Aufzeichnung: 1 Zelle wartet (Senden)"));
        status.waiting = 3;
        QCOMPARE(status.text(), QStringLiteral("Zentrale Aufzeichnung: 3 Zellen warten (Senden)"));
        PoolReport report;
        report.records = 1;
        QCOMPARE(report.lines().first(), QStringLiteral("1 record read"));
        removeTranslators();

        // English: the English forms once.
        QCOMPARE(installTranslations(*qApp, program, QLocale(QLocale::English, QLocale::UnitedKingdom)),
                 QStringList{folder + QStringLiteral("/bin4870_en.qm")});
        QCOMPARE(status.text(), QStringLiteral("Central record: 3 cells waiting (sending)"));
    }

    // A text with a count that has no English forms in the committed
    // translations/bin4870_en.ts shows "(s)" to the operator. The script that
    // writes the file writes it afresh here; what it makes must be there.
    void everyCountTextHasItsEnglishForms()
    {
        QTemporaryDir work;
        QVERIFY(work.isValid());
        const QString made = work.filePath(QStringLiteral("bin4870_en.ts"));
        QProcess script;
        script.setProcessChannelMode(QProcess::MergedChannels);
        script.start(QStringLiteral("bash"),
                     {QStringLiteral(BIN4870_SOURCE_DIR "/scripts/update-plurals.sh"), made});
        QVERIFY(script.waitForFinished(100000));
        QVERIFY2(script.exitStatus() == QProcess::NormalExit && script.exitCode() == 0, script.readAll().constData());

        const PluralForms wanted = pluralFormsIn(made);
        const QString forwarder = QStringLiteral("Forwarder: Central record: %n cell(s) waiting (%1)");
        QCOMPARE(wanted.value(forwarder),
                 (QStringList{QStringLiteral("Central record: %n cell waiting (%1)"),
                              QStringLiteral("Central record: %n cells waiting (%1)")}));
        QCOMPARE(wanted.value(QStringLiteral("CellIds: %n time(s)")),
                 (QStringList{QStringLiteral("once"), QStringLiteral("%n times")}));

        const PluralForms committed = pluralFormsIn(QStringLiteral(BIN4870_SOURCE_DIR "/translations/bin4870_en.ts"));
        QStringList problems;
        for (auto it = wanted.cbegin(); it != wanted.cend(); ++it) {
            const auto found = committed.constFind(it.key());
            if (found == committed.cend())
                problems << QStringLiteral("%1\n    has no English forms in translations/bin4870_en.ts").arg(it.key());
            else if (*found != it.value())
                problems << QStringLiteral("%1\n    reads \"%2\" there, the sources make \"%3\"")
                                    .arg(it.key(), found->join(QStringLiteral("\" / \"")),
                                         it.value().join(QStringLiteral("\" / \"")));
        }
        QVERIFY2(problems.isEmpty(),
                 qPrintable(QStringLiteral("Texts with a count (context: source):\n  %1\nRun bash "
                                           "scripts/update-plurals.sh and commit translations/bin4870_en.ts.")
                                    .arg(problems.join(QStringLiteral("\n  ")))));
    }
};

BIN4870_TEST(TestTranslations)
#include "tst_translations.moc"

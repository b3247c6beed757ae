#include "app/program/programmain.h"

#include "platform/journallog.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QStringList>
#include <QTranslator>

namespace {

// The first file that load(translator, folder) accepts, folder by folder.
template <typename Load>
QString firstFile(const QStringList &folders, Load load)
{
    for (const QString &folder : folders) {
        QTranslator translator;
        if (load(translator, folder))
            return translator.filePath();
    }
    return QString();
}

} // namespace

FileLocations detectLocations()
{
    // The per-user folders are named after the program whatever its file is called.
    QCoreApplication::setApplicationName(QStringLiteral("bin4870"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bin4870.bin4870"));
    return FileLocations::detect(QCoreApplication::applicationDirPath(),
                                 QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QStringList installTranslations(QCoreApplication &app, const QString &programDir, const QLocale &locale)
{
    auto *qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;

    const QDir program(programDir);
    const QStringList folders{QDir::cleanPath(program.filePath(QStringLiteral("translations"))),
                              QDir::cleanPath(program.filePath(QStringLiteral("../share/bin4870/translations")))};
    const QString english = firstFile(folders, [](QTranslator &t, const QString &folder) {
        return t.load(QStringLiteral("bin4870_en"), folder);
    });
    const QString own = firstFile(folders, [&locale](QTranslator &t, const QString &folder) {
        return t.load(locale, QStringLiteral("bin4870"), QStringLiteral("_"), folder);
    });
    // Qt asks the translator installed last first: the English forms answer
    // only what the language's own translation leaves out.
    QStringList loaded;
    for (const QString &file : {english, own}) {
        if (file.isEmpty() || loaded.contains(file))
            continue;
        auto *translator = new QTranslator(&app);
        if (translator->load(file)) {
            QCoreApplication::installTranslator(translator);
            loaded << file;
        } else {
            delete translator;
        }
    }
    return loaded;
}

Program::Program()
    : m_locations(detectLocations())
    , m_port(m_locations.settingsDir)
    , m_window(m_port, m_clock, m_dialogs, m_binTables, m_dataFile, m_locations)
{
    logProgramEventsToJournal();
    // Closing the window ends the program.
    m_window.setEndsProgram(true);
    m_dialogs.setParent(&m_window);
    QObject::connect(&m_terminationSignals, &TerminationSignals::received, &m_window,
                     [this] { m_window.close(); });
    m_window.show();
}

#include "app/program/programmain.h"

#include "platform/journallog.h"

#include <QApplication>
#include <QDir>
#include <QLibraryInfo>
#include <QLocale>
#include <QStandardPaths>
#include <QTranslator>

FileLocations detectLocations()
{
    // The per-user folders are named after the program whatever its file is called.
    QCoreApplication::setApplicationName(QStringLiteral("bin4870"));
    QGuiApplication::setDesktopFileName(QStringLiteral("org.bin4870.bin4870"));
    return FileLocations::detect(QCoreApplication::applicationDirPath(),
                                 QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
}

QString installTranslations(QCoreApplication &app, const QString &programDir, const QLocale &locale)
{
    auto *qt = new QTranslator(&app);
    if (qt->load(locale, QStringLiteral("qtbase"), QStringLiteral("_"),
                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qt);
    else
        delete qt;

    const QDir program(programDir);
    for (const QString &folder : {program.filePath(QStringLiteral("translations")),
                                  program.filePath(QStringLiteral("../share/bin4870/translations"))}) {
        auto *own = new QTranslator(&app);
        if (own->load(locale, QStringLiteral("bin4870"), QStringLiteral("_"), QDir::cleanPath(folder))) {
            QCoreApplication::installTranslator(own);
            return own->filePath();
        }
        delete own;
    }
    return QString();
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

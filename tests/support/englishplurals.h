#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QTranslator>

namespace englishplurals {

// Installs the English singular and plural forms the program ships
// (translations/bin4870_en.qm beside the test executables, built with them),
// so that a count text reads as the operator sees it ("1 cell", "2 cells")
// rather than as written in the source ("%n cell(s)"). False when the file
// cannot be loaded.
inline bool install()
{
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("bin4870_en"),
                          QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("translations")))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

} // namespace englishplurals

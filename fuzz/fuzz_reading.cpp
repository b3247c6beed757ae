// splitFields and the reply splitting: never a CR or LF in a reading field, never
// more than ten pieces, and splitFields's result matches what it stored.
#include "common/apperror.h"
#include "link/readingparser.h"
#include "link/fieldsplitter.h"

#include <QVector>

#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString text = QString::fromLatin1(reinterpret_cast<const char *>(data), qsizetype(size));

    QString rest = text;
    QVector<QString> pieces(11);
    const qint16 last = splitFields(rest, pieces, QStringLiteral(","));
    if (last < 0 || last > 9)
        std::abort();

    QVector<QString> tooSmall(3);
    QString again = text;
    try {
        splitFields(again, tooSmall, QStringLiteral(","));
    } catch (const AppError &) {
        // More pieces than elements: reported to the caller, never written past the end.
    }

    ReadingParser parser;
    parser.parseReading(text);
    for (const QString &field : parser.readingFields()) {
        if (field.contains(QLatin1Char('\r')) || field.contains(QLatin1Char('\n')))
            std::abort();
    }
    parser.displayText(0);
    parser.displayText(1);
    return 0;
}

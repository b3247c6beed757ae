#include "link/fieldsplitter.h"

#include <QCoreApplication>

namespace {
struct ErrorTexts
{
    Q_DECLARE_TR_FUNCTIONS(Errors)
};
constexpr int kMaxPieces = 10;
}

Result<qint16> splitFields(QString &text, QVector<QString> &pieces, const QString &separator)
{
    int i = 0;
    bool found = true;
    while (found && i < kMaxPieces) {
        if (i >= pieces.size())
            return Failure(ErrorKind::SubscriptOutOfRange, ErrorTexts::tr("Subscript out of range"));
        // An empty separator never matches: the whole text is one piece.
        const qsizetype p = separator.isEmpty() ? -1 : text.indexOf(separator, 0, Qt::CaseSensitive);
        found = p >= 0;
        if (found) {
            pieces[i] = text.left(p);
            text.remove(0, p + separator.size());
        } else {
            pieces[i] = text;
        }
        ++i;
    }
    return qint16(i - 1);
}

#include "link/token.h"

#include "common/apperror.h"

namespace {
constexpr int kMaxPieces = 10;
}

qint16 Token(QString &StrSub, QVector<QString> &str, const QString &strSepa)
{
    int i = 0;
    bool found = true;
    while (found && i < kMaxPieces) {
        if (i >= str.size())
            throw AppError(ErrorKind::SubscriptOutOfRange, QStringLiteral("Subscript out of range"));
        // An empty separator never matches: the whole text is one piece.
        const qsizetype p = strSepa.isEmpty() ? -1 : StrSub.indexOf(strSepa, 0, Qt::CaseSensitive);
        found = p >= 0;
        if (found) {
            str[i] = StrSub.left(p);
            StrSub.remove(0, p + strSepa.size());
        } else {
            str[i] = StrSub;
        }
        ++i;
    }
    return qint16(i - 1);
}

#include "cellid/cellid.h"

#include <QCoreApplication>

namespace {
struct CellIdTexts
{
    Q_DECLARE_TR_FUNCTIONS(CellIds)
};

// The pattern as the operator typed it: cellIdPattern() wraps it in "\A(?:"
// and ")\z" (QRegularExpression::anchoredPattern).
QString typedPattern(const QRegularExpression &pattern)
{
    const QString text = pattern.pattern();
    const QLatin1String before("\\A(?:");
    const QLatin1String after(")\\z");
    if (text.size() < before.size() + after.size() || !text.startsWith(before) || !text.endsWith(after))
        return text;
    return text.mid(before.size(), text.size() - before.size() - after.size());
}
} // namespace

std::optional<QString> cellIdProblem(const QString &rawId, const QRegularExpression &pattern)
{
    const QString id = normalisedCellId(rawId);
    if (id.isEmpty())
        return CellIdTexts::tr("The cell ID is empty.");
    if (id.size() > kMaxCellIdLength)
        return CellIdTexts::tr("The cell ID \"%1...\" is %2 characters long; at most %3 are allowed.")
                .arg(id.left(16)).arg(id.size()).arg(kMaxCellIdLength);
    for (const QChar c : id) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u > 0x7E) {
            return CellIdTexts::tr("The cell ID \"%1\" holds a character that is not allowed (%2): use "
                                   "letters A-Z, digits and printable ASCII signs only. Check the scanner's "
                                   "keyboard layout.")
                    .arg(id, u < 0x20 || u == 0x7F ? CellIdTexts::tr("a control character")
                                                   : QStringLiteral("\"%1\"").arg(c));
        }
        if (u == ',' || u == '"')
            return CellIdTexts::tr("The cell ID \"%1\" holds %2, which the data file cannot take in an ID.")
                    .arg(id, u == ',' ? CellIdTexts::tr("a comma") : CellIdTexts::tr("a double quote"));
    }
    const char16_t first = id.front().unicode();
    if (first == '=' || first == '+' || first == '-' || first == '@')
        return CellIdTexts::tr("The cell ID \"%1\" starts with \"%2\", which a spreadsheet reads as a formula.")
                .arg(id, id.front());
    if (!pattern.pattern().isEmpty() && pattern.isValid() && !pattern.match(id).hasMatch())
        return CellIdTexts::tr("The cell ID \"%1\" does not match the pattern of the options (%2): a misread "
                               "or a label of another kind. Scan it again.")
                .arg(id, typedPattern(pattern));
    return std::nullopt;
}

QString normalisedCellId(const QString &id)
{
    return id.trimmed();
}

QRegularExpression cellIdPattern(const QString &patternText)
{
    if (patternText.isEmpty())
        return QRegularExpression();
    return QRegularExpression(QRegularExpression::anchoredPattern(patternText));
}

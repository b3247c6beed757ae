#include "pack/capacitycsv.h"

#include "cellid/cellid.h"
#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QRegularExpression>
#include <QStringList>

#include <algorithm>
#include <fcntl.h>
#include <unistd.h>

namespace {
struct CsvTexts
{
    Q_DECLARE_TR_FUNCTIONS(CapacityCsv)
};

// One row as split: the line it starts on and its fields.
struct RawRow
{
    int line = 0;
    QStringList fields;
    bool openQuote = false; // the file ended inside a quoted field
    bool blank = false;     // nothing but blanks, and no quotes
};

// Splits text into rows of fields: a field in double quotes may hold the
// separator, line breaks and "" for one quote. CR LF, LF and a lone CR end a
// row; a line break at the very end makes no further row.
std::vector<RawRow> splitRows(const QString &text, QChar separator)
{
    std::vector<RawRow> rows;
    const qsizetype n = text.size();
    qsizetype i = 0;
    int line = 1;
    while (i < n) {
        RawRow row;
        row.line = line;
        QString field;
        bool quoted = false;   // this field started with a quote
        bool inQuotes = false;
        bool anyQuote = false;
        bool ended = false;
        while (i < n && !ended) {
            const QChar ch = text.at(i);
            if (inQuotes) {
                if (ch == QLatin1Char('"')) {
                    if (i + 1 < n && text.at(i + 1) == QLatin1Char('"')) {
                        field += ch;
                        i += 2;
                        continue;
                    }
                    inQuotes = false;
                } else {
                    if (ch == QLatin1Char('\n') || (ch == QLatin1Char('\r') && (i + 1 >= n || text.at(i + 1) != QLatin1Char('\n'))))
                        ++line;
                    field += ch;
                }
                ++i;
            } else if (ch == QLatin1Char('"') && !quoted && field.trimmed().isEmpty()) {
                field.clear();
                quoted = inQuotes = anyQuote = true;
                ++i;
            } else if (ch == separator) {
                row.fields << field;
                field.clear();
                quoted = false;
                ++i;
            } else if (ch == QLatin1Char('\r') || ch == QLatin1Char('\n')) {
                i += (ch == QLatin1Char('\r') && i + 1 < n && text.at(i + 1) == QLatin1Char('\n')) ? 2 : 1;
                ++line;
                ended = true;
            } else {
                field += ch;
                ++i;
            }
        }
        row.fields << field;
        row.openQuote = inQuotes;
        row.blank = !anyQuote && row.fields.size() == 1 && field.trimmed().isEmpty();
        rows.push_back(std::move(row));
    }
    return rows;
}

// The field count most rows have (the first such count on a tie).
int usualFieldCount(const std::vector<RawRow> &rows)
{
    std::vector<std::pair<int, int>> counts; // field count, rows, in order of first sight
    for (const RawRow &row : rows) {
        if (row.blank || row.openQuote)
            continue;
        const int size = int(row.fields.size());
        auto it = std::find_if(counts.begin(), counts.end(), [size](const auto &c) { return c.first == size; });
        if (it == counts.end())
            counts.emplace_back(size, 1);
        else
            ++it->second;
    }
    int best = 0;
    int bestRows = 0;
    for (const auto &[size, number] : counts) {
        if (number > bestRows) {
            best = size;
            bestRows = number;
        }
    }
    return best;
}

// A capacity as the file writes it, or why it is none.
Result<CapacityValue> capacityOf(const QString &field, int column, bool decimalComma)
{
    const QString text = field.trimmed();
    if (text.isEmpty())
        return Failure(CsvTexts::tr("no capacity in column %1").arg(column));
    static const QRegularExpression shape(QStringLiteral("^([+-]?)(\\d+)(?:([.,])(\\d+))?$"));
    const QRegularExpressionMatch match = shape.match(text);
    if (!match.hasMatch())
        return Failure(CsvTexts::tr("capacity \"%1\" is not a number").arg(text));
    const QString mark = match.captured(3);
    if (!mark.isEmpty() && (mark == QLatin1String(",")) != decimalComma) {
        return Failure(decimalComma
                               ? CsvTexts::tr("capacity \"%1\" has a decimal point; the file is set for a decimal comma")
                                         .arg(text)
                               : CsvTexts::tr("capacity \"%1\" has a decimal comma; the file is set for a decimal point")
                                         .arg(text));
    }
    if (match.captured(1) == QLatin1String("-"))
        return Failure(CsvTexts::tr("capacity \"%1\" is negative").arg(text));
    const QString decimals = match.captured(4);
    CapacityValue value;
    value.text = text;
    value.mah = QLocale::c().toDouble(match.captured(2) + QLatin1Char('.') + (decimals.isEmpty() ? QStringLiteral("0") : decimals));
    if (!(value.mah > 0))
        return Failure(CsvTexts::tr("capacity \"%1\" is not above 0").arg(text));
    if (value.mah > kMaxCapacityMah)
        return Failure(CsvTexts::tr("capacity \"%1\" is more than %2 mAh").arg(text).arg(kMaxCapacityMah, 0, 'f', 0));
    return value;
}

QString rowList(const std::vector<int> &rows, int except)
{
    QStringList numbers;
    for (int row : rows) {
        if (row != except)
            numbers << QString::number(row);
    }
    return numbers.join(QStringLiteral(", "));
}

} // namespace

bool CapacityColumns::operator==(const CapacityColumns &other) const
{
    return idColumn == other.idColumn && capacityColumn == other.capacityColumn && headerRow == other.headerRow
        && separator == other.separator && decimalComma == other.decimalComma;
}

std::optional<QString> capacityColumnsProblem(const CapacityColumns &columns)
{
    for (int column : {columns.idColumn, columns.capacityColumn}) {
        if (column < 1 || column > kMaxCapacityColumn)
            return CsvTexts::tr("Columns are counted from 1 to %1.").arg(kMaxCapacityColumn);
    }
    if (columns.idColumn == columns.capacityColumn)
        return CsvTexts::tr("The cell ID and the capacity need columns of their own.");
    if (!QStringLiteral(",;\t|").contains(columns.separator))
        return CsvTexts::tr("The separator must be a comma, a semicolon, a tab or a vertical bar.");
    if (columns.decimalComma && columns.separator == QLatin1Char(','))
        return CsvTexts::tr("A decimal comma needs another separator than the comma.");
    return std::nullopt;
}

Result<CapacityImport> readCapacityCsv(const QByteArray &content, const CapacityColumns &columns,
                                       const std::set<QString> &knownIds)
{
    if (const auto problem = capacityColumnsProblem(columns))
        return Failure(*problem);
    QByteArray bytes = content;
    if (bytes.startsWith("\xEF\xBB\xBF"))
        bytes.remove(0, 3);
    std::vector<RawRow> rows = splitRows(QString::fromUtf8(bytes), columns.separator);

    int expected = 0;
    std::size_t first = 0;
    if (columns.headerRow && !rows.empty()) {
        expected = int(rows.front().fields.size());
        first = 1;
    } else {
        expected = usualFieldCount(rows);
    }
    const int needed = std::max(columns.idColumn, columns.capacityColumn);
    if (first < rows.size() && expected > 0 && expected < needed) {
        return Failure(columns.headerRow
                               ? CsvTexts::tr("The header has %n field(s); there is no column %1.", nullptr, expected)
                                         .arg(needed)
                               : CsvTexts::tr("The rows have %n field(s); there is no column %1.", nullptr, expected)
                                         .arg(needed));
    }

    CapacityImport result;
    // The rows that name each valid ID, and the capacity of those that gave one.
    std::map<QString, std::vector<int>> rowsOfId;
    std::map<int, std::pair<QString, CapacityValue>> good;
    const auto fail = [&result](int row, const QString &reason) { result.problems.push_back({row, reason}); };
    for (std::size_t at = first; at < rows.size(); ++at) {
        const RawRow &row = rows[at];
        ++result.dataRows;
        if (row.blank) {
            fail(row.line, CsvTexts::tr("empty row"));
            continue;
        }
        if (row.openQuote) {
            fail(row.line, CsvTexts::tr("a quoted field is not closed"));
            continue;
        }
        const int size = int(row.fields.size());
        if (size != expected) {
            QString reason = columns.headerRow
                    ? CsvTexts::tr("%n field(s) where the header has %1", nullptr, size).arg(expected)
                    : CsvTexts::tr("%n field(s) where most rows have %1", nullptr, size).arg(expected);
            if (size > expected && columns.separator == QLatin1Char(','))
                reason += CsvTexts::tr(" (a comma inside a number? Write numbers without a thousands separator, "
                                       "or put the field in double quotes)");
            fail(row.line, reason);
            continue;
        }
        const QString id = normalisedCellId(row.fields.at(columns.idColumn - 1));
        if (id.isEmpty()) {
            fail(row.line, CsvTexts::tr("no cell ID in column %1").arg(columns.idColumn));
            continue;
        }
        if (const auto problem = cellIdProblem(id)) {
            fail(row.line, *problem);
            continue;
        }
        rowsOfId[id].push_back(row.line);
        const Result<CapacityValue> capacity =
                capacityOf(row.fields.at(columns.capacityColumn - 1), columns.capacityColumn, columns.decimalComma);
        if (!capacity) {
            fail(row.line, capacity.errorString());
            continue;
        }
        if (knownIds.count(id) == 0) {
            fail(row.line, CsvTexts::tr("unknown cell ID %1: no record holds it").arg(id));
            continue;
        }
        good.emplace(row.line, std::make_pair(id, *capacity));
    }

    for (const auto &[line, entry] : good) {
        const std::vector<int> &lines = rowsOfId.at(entry.first);
        if (lines.size() > 1)
            fail(line, CsvTexts::tr("cell ID %1 is also in row(s) %2: its capacity is left out", nullptr,
                                    int(lines.size()) - 1)
                               .arg(entry.first, rowList(lines, line)));
        else
            result.capacities.emplace(entry.first, entry.second);
    }
    std::stable_sort(result.problems.begin(), result.problems.end(),
                     [](const CapacityRowProblem &a, const CapacityRowProblem &b) { return a.row < b.row; });
    return result;
}

Result<CapacityImport> readCapacityFile(const QString &path, const CapacityColumns &columns,
                                        const std::set<QString> &knownIds)
{
    const Result<int> opened = regularfile::open(path, O_RDONLY);
    if (!opened)
        return opened.failure();
    QFile file;
    if (!file.open(*opened, QIODevice::ReadOnly, QFileDevice::AutoCloseHandle)) {
        ::close(*opened);
        return Failure(ErrorKind::FileIo, CsvTexts::tr("Cannot read %1").arg(QDir::toNativeSeparators(path)));
    }
    if (file.size() > kMaxCapacityFileBytes)
        return Failure(ErrorKind::FileIo, CsvTexts::tr("%1 is larger than %2 MB")
                                                  .arg(QDir::toNativeSeparators(path))
                                                  .arg(kMaxCapacityFileBytes / (1024 * 1024)));
    const QByteArray content = file.read(kMaxCapacityFileBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Failure(ErrorKind::FileIo,
                       CsvTexts::tr("Cannot read %1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return readCapacityCsv(content, columns, knownIds);
}

int applyCapacities(std::vector<PoolCell> &cells, const CapacityImport &import)
{
    int applied = 0;
    for (PoolCell &cell : cells) {
        const auto it = import.capacities.find(cell.cellId);
        if (it == import.capacities.end())
            continue;
        cell.capacityMah = it->second.mah;
        cell.capacityText = it->second.text;
        ++applied;
    }
    return applied;
}

#include "pack/plansheet.h"

#include "platform/regularfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

#include <cmath>

namespace {
struct SheetTexts
{
    Q_DECLARE_TR_FUNCTIONS(PlanSheet)
};

QByteArray csvField(const QString &text)
{
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\n'))
        && !text.contains(QLatin1Char('\r')))
        return text.toUtf8();
    QString quoted = text;
    quoted.replace(QLatin1Char('"'), QLatin1String("\"\""));
    return '"' + quoted.toUtf8() + '"';
}

QString number(double value, int decimals)
{
    return QLocale::c().toString(value, 'f', decimals);
}

// A plain number with "." or "," as the decimal mark; nothing for anything else.
std::optional<double> plainNumber(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\d+([.,]\\d*)?$|^[.,]\\d+$"));
    if (!shape.match(text).hasMatch())
        return std::nullopt;
    bool ok = false;
    const double value = QString(text).replace(QLatin1Char(','), QLatin1Char('.')).toDouble(&ok);
    return ok && std::isfinite(value) ? std::optional<double>(value) : std::nullopt;
}

} // namespace

Result<std::pair<int, int>> parsePackShape(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*(\\d{1,6})\\s*[sS]\\s*(\\d{1,6})\\s*[pP]\\s*$"));
    const QRegularExpressionMatch match = shape.match(text);
    const int series = match.hasMatch() ? match.captured(1).toInt() : 0;
    const int parallel = match.hasMatch() ? match.captured(2).toInt() : 0;
    if (series < 1 || parallel < 1)
        return Failure(SheetTexts::tr("\"%1\" is no pack shape: write the groups in series and the cells in "
                                      "parallel, as in 14s40p").arg(text));
    return std::pair{series, parallel};
}

Result<std::pair<double, SpreadUnit>> parseGroupWindow(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*([0-9.,]+)\\s*(%|mohm|mΩ)\\s*$"),
                                          QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch match = shape.match(text);
    const std::optional<double> value = match.hasMatch() ? plainNumber(match.captured(1)) : std::nullopt;
    if (!value || *value <= 0)
        return Failure(SheetTexts::tr("\"%1\" is no group window: write a number above 0 with % or mOhm, as in "
                                      "5 % or 0.5 mOhm").arg(text));
    if (match.captured(2) == QLatin1String("%"))
        return std::pair{*value, SpreadUnit::Percent};
    return std::pair{*value / 1000, SpreadUnit::Ohm};
}

Result<double> parseVoltageWindow(const QString &text)
{
    static const QRegularExpression shape(QStringLiteral("^\\s*([0-9.,]+)\\s*[vV]?\\s*$"));
    const QRegularExpressionMatch match = shape.match(text);
    const std::optional<double> value = match.hasMatch() ? plainNumber(match.captured(1)) : std::nullopt;
    if (!value)
        return Failure(SheetTexts::tr("\"%1\" is no voltage window: write volts, as in 0.05").arg(text));
    return *value;
}

QString milliOhmText(double ohm, int decimals)
{
    return number(ohm * 1000, decimals);
}

QString PlanSheet::identityLine() const
{
    return SheetTexts::tr("Seed %1, algorithm \"%2\", input %3")
            .arg(QString::number(plan.settings.seed), plan.algorithm, plan.inputHash);
}

QStringList PlanSheet::tradeLines() const
{
    QStringList lines;
    const bool percent = plan.settings.groupWindowUnit == SpreadUnit::Percent;
    for (const WindowTradeRow &row : trade) {
        const QString window = percent ? SheetTexts::tr("%1 %").arg(QLocale::c().toString(row.groupWindow, 'g', 4))
                                       : SheetTexts::tr("%1 mOhm").arg(milliOhmText(row.groupWindow, 3));
        if (!row.planned) {
            lines << SheetTexts::tr("Group window %1: %n cell(s) within it; %2", nullptr, row.choosableCells)
                             .arg(window, row.failure);
            continue;
        }
        QString line = SheetTexts::tr("Group window %1: %n cell(s) within it; group resistance range %2 %", nullptr,
                                      row.choosableCells)
                               .arg(window, QLocale::c().toString(row.figures.groupResistanceRangePercent, 'g', 3));
        if (row.figures.hasCapacity)
            line += SheetTexts::tr(", capacity range %1 mAh").arg(number(row.figures.capacityRangeMah, 1));
        line += SheetTexts::tr(", worst in-group spread %1 mOhm").arg(milliOhmText(row.figures.worstGroupSpreadOhm));
        lines << line;
    }
    return lines;
}

QByteArray planCsv(const PlanSheet &sheet)
{
    QByteArray csv = "group,position,cell_id,resistance_ohm,voltage_v,capacity_mah,group_resistance_ohm,"
                     "group_capacity_mah,record_id,bench,measured_at\r\n";
    const PackGroups &groups = sheet.plan.groups;
    for (std::size_t g = 0; g < groups.size(); ++g) {
        const GroupFigures figures = groupFiguresOf(groups[g]);
        const QByteArray groupResistance = QByteArray::number(figures.resistanceOhm, 'g', 9);
        const QByteArray groupCapacity = figures.hasCapacity ? QByteArray::number(figures.capacityMah, 'g', 10) : QByteArray();
        for (std::size_t p = 0; p < groups[g].size(); ++p) {
            const PoolCell &cell = groups[g][p];
            csv += QByteArray::number(qulonglong(g + 1)) + ',' + QByteArray::number(qulonglong(p + 1)) + ','
                 + csvField(cell.cellId) + ',' + csvField(cell.resistanceText) + ',' + csvField(cell.voltageText) + ','
                 + csvField(cell.capacityText) + ',' + groupResistance + ',' + groupCapacity + ','
                 + (cell.recordId.isNull() ? QByteArray() : cell.recordId.toByteArray(QUuid::WithoutBraces)) + ','
                 + csvField(cell.bench) + ','
                 + (cell.measuredAt.isValid() ? cell.measuredAt.toString(Qt::ISODate).toUtf8() : QByteArray()) + "\r\n";
        }
    }
    return csv;
}

QString replaceRefusal(const QString &path)
{
    const Result<regularfile::Kind> kind = regularfile::kindOf(path);
    if (!kind || *kind == regularfile::Kind::Missing || *kind == regularfile::Kind::Regular
        || *kind == regularfile::Kind::Unknown)
        return QString();
    return SheetTexts::tr("%1 is %2, not a regular file").arg(QDir::toNativeSeparators(path), regularfile::describe(*kind));
}

Status writePlanCsv(const PlanSheet &sheet, const QString &path)
{
    if (const QString refusal = replaceRefusal(path); !refusal.isEmpty())
        return Failure(ErrorKind::FileIo, refusal);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    file.write(planCsv(sheet));
    // Looked at again: something else may have taken the name meanwhile.
    if (const QString refusal = replaceRefusal(path); !refusal.isEmpty()) {
        file.cancelWriting();
        return Failure(ErrorKind::FileIo, refusal);
    }
    if (!file.commit())
        return Failure(ErrorKind::FileIo, QStringLiteral("%1: %2").arg(QDir::toNativeSeparators(path), file.errorString()));
    return {};
}

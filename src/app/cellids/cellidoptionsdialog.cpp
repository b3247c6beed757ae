#include "app/cellids/cellidoptionsdialog.h"

#include "app/style/warninglabel.h"

#include <QCheckBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

CellIdOptionsDialog::CellIdOptionsDialog(const CellIdOptions &options, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("cellIdOptionsDialog"));
    setWindowTitle(tr("Cell IDs"));

    auto *layout = new QVBoxLayout(this);
    const auto box = [this, layout](const QString &text, const char *name) {
        auto *check = new QCheckBox(text, this);
        check->setObjectName(QLatin1String(name));
        layout->addWidget(check);
        return check;
    };
    m_enabledBox = box(tr("&Use cell IDs: scan or type each cell's ID before it is counted"), "cellIdsBox");
    m_allowBox = box(tr("&Allow cells without an ID"), "allowWithoutIdBox");
    m_writeBox = box(tr("&Write cell IDs to the data file (a fifth field)"), "writeCellIdsBox");
    m_scanFirstBox = box(tr("Scan &before placing: refuse a scan while a cell is on the probes"),
                         "scanBeforePlacingBox");
    m_scanFirstBox->setAccessibleName(m_scanFirstBox->text().remove(QLatin1Char('&')));

    auto *form = new QFormLayout;
    const auto field = [this, form](const QString &caption, const char *name, int maxLength) {
        auto *edit = new QLineEdit(this);
        edit->setObjectName(QLatin1String(name));
        edit->setMaxLength(maxLength);
        form->addRow(caption, edit);
        return edit;
    };
    m_pattern = field(tr("ID &pattern (regular expression, empty for any):"), "patternField", 200);
    m_prefix = field(tr("Scanner p&refix:"), "prefixField", CellIdOptions::kMaxFrameLength);
    m_suffix = field(tr("Scanner s&uffix:"), "suffixField", CellIdOptions::kMaxFrameLength);
    m_rest = field(tr("Minimum &rest before the K-value (d, h or min):"), "restField", 16);
    m_limit = field(tr("&K limit (mV/day):"), "kLimitField", 16);
    m_resistanceShare = field(tr("Ask when the resistance differs from the last record by more than (%):"),
                              "resistanceShareField", 16);
    m_resistanceShare->setAccessibleName(tr("Ask when the resistance differs from the last record by more than (%)"));
    m_voltageMargin = field(tr("Ask when the voltage is higher than the last record by the resolution and (mV):"),
                            "voltageMarginField", 16);
    m_voltageMargin->setAccessibleName(
            tr("Ask when the voltage is higher than the last record by the resolution and (mV)"));
    layout->addLayout(form);

    m_errorText = newDialogErrorLabel(this);
    layout->addWidget(m_errorText);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->setObjectName(QStringLiteral("buttons"));
    layout->addWidget(buttons);
    connect(buttons, &QDialogButtonBox::accepted, this, &CellIdOptionsDialog::onOk);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    showOptions(options);
}

void CellIdOptionsDialog::showOptions(const CellIdOptions &options)
{
    m_enabledBox->setChecked(options.enabled);
    m_allowBox->setChecked(options.allowWithoutId);
    m_writeBox->setChecked(options.writeToDataFile);
    m_pattern->setText(options.pattern);
    m_prefix->setText(options.prefix);
    m_suffix->setText(options.suffix);
    m_rest->setText(restText(options.minimumRestMinutes));
    m_limit->setText(kLimitText(options.kLimitMvPerDay));
    m_scanFirstBox->setChecked(options.scanBeforePlacing);
    m_resistanceShare->setText(thresholdText(options.resistancePercent));
    m_voltageMargin->setText(thresholdText(options.voltageMarginMv));
}

void CellIdOptionsDialog::refuse(QLineEdit *field, const QString &text)
{
    m_errorText->setText(text);
    m_errorText->show();
    field->setFocus(Qt::OtherFocusReason);
    field->selectAll();
}

void CellIdOptionsDialog::onOk()
{
    CellIdOptions options;
    options.enabled = m_enabledBox->isChecked();
    options.allowWithoutId = m_allowBox->isChecked();
    options.writeToDataFile = m_writeBox->isChecked();
    options.pattern = m_pattern->text();
    options.prefix = m_prefix->text();
    options.suffix = m_suffix->text();
    if (const Status pattern = checkPattern(options.pattern); !pattern)
        return refuse(m_pattern, pattern.errorString());
    if (const Status prefix = checkFrame(tr("Scanner prefix"), options.prefix); !prefix)
        return refuse(m_prefix, prefix.errorString());
    if (const Status suffix = checkFrame(tr("Scanner suffix"), options.suffix); !suffix)
        return refuse(m_suffix, suffix.errorString());
    const Result<qint64> rest = parseRestText(m_rest->text());
    if (!rest)
        return refuse(m_rest, rest.errorString());
    const Result<double> limit = parseKLimitText(m_limit->text());
    if (!limit)
        return refuse(m_limit, limit.errorString());
    const Result<double> share = parseResistancePercentText(m_resistanceShare->text());
    if (!share)
        return refuse(m_resistanceShare, share.errorString());
    const Result<double> margin = parseVoltageMarginText(m_voltageMargin->text());
    if (!margin)
        return refuse(m_voltageMargin, margin.errorString());
    options.scanBeforePlacing = m_scanFirstBox->isChecked();
    options.minimumRestMinutes = *rest;
    options.kLimitMvPerDay = *limit;
    options.resistancePercent = *share;
    options.voltageMarginMv = *margin;
    m_errorText->hide();
    Q_EMIT chosen(options);
    accept();
}

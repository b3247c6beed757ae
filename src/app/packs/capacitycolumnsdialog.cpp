#include "app/packs/capacitycolumnsdialog.h"

#include "app/style/warninglabel.h"
#include "settings/capacitycsvoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QSpinBox>
#include <QVBoxLayout>

CapacityColumnsDialog::CapacityColumnsDialog(QString settingsFolder, QWidget *parent)
    : QDialog(parent), m_folder(std::move(settingsFolder))
{
    setObjectName(QStringLiteral("capacityColumnsDialog"));
    setWindowTitle(tr("Columns of the capacity file"));
    setWindowModality(Qt::WindowModal);
    const Result<CapacityColumns> loaded = loadCapacityColumns(m_folder);
    const CapacityColumns stored = loaded.valueOr(CapacityColumns());

    auto *layout = new QVBoxLayout(this);
    auto *form = new QFormLayout;
    const auto column = [](const char *name, int value) {
        auto *box = new QSpinBox;
        box->setObjectName(QLatin1String(name));
        box->setRange(1, kMaxCapacityColumn);
        box->setValue(value);
        return box;
    };
    m_idColumn = column("idColumnBox", stored.idColumn);
    m_capacityColumn = column("capacityColumnBox", stored.capacityColumn);
    auto *idCaption = new QLabel(tr("Cell &ID column:"));
    idCaption->setBuddy(m_idColumn);
    m_idColumn->setAccessibleName(tr("Cell ID column"));
    form->addRow(idCaption, m_idColumn);
    auto *capacityCaption = new QLabel(tr("&Capacity column (mAh):"));
    capacityCaption->setBuddy(m_capacityColumn);
    m_capacityColumn->setAccessibleName(tr("Capacity column (mAh)"));
    form->addRow(capacityCaption, m_capacityColumn);
    m_separator = new QComboBox;
    m_separator->setObjectName(QStringLiteral("separatorBox"));
    m_separator->setAccessibleName(tr("Separator"));
    for (const auto &[text, separator] : {std::pair{tr("comma ,"), QLatin1Char(',')}, std::pair{tr("semicolon ;"), QLatin1Char(';')},
                                          std::pair{tr("tab"), QLatin1Char('\t')}, std::pair{tr("bar |"), QLatin1Char('|')}}) {
        m_separator->addItem(text, QString(separator));
        if (stored.separator == separator)
            m_separator->setCurrentIndex(m_separator->count() - 1);
    }
    auto *separatorCaption = new QLabel(tr("&Separator:"));
    separatorCaption->setBuddy(m_separator);
    form->addRow(separatorCaption, m_separator);
    m_headerRow = new QCheckBox(tr("The first row is a &header"));
    m_headerRow->setObjectName(QStringLiteral("headerRowCheck"));
    m_headerRow->setChecked(stored.headerRow);
    form->addRow(m_headerRow);
    m_decimalComma = new QCheckBox(tr("&Decimal comma (3012,5)"));
    m_decimalComma->setObjectName(QStringLiteral("decimalCommaCheck"));
    m_decimalComma->setChecked(stored.decimalComma);
    form->addRow(m_decimalComma);
    layout->addLayout(form);

    m_problem = new QLabel;
    m_problem->setObjectName(QStringLiteral("columnsProblem"));
    m_problem->setWordWrap(true);
    QPalette palette = m_problem->palette();
    palette.setColor(QPalette::WindowText, warningColour());
    m_problem->setPalette(palette);
    m_problem->setText(loaded.errorString());
    m_problem->setAccessibleName(loaded.errorString());
    m_problem->setVisible(!loaded);
    layout->addWidget(m_problem);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(buttons, &QDialogButtonBox::accepted, this, &CapacityColumnsDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &CapacityColumnsDialog::reject);
    layout->addWidget(buttons);
}

CapacityColumns CapacityColumnsDialog::columns() const
{
    CapacityColumns columns;
    columns.idColumn = m_idColumn->value();
    columns.capacityColumn = m_capacityColumn->value();
    columns.headerRow = m_headerRow->isChecked();
    columns.separator = m_separator->currentData().toString().front();
    columns.decimalComma = m_decimalComma->isChecked();
    return columns;
}

void CapacityColumnsDialog::accept()
{
    const Status saved = saveCapacityColumns(m_folder, columns());
    if (!saved) {
        m_problem->setText(saved.errorString());
        m_problem->setAccessibleName(saved.errorString());
        m_problem->show();
        return;
    }
    QDialog::accept();
}

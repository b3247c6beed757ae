#include "app/packs/planchoices.h"

#include "app/packs/packplaces.h"
#include "pack/plansheet.h"
#include "settings/capacitycsvoptions.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

// The BINs a list names: "2, 3,+Out".
QStringList binsOf(const QString &text)
{
    QStringList bins;
    for (const QString &part : text.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        if (!part.trimmed().isEmpty())
            bins << part.trimmed();
    }
    return bins;
}

// A field with a caption whose mnemonic gives it the focus.
QLabel *caption(const QString &text, QWidget *buddy)
{
    auto *label = new QLabel(text);
    label->setBuddy(buddy);
    buddy->setAccessibleName(QString(text).remove(QLatin1Char('&')).remove(QLatin1Char(':')));
    return label;
}

} // namespace

PlanChoices::PlanChoices(const PackPlaces &places, QWidget *parent) : QWidget(parent), m_places(places)
{
    setObjectName(QStringLiteral("planChoices"));
    auto *layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(buildCells(), 1);
    layout->addWidget(buildPack(), 1);
    updateEnabled();
}

QWidget *PlanChoices::buildCells()
{
    auto *group = new QGroupBox(tr("Cells"));
    auto *form = new QFormLayout(group);

    m_source = new QComboBox;
    m_source->setObjectName(QStringLiteral("sourceBox"));
    m_source->addItem(tr("Record journal"), int(PoolSource::Kind::Journal));
    m_source->addItem(tr("Shared database"), int(PoolSource::Kind::Central));
    m_source->addItem(tr("Data file (plan only)"), int(PoolSource::Kind::DataFile));
    form->addRow(caption(tr("&Source:"), m_source), m_source);

    m_dataFile = new QLineEdit;
    m_dataFile->setObjectName(QStringLiteral("dataFileField"));
    m_dataBrowse = new QPushButton(tr("Bro&wse..."));
    m_dataBrowse->setObjectName(QStringLiteral("dataBrowseButton"));
    m_dataBrowse->setAccessibleName(tr("Browse for the data file"));
    auto *dataRow = new QHBoxLayout;
    dataRow->addWidget(m_dataFile, 1);
    dataRow->addWidget(m_dataBrowse);
    form->addRow(caption(tr("&Data file:"), m_dataFile), dataRow);

    m_bench = new QLineEdit;
    m_bench->setObjectName(QStringLiteral("benchField"));
    m_bench->setPlaceholderText(tr("every bench"));
    form->addRow(caption(tr("&Bench:"), m_bench), m_bench);

    const QDateTime now = QDateTime::currentDateTime();
    m_fromOn = new QCheckBox(tr("Fr&om"));
    m_fromOn->setObjectName(QStringLiteral("fromCheck"));
    m_from = new QDateTimeEdit(now.addDays(-7));
    m_from->setObjectName(QStringLiteral("fromEdit"));
    m_from->setAccessibleName(tr("From"));
    m_toOn = new QCheckBox(tr("&To"));
    m_toOn->setObjectName(QStringLiteral("toCheck"));
    m_to = new QDateTimeEdit(now.addDays(1));
    m_to->setObjectName(QStringLiteral("toEdit"));
    m_to->setAccessibleName(tr("To"));
    for (QDateTimeEdit *edit : {m_from, m_to})
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
    form->addRow(m_fromOn, m_from);
    form->addRow(m_toOn, m_to);

    m_resistanceBins = new QLineEdit;
    m_resistanceBins->setObjectName(QStringLiteral("resistanceBinsField"));
    m_resistanceBins->setPlaceholderText(tr("every BIN, or e.g. 2,3,4"));
    form->addRow(caption(tr("&Resistance BINs:"), m_resistanceBins), m_resistanceBins);
    m_voltageBins = new QLineEdit;
    m_voltageBins->setObjectName(QStringLiteral("voltageBinsField"));
    m_voltageBins->setPlaceholderText(tr("every BIN, or e.g. 2,3"));
    form->addRow(caption(tr("Voltage B&INs:"), m_voltageBins), m_voltageBins);

    m_kVerdict = new QComboBox;
    m_kVerdict->setObjectName(QStringLiteral("kVerdictBox"));
    m_kVerdict->addItem(tr("not too high (unknown stays in)"), int(KVerdictFilter::NotTooHigh));
    m_kVerdict->addItem(tr("OK only"), int(KVerdictFilter::OkOnly));
    m_kVerdict->addItem(tr("any"), int(KVerdictFilter::Any));
    form->addRow(caption(tr("&K-value:"), m_kVerdict), m_kVerdict);

    m_withoutFailedRetests = new QCheckBox(tr("Leave out &failed re-tests"));
    m_withoutFailedRetests->setObjectName(QStringLiteral("failedRetestCheck"));
    m_withoutFailedRetests->setChecked(true);
    form->addRow(m_withoutFailedRetests);

    connect(m_source, &QComboBox::currentIndexChanged, this, [this] {
        updateEnabled();
        Q_EMIT changed();
    });
    connect(m_fromOn, &QCheckBox::toggled, this, &PlanChoices::updateEnabled);
    connect(m_toOn, &QCheckBox::toggled, this, &PlanChoices::updateEnabled);
    connect(m_dataBrowse, &QPushButton::clicked, this, [this] { Q_EMIT browseAsked(true); });
    for (QLineEdit *field : {m_dataFile, m_bench, m_resistanceBins, m_voltageBins})
        connect(field, &QLineEdit::textEdited, this, &PlanChoices::changed);
    return group;
}

QWidget *PlanChoices::buildPack()
{
    auto *group = new QGroupBox(tr("Pack"));
    auto *form = new QFormLayout(group);

    m_shape = new QLineEdit(QStringLiteral("14s40p"));
    m_shape->setObjectName(QStringLiteral("shapeField"));
    form->addRow(caption(tr("S&hape:"), m_shape), m_shape);
    m_groupWindow = new QLineEdit(QStringLiteral("10 %"));
    m_groupWindow->setObjectName(QStringLiteral("groupWindowField"));
    m_groupWindow->setToolTip(tr("The most the resistances inside a group may span: in % of the group's mean or in "
                                 "mOhm. Narrowing it costs capacity: Window trade shows how much."));
    form->addRow(caption(tr("In-&group window:"), m_groupWindow), m_groupWindow);
    m_voltageWindow = new QLineEdit(QStringLiteral("0.05 V"));
    m_voltageWindow->setObjectName(QStringLiteral("voltageWindowField"));
    form->addRow(caption(tr("Vo&ltage window:"), m_voltageWindow), m_voltageWindow);

    m_capacityFile = new QLineEdit;
    m_capacityFile->setObjectName(QStringLiteral("capacityFileField"));
    m_capacityFile->setPlaceholderText(tr("none: balance on what the bench measured"));
    m_capacityBrowse = new QPushButton(tr("Brows&e..."));
    m_capacityBrowse->setObjectName(QStringLiteral("capacityBrowseButton"));
    m_capacityBrowse->setAccessibleName(tr("Browse for the capacity file"));
    m_columns = new QPushButton(tr("Colu&mns..."));
    m_columns->setObjectName(QStringLiteral("columnsButton"));
    m_columns->setAccessibleName(tr("Columns of the capacity file"));
    auto *capacityRow = new QHBoxLayout;
    capacityRow->addWidget(m_capacityFile, 1);
    capacityRow->addWidget(m_capacityBrowse);
    capacityRow->addWidget(m_columns);
    form->addRow(caption(tr("&Capacity file:"), m_capacityFile), capacityRow);

    m_seed = new QLineEdit(QStringLiteral("1"));
    m_seed->setObjectName(QStringLiteral("seedField"));
    m_seed->setToolTip(tr("The same cells, settings and seed give the same plan."));
    form->addRow(caption(tr("Seed n&umber:"), m_seed), m_seed);

    connect(m_capacityBrowse, &QPushButton::clicked, this, [this] { Q_EMIT browseAsked(false); });
    connect(m_columns, &QPushButton::clicked, this, &PlanChoices::columnsAsked);
    for (QLineEdit *field : {m_shape, m_groupWindow, m_voltageWindow, m_capacityFile, m_seed})
        connect(field, &QLineEdit::textEdited, this, &PlanChoices::changed);
    return group;
}

void PlanChoices::updateEnabled()
{
    const bool file = m_source->currentData().toInt() == int(PoolSource::Kind::DataFile);
    m_dataFile->setEnabled(file);
    m_dataBrowse->setEnabled(file);
    m_from->setEnabled(m_fromOn->isChecked());
    m_to->setEnabled(m_toOn->isChecked());
}

void PlanChoices::setDataFile(const QString &path)
{
    m_dataFile->setText(path);
    Q_EMIT changed();
}

void PlanChoices::setCapacityFile(const QString &path)
{
    m_capacityFile->setText(path);
    Q_EMIT changed();
}

Result<PlanRequest> PlanChoices::request() const
{
    PlanRequest request;
    switch (PoolSource::Kind(m_source->currentData().toInt())) {
    case PoolSource::Kind::Journal:
        request.source = m_places.journal();
        break;
    case PoolSource::Kind::Central: {
        const Result<PoolSource> central = m_places.central();
        if (!central)
            return central.failure();
        request.source = *central;
        break;
    }
    case PoolSource::Kind::DataFile:
        if (m_dataFile->text().trimmed().isEmpty())
            return Failure(tr("Data file: choose the data file to plan from."));
        request.source = m_places.dataFile(m_dataFile->text().trimmed(), m_bench->text().trimmed());
        break;
    }
    PoolFilter &filter = request.filter;
    if (!m_bench->text().trimmed().isEmpty())
        filter.benches = QStringList{m_bench->text().trimmed()};
    if (m_fromOn->isChecked())
        filter.from = m_from->dateTime();
    if (m_toOn->isChecked())
        filter.to = m_to->dateTime();
    if (filter.from && filter.to && *filter.from >= *filter.to)
        return Failure(tr("From must come before To."));
    filter.resistanceBins = binsOf(m_resistanceBins->text());
    filter.voltageBins = binsOf(m_voltageBins->text());
    filter.kVerdict = KVerdictFilter(m_kVerdict->currentData().toInt());
    filter.withoutFailedRetest = m_withoutFailedRetests->isChecked();
    filter.failWords = m_places.failWords();

    PlanSettings &s = request.settings;
    const Result<std::pair<int, int>> shape = parsePackShape(m_shape->text());
    if (!shape)
        return Failure(tr("Shape: %1").arg(shape.errorString()));
    s.series = shape->first;
    s.parallel = shape->second;
    const Result<std::pair<double, SpreadUnit>> window = parseGroupWindow(m_groupWindow->text());
    if (!window)
        return Failure(tr("In-group window: %1").arg(window.errorString()));
    s.groupWindow = window->first;
    s.groupWindowUnit = window->second;
    const Result<double> voltage = parseVoltageWindow(m_voltageWindow->text());
    if (!voltage)
        return Failure(tr("Voltage window: %1").arg(voltage.errorString()));
    s.voltageWindowV = *voltage;
    bool ok = false;
    s.seed = m_seed->text().trimmed().toULongLong(&ok);
    if (!ok)
        return Failure(tr("Seed: \"%1\" is no whole number from 0 up.").arg(m_seed->text()));
    request.capacityFile = m_capacityFile->text().trimmed();
    s.balanceCapacity = !request.capacityFile.isEmpty();
    if (s.balanceCapacity) {
        const Result<CapacityColumns> columns = loadCapacityColumns(m_places.settingsDir);
        if (!columns)
            return Failure(tr("Columns of the capacity file: %1").arg(columns.errorString()));
        request.columns = *columns;
    }
    return request;
}

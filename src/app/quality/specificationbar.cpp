#include "app/quality/specificationbar.h"

#include "settings/specificationfile.h"

#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char *const kQuantities[2] = {QT_TRANSLATE_NOOP("SpecificationBar", "Resistance (mOhm)"),
                                    QT_TRANSLATE_NOOP("SpecificationBar", "Voltage (V)")};
const char *const kFields[3] = {QT_TRANSLATE_NOOP("SpecificationBar", "LSL"),
                                QT_TRANSLATE_NOOP("SpecificationBar", "USL"),
                                QT_TRANSLATE_NOOP("SpecificationBar", "Target")};
const char *const kNames[2][3] = {{"lslREdit", "uslREdit", "targetREdit"}, {"lslVEdit", "uslVEdit", "targetVEdit"}};

} // namespace

SpecificationBar::SpecificationBar(QWidget *parent) : QWidget(parent)
{
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(0, 0, 0, 0);
    rows->setSpacing(2);
    auto *row = new QHBoxLayout;
    rows->addLayout(row);
    row->addWidget(new QLabel(tr("Specification:"), this));
    for (int t = 0; t < 2; ++t) {
        auto *quantity = new QLabel(tr(kQuantities[t]), this);
        row->addWidget(quantity);
        for (int f = 0; f < 3; ++f) {
            auto *caption = new QLabel(tr(kFields[f]), this);
            auto *edit = new QLineEdit(this);
            edit->setObjectName(QLatin1String(kNames[t][f]));
            edit->setMaximumWidth(70);
            edit->setPlaceholderText(tr("BIN"));
            // The visible caption first, then what it belongs to.
            edit->setAccessibleName(QStringLiteral("%1 %2").arg(tr(kFields[f]), tr(kQuantities[t])));
            caption->setBuddy(edit);
            row->addWidget(caption);
            row->addWidget(edit);
            m_edits[std::size_t(t)][std::size_t(f)] = edit;
            connect(edit, &QLineEdit::returnPressed, this, &SpecificationBar::apply);
        }
    }
    m_applyButton = new QPushButton(tr("APPL&Y"), this);
    m_applyButton->setObjectName(QStringLiteral("applySpecificationButton"));
    m_applyButton->setAutoDefault(false);
    m_clearButton = new QPushButton(tr("BIN &LIMITS"), this);
    m_clearButton->setObjectName(QStringLiteral("binLimitsButton"));
    m_clearButton->setAutoDefault(false);
    row->addWidget(m_applyButton);
    row->addWidget(m_clearButton);
    row->addStretch(1);
    m_stateLabel = new QLabel(this);
    m_stateLabel->setObjectName(QStringLiteral("specificationLabel"));
    m_stateLabel->setTextFormat(Qt::PlainText);
    m_stateLabel->setWordWrap(true);
    rows->addWidget(m_stateLabel);
    connect(m_applyButton, &QPushButton::clicked, this, &SpecificationBar::apply);
    connect(m_clearButton, &QPushButton::clicked, this, [this] {
        for (auto &edits : m_edits) {
            for (QLineEdit *edit : edits)
                edit->clear();
        }
        apply();
    });
    tell(QString());
}

void SpecificationBar::load(const QString &settingsFolder)
{
    m_folder = settingsFolder;
    if (m_folder.isEmpty())
        return;
    const Result<spc::Specification> stored = loadSpecification(m_folder);
    m_specification = stored.valueOr(spc::Specification{});
    showEntries();
    tell(stored ? QString() : tr("%1; the BIN limits serve.").arg(stored.errorString()));
}

void SpecificationBar::enter(int t, const QString &lower, const QString &upper, const QString &target)
{
    const QString texts[3] = {lower, upper, target};
    for (int f = 0; f < 3; ++f)
        m_edits[std::size_t(t)][std::size_t(f)]->setText(texts[f]);
    apply();
}

void SpecificationBar::apply()
{
    spc::Specification entered;
    for (int t = 0; t < 2; ++t) {
        spc::SpecLimits &limits = entered.quantities[std::size_t(t)];
        std::optional<double> *fields[3] = {&limits.lower, &limits.upper, &limits.target};
        for (int f = 0; f < 3; ++f) {
            const Result<std::optional<double>> value = parseSpecLimit(
                    m_edits[std::size_t(t)][std::size_t(f)]->text(), QStringLiteral("%1 %2").arg(tr(kFields[f]), tr(kQuantities[t])));
            if (!value) {
                tell(value.errorString());
                return;
            }
            *fields[f] = *value;
        }
        if (const QString problem = spc::specificationProblem(limits); !problem.isEmpty()) {
            tell(QStringLiteral("%1: %2").arg(tr(kQuantities[t]), problem));
            return;
        }
    }
    QString problem;
    if (!m_folder.isEmpty()) {
        if (const Status saved = saveSpecification(m_folder, entered); !saved)
            problem = tr("not kept: %1").arg(saved.errorString());
    }
    const bool changes = !(entered == m_specification);
    m_specification = entered;
    showEntries();
    tell(problem);
    if (changes)
        Q_EMIT changed();
}

void SpecificationBar::showEntries()
{
    for (int t = 0; t < 2; ++t) {
        const spc::SpecLimits &limits = m_specification.quantities[std::size_t(t)];
        const std::optional<double> values[3] = {limits.lower, limits.upper, limits.target};
        for (int f = 0; f < 3; ++f)
            m_edits[std::size_t(t)][std::size_t(f)]->setText(specLimitText(values[f]));
    }
}

void SpecificationBar::tell(const QString &problem)
{
    QStringList inUse;
    for (int t = 0; t < 2; ++t)
        inUse << tr("%1 from %2").arg(tr(kQuantities[t]), m_specification.givesLimits(t) ? tr("the specification")
                                                                                            : tr("the outer BIN limits"));
    QString text = inUse.join(QStringLiteral("; "));
    if (!problem.isEmpty())
        text = problem + QLatin1Char('\n') + text;
    m_stateLabel->setText(text);
    m_stateLabel->setAccessibleName(text);
}

#include "app/quality/sourcechoice.h"

#include "settings/shifttimes.h"

#include <QComboBox>
#include <QDateTimeEdit>
#include <QHBoxLayout>
#include <QLabel>
#include <QSignalBlocker>

#include <algorithm>

SourceChoice::SourceChoice(QWidget *parent) : QWidget(parent)
{
    auto *bar = new QHBoxLayout(this);
    bar->setContentsMargins(0, 0, 0, 0);
    // Each box is labelled by its caption: on Linux a combo box's name is the
    // choice it shows, and a screen reader takes its label from the buddy.
    const auto caption = [this, bar](const QString &text, QComboBox *box) {
        auto *label = new QLabel(text, this);
        label->setBuddy(box);
        bar->addWidget(label);
        bar->addWidget(box);
    };
    m_sourceBox = new QComboBox(this);
    m_sourceBox->setObjectName(QStringLiteral("sourceBox"));
    m_sourceBox->addItems({tr("Data file"), tr("Local journal"), tr("Shared database")});
    caption(tr("Source:"), m_sourceBox);
    m_benchBox = new QComboBox(this);
    m_benchBox->setObjectName(QStringLiteral("benchBox"));
    m_benchBox->setMinimumContentsLength(12);
    m_benchBox->addItem(tr("All benches"), QString());
    m_benchBox->setEnabled(false);
    caption(tr("Bench:"), m_benchBox);
    connect(m_sourceBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_benchBox->setEnabled(index != int(Source::DataFile));
        Q_EMIT changed();
    });
    connect(m_benchBox, &QComboBox::activated, this, &SourceChoice::changed);
    m_rangeBox = new QComboBox(this);
    m_rangeBox->setObjectName(QStringLiteral("rangeBox"));
    m_rangeBox->addItems({tr("All in the file"), tr("This shift"), tr("Today"), tr("Last 8 hours"),
                          tr("From - to")});
    caption(tr("Cells:"), m_rangeBox);
    const QDateTime now = QDateTime::currentDateTime();
    auto makeEdit = [this, bar](const char *name, const QDateTime &value) {
        auto *edit = new QDateTimeEdit(value, this);
        edit->setObjectName(QLatin1String(name));
        edit->setDisplayFormat(QStringLiteral("yyyy-MM-dd HH:mm"));
        edit->setCalendarPopup(true);
        edit->setEnabled(false);
        bar->addWidget(edit);
        return edit;
    };
    m_fromEdit = makeEdit("fromEdit", QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(-8 * 3600));
    m_fromEdit->setAccessibleName(tr("Cells from"));
    bar->addWidget(new QLabel(tr("to"), this));
    m_toEdit = makeEdit("toEdit", QDateTime(now.date(), QTime(now.time().hour(), 0)).addSecs(3600));
    m_toEdit->setAccessibleName(tr("Cells up to"));
    bar->addStretch(1);
    connect(m_rangeBox, &QComboBox::currentIndexChanged, this, [this](int index) {
        m_fromEdit->setEnabled(index == int(Range::FromTo));
        m_toEdit->setEnabled(index == int(Range::FromTo));
        Q_EMIT changed();
    });
    for (QDateTimeEdit *edit : {m_fromEdit, m_toEdit})
        connect(edit, &QDateTimeEdit::dateTimeChanged, this, [this] {
            if (range() == Range::FromTo)
                Q_EMIT changed();
        });
}

SourceChoice::Source SourceChoice::source() const
{
    return Source(m_sourceBox->currentIndex());
}

void SourceChoice::setSource(Source source)
{
    m_sourceBox->setCurrentIndex(int(source));
}

SourceChoice::Range SourceChoice::range() const
{
    return Range(m_rangeBox->currentIndex());
}

void SourceChoice::setRange(Range range)
{
    m_rangeBox->setCurrentIndex(int(range));
}

QString SourceChoice::bench() const
{
    return m_benchBox->currentData().toString();
}

void SourceChoice::setBench(const QString &bench)
{
    int index = m_benchBox->findData(bench);
    if (index < 0) {
        m_benchBox->addItem(bench, bench);
        index = m_benchBox->count() - 1;
    }
    m_benchBox->setCurrentIndex(index);
}

void SourceChoice::addBenches(const QStringList &benches)
{
    const QString chosen = bench();
    for (const QString &name : benches) {
        if (m_benchBox->findData(name) < 0)
            m_benchBox->addItem(name, name);
    }
    m_benchBox->setCurrentIndex(std::max(0, m_benchBox->findData(chosen)));
}

RecordFilter SourceChoice::rangeFilter(const QString &settingsFolder, QString *notice) const
{
    RecordFilter filter;
    const QDateTime now = QDateTime::currentDateTime();
    notice->clear();
    switch (range()) {
    case Range::All:
        break;
    case Range::ThisShift: {
        const Result<ShiftTimes> times = loadShiftTimes(settingsFolder);
        *notice = times.errorString();
        const ShiftSpan shift = shiftSpan(times.valueOr(ShiftTimes()), wallClockOf(now));
        filter.from = shift.from;
        filter.to = shift.to;
        break;
    }
    case Range::Today:
        filter.from = wallClockOf(now.date().startOfDay());
        filter.to = *filter.from + 86400;
        break;
    case Range::LastEightHours:
        filter.from = wallClockOf(now) - 8 * 3600;
        break;
    case Range::FromTo:
        filter.from = wallClockOf(m_fromEdit->dateTime());
        filter.to = wallClockOf(m_toEdit->dateTime());
        break;
    }
    return filter;
}

void SourceChoice::showBounds(const RecordFilter &filter)
{
    if (range() == Range::FromTo || !filter.from || !filter.to)
        return;
    for (auto [edit, stamp] : {std::pair{m_fromEdit, *filter.from}, std::pair{m_toEdit, *filter.to}}) {
        const QSignalBlocker quiet(edit);
        const QDateTime wallClock = QDateTime(QDate(1970, 1, 1), QTime(0, 0), Qt::UTC).addSecs(stamp);
        edit->setDateTime(QDateTime(wallClock.date(), wallClock.time()));
    }
}

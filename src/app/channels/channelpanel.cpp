#include "app/channels/channelpanel.h"

#include "app/style/colours.h"
#include "app/style/uifonts.h"
#include "app/style/warninglabel.h"
#include "platform/dialogs.h"
#include "record/recordline.h"

#include <QFontMetrics>
#include <QGridLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPushButton>

namespace {

QColor toColor(quint32 bgr)
{
    return QColor(colours::red(bgr), colours::green(bgr), colours::blue(bgr));
}

// A palette is set only when the colour changes: most cells keep theirs
// from one reading to the next.
void setBackground(QLabel *label, quint32 bgr)
{
    const QColor colour = toColor(bgr);
    if (label->autoFillBackground() && label->palette().color(QPalette::Window) == colour)
        return;
    QPalette palette = label->palette();
    palette.setColor(QPalette::Window, colour);
    label->setPalette(palette);
    label->setAutoFillBackground(true);
}

void clearBackground(QLabel *label)
{
    label->setAutoFillBackground(false);
    label->setPalette(label->parentWidget()->palette());
}

} // namespace

ChannelPanel::ChannelPanel(int channel, Dialogs &dialogs, QString title, std::function<QString()> dataPath,
                           QWidget *parent)
    : QGroupBox(parent), m_channel(channel), m_dialogs(dialogs), m_title(std::move(title)),
      m_dataPath(std::move(dataPath))
{
    setObjectName(QStringLiteral("channelPanel_%1").arg(channel));
    setFont(uifonts::tahoma(9.75, true));
    auto *grid = new QGridLayout(this);
    grid->setHorizontalSpacing(2);
    grid->setVerticalSpacing(3);

    for (int t = 0; t < 2; ++t) {
        auto *value = new QLabel(this);
        value->setObjectName(QStringLiteral("channelValue_%1_%2").arg(channel).arg(t));
        value->setFont(uifonts::arial(14.25, true));
        value->setAlignment(Qt::AlignCenter);
        // A fixed size: a new reading repaints the label alone instead of
        // laying out the whole panel again.
        const QFontMetrics valueMetrics(value->font());
        value->setFixedSize(valueMetrics.horizontalAdvance(QStringLiteral("-88.888 mOhm")) + 8,
                            valueMetrics.height() + 4);
        value->setAccessibleName(tr("Channel %1 %2 reading").arg(channel).arg(rowName(t)));
        grid->addWidget(value, 0, t * 5, 1, 5);
        m_values[size_t(t)] = value;

        auto *caption = new QLabel(t == 0 ? tr("R") : tr("V"), this);
        caption->setFont(uifonts::tahoma(9.75, true));
        caption->setToolTip(rowName(t));
        grid->addWidget(caption, 1 + t, 0);
        for (int i = 0; i < 10; ++i) {
            auto *cell = new QLabel(i < 9 ? QString::number(i + 1) : tr("Out"), this);
            cell->setObjectName(QStringLiteral("channelCell_%1_%2_%3").arg(channel).arg(t).arg(i));
            cell->setFont(uifonts::tahoma(8.25));
            cell->setAlignment(Qt::AlignCenter);
            cell->setFrameShape(QFrame::Box);
            cell->setMinimumSize(i < 9 ? 16 : 30, 18);
            // The out label's word changes; its size does not.
            if (i == 9)
                cell->setFixedSize(QFontMetrics(cell->font()).horizontalAdvance(QStringLiteral("+Out")) + 24, 18);
            cell->setAccessibleName(i < 9 ? tr("Channel %1 %2 BIN %3").arg(channel).arg(rowName(t)).arg(i + 1)
                                          : tr("Channel %1 %2 Out").arg(channel).arg(rowName(t)));
            // The grid of channel 1 is above; these follow it column by column.
            grid->addWidget(cell, 1 + t, 1 + i);
            m_cells[size_t(t)][size_t(i)] = cell;
        }
    }

    m_notice = new QLabel(this);
    m_notice->setObjectName(QStringLiteral("channelNotice_%1").arg(channel));
    m_notice->setWordWrap(true);
    m_notice->setFont(uifonts::tahoma(9.75, true));
    QPalette warning = m_notice->palette();
    warning.setColor(QPalette::WindowText, warningColour());
    m_notice->setPalette(warning);
    m_notice->hide();
    grid->addWidget(m_notice, 3, 0, 1, 11);

    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("channelStatus_%1").arg(channel));
    m_status->setWordWrap(true);
    m_status->setFont(uifonts::tahoma(8.25));
    m_status->setTextFormat(Qt::PlainText);
    m_status->hide();
    grid->addWidget(m_status, 4, 0, 1, 11);

    m_recCount = new QPushButton(tr("REC - COUNT %1 (%2)").arg(channel).arg(countKey(channel).toString(QKeySequence::NativeText)),
                                 this);
    m_recCount->setObjectName(QStringLiteral("channelRecCount_%1").arg(channel));
    m_recCount->setFont(uifonts::tahoma(9.75, true));
    // The keyboard's Enter stays channel 1's; this button has its own key.
    m_recCount->setFocusPolicy(Qt::NoFocus);
    m_recCount->setAccessibleDescription(tr("Count and record the cell on channel %1's probes").arg(channel));
    m_recCount->setEnabled(false);
    connect(m_recCount, &QPushButton::clicked, this, &ChannelPanel::recCountClicked);
    grid->addWidget(m_recCount, 5, 0, 1, 11);
    setPortName(QString());
}

QKeySequence ChannelPanel::countKey(int channel)
{
    return QKeySequence(Qt::Key_F1 + (channel - 1));
}

QString ChannelPanel::rowName(int t) const
{
    return t == 0 ? tr("resistance") : tr("voltage");
}

void ChannelPanel::setPortName(const QString &portName)
{
    setTitle(portName.isEmpty() ? tr("Channel %1").arg(m_channel) : tr("Channel %1 - %2").arg(m_channel).arg(portName));
    setAccessibleName(title());
}

void ChannelPanel::showValue(int t, const QString &text)
{
    QLabel *label = m_values[size_t(t)];
    if (label->text() == text)
        return;
    label->setText(text);
    label->setAccessibleName(tr("Channel %1 %2 reading %3").arg(m_channel).arg(rowName(t), text));
}

void ChannelPanel::showJudgement(const ReadingJudgement &judgement)
{
    for (size_t t = 0; t < judgement.tables.size(); ++t) {
        const ReadingJudgement::Table &table = judgement.tables[t];
        for (int row = 0; row < 9; ++row) {
            const bool lit = table.lit[size_t(row)];
            setBackground(m_cells[t][size_t(row)], lit ? colours::kLit : row < table.binsInUse ? colours::kUnlit
                                                                                                : colours::kUnused);
        }
        QLabel *out = m_cells[t][9];
        switch (table.out) {
        case OutSide::None:
        case OutSide::Between:
            out->setText(tr("Out"));
            break;
        case OutSide::Above:
            out->setText(QStringLiteral("+Out"));
            break;
        case OutSide::Below:
            out->setText(QStringLiteral("-Out"));
            break;
        }
        setBackground(out, table.out == OutSide::None ? colours::kUnused : colours::kLit);
    }
}

void ChannelPanel::clearJudgement()
{
    for (auto &row : m_cells) {
        for (QLabel *cell : row)
            clearBackground(cell);
    }
}

void ChannelPanel::showStale(const QString &notice)
{
    const bool stale = !notice.isEmpty();
    if (stale)
        clearJudgement();
    for (QLabel *value : m_values)
        value->setEnabled(!stale);
    m_notice->setText(notice);
    m_notice->setVisible(stale);
}

void ChannelPanel::showStatus(const QString &text)
{
    m_status->setText(text);
    m_status->setVisible(!text.isEmpty());
}

void ChannelPanel::setRecCountEnabled(bool enabled)
{
    m_recCount->setEnabled(enabled);
}

QString ChannelPanel::pathText() const
{
    return channelDataPath(withDefaultExtension(m_dataPath()), m_channel);
}

void ChannelPanel::showError(const QString &text)
{
    showStatus(tr("Not measuring: %1").arg(text));
}

void ChannelPanel::showRecordNotice(const QString &text)
{
    m_dialogs.showNotice(tr("Channel %1: %2").arg(m_channel).arg(text), m_title);
}

#include "app/mainwindow/counterwindow.h"

#include "app/style/programicon.h"
#include "app/style/uifonts.h"
#include "bins/bintables.h"

#include <QGroupBox>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace {

constexpr int kRowsPerGroup = 11; // BIN 1..9, OUT, TOTAL
constexpr int kMargin = 8;
constexpr int kFrameWidth = 200;
constexpr int kTitleHeight = 26;
constexpr int kRowPitch = 26;
constexpr int kRowHeight = 24;
constexpr int kFrameHeight = kTitleHeight + kRowsPerGroup * kRowPitch + 8;
constexpr int kCaptionLeft = 12;
constexpr int kCaptionWidth = 80;
constexpr int kValueWidth = 84;
constexpr int kButtonWidth = 90;
constexpr int kButtonHeight = 30;
constexpr int kWindowWidth = 3 * kMargin + 2 * kFrameWidth;
constexpr int kButtonTop = kMargin + kFrameHeight + 10;
constexpr int kWindowHeight = kButtonTop + kButtonHeight + 10;

QString binCaption(int bin)
{
    return CounterWindow::tr("BIN %1").arg(bin, 2);
}

} // namespace

CounterWindow::CounterWindow(BinTables &binTables, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint
                          | Qt::MSWindowsFixedSizeDialogHint),
      m_binTables(binTables)
{
    setObjectName(QStringLiteral("FormOption"));
    setWindowTitle(tr("BIN COUNTER"));
    setWindowIcon(programIcon());
    setAttribute(Qt::WA_DeleteOnClose);
    setFixedSize(kWindowWidth, kWindowHeight);

    buildGroup(0);
    buildGroup(1);

    m_closeButton = new QPushButton(tr("CLOSE"), this);
    m_closeButton->setObjectName(QStringLiteral("Command1"));
    m_closeButton->setGeometry(kMargin + (kFrameWidth - kButtonWidth) / 2, kButtonTop, kButtonWidth, kButtonHeight);
    connect(m_closeButton, &QPushButton::clicked, this, &QDialog::close);

    m_resetButton = new QPushButton(tr("RESET"), this);
    m_resetButton->setObjectName(QStringLiteral("Command2"));
    m_resetButton->setGeometry(2 * kMargin + kFrameWidth + (kFrameWidth - kButtonWidth) / 2, kButtonTop, kButtonWidth,
                            kButtonHeight);
    connect(m_resetButton, &QPushButton::clicked, this, &CounterWindow::askReset);
    connect(&m_binTables, &BinTables::countsChanged, this, &CounterWindow::showBinCount);

    showBinCount();
}

void CounterWindow::askReset()
{
    // One question at a time; an Enter after a stray Tab answers No.
    if (m_resetQuestion)
        return;
    m_resetQuestion = new QMessageBox(QMessageBox::Question, windowTitle(), tr("Clear all BIN counters?"),
                                      QMessageBox::Yes | QMessageBox::No, this);
    m_resetQuestion->setObjectName(QStringLiteral("resetQuestion"));
    m_resetQuestion->setDefaultButton(QMessageBox::No);
    m_resetQuestion->setEscapeButton(QMessageBox::No);
    m_resetQuestion->setAttribute(Qt::WA_DeleteOnClose);
    m_resetQuestion->setWindowModality(Qt::WindowModal);
    QMessageBox *question = m_resetQuestion;
    connect(question, &QMessageBox::finished, this, [this, question] {
        if (question->standardButton(question->clickedButton()) == QMessageBox::Yes)
            m_binTables.clearCounts();
    });
    m_resetQuestion->open();
}

void CounterWindow::buildGroup(int group)
{
    static const char *const kTitles[2] = {QT_TRANSLATE_NOOP("CounterWindow", "RESISTANCE BIN NUM"),
                                           QT_TRANSLATE_NOOP("CounterWindow", "VOLTAGE BIN NUM")};
    auto *frame = new QGroupBox(tr(kTitles[group]), this);
    frame->setObjectName(QStringLiteral("Frame%1").arg(group + 1));
    frame->setGeometry(kMargin + group * (kFrameWidth + kMargin), kMargin, kFrameWidth, kFrameHeight);
    frame->setFont(uifonts::arial(12));
    uifonts::fitText(frame, frame->title());
    m_frames[size_t(group)] = frame;

    const QFont font = uifonts::arial(12);
    for (int row = 0; row < kRowsPerGroup; ++row) {
        const int index = group * kRowsPerGroup + row;
        const int top = kTitleHeight + row * kRowPitch;

        auto *caption = new QLabel(frame);
        caption->setObjectName(QStringLiteral("Label1_%1").arg(index));
        caption->setGeometry(kCaptionLeft, top, kCaptionWidth, kRowHeight);
        caption->setFont(font);
        caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        uifonts::fitText(caption, tr("TOTAL"));
        m_captions[size_t(index)] = caption;

        auto *value = new QLabel(frame);
        value->setObjectName(QStringLiteral("Label2_%1").arg(index));
        value->setGeometry(kFrameWidth - kCaptionLeft - kValueWidth, top, kValueWidth, kRowHeight);
        value->setFont(font);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        value->setContentsMargins(0, 0, 4, 0);
        uifonts::fitText(value, QStringLiteral("-32768"));
        m_counts[size_t(index)] = value;
    }
    m_captions[size_t(group * kRowsPerGroup + 9)]->setText(tr("OUT"));
    m_captions[size_t(group * kRowsPerGroup + 10)]->setText(tr("TOTAL"));
}

void CounterWindow::showBinCount()
{
    const BinTable &resistance = m_binTables.resistance();
    const BinTable &voltage = m_binTables.voltage();
    for (int k = 1; k <= 9; ++k) {
        const size_t r = size_t(k - 1);
        const size_t v = size_t(k + 10);
        m_captions[r]->setText(binCaption(k));
        m_counts[r]->setText(QString::number(resistance.binCount[r]));
        m_captions[v]->setText(binCaption(k));
        m_counts[v]->setText(QString::number(voltage.binCount[r]));
    }
    m_counts[9]->setText(QString::number(resistance.binCount[9]));
    m_counts[20]->setText(QString::number(voltage.binCount[9]));
    m_counts[10]->setText(QString::number(resistance.totalCount));
    m_counts[21]->setText(QString::number(voltage.totalCount));
    // Each count is read as shown, with its row and table: "7 cells,
    // Resistance BIN 3"; a changed name is told to assistive technology.
    for (size_t index = 0; index < m_counts.size(); ++index) {
        const int row = int(index) % kRowsPerGroup;
        const QString rowName = row < 9 ? tr("BIN %1").arg(row + 1) : row == 9 ? tr("OUT") : tr("TOTAL");
        const QString table = index < size_t(kRowsPerGroup) ? tr("Resistance") : tr("Voltage");
        const QString name = tr("%n cell(s), %1", nullptr, m_counts[index]->text().toInt())
                                 .arg(tr("%1 %2").arg(table, rowName));
        if (m_counts[index]->accessibleName() != name)
            m_counts[index]->setAccessibleName(name);
    }
}

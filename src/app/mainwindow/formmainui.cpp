#include "app/mainwindow/formmainui.h"

#include "app/mainwindow/cachedgroupbox.h"
#include "app/style/uifonts.h"

#include <QAction>
#include <QCoreApplication>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QRadioButton>

using uifonts::twips;

namespace {

// Geometry of one BIN set-up panel, in pixels inside its frame.
namespace panel {
constexpr int kWidth = 265;  // 3975 twips
constexpr int kHeight = 361; // 5415 twips

// Upper part: "Mode" and its options at the left, three caption/box lines at
// the right.
constexpr int kModeLeft = 10;
constexpr int kModeTop = 22;
constexpr int kOptionTop = 46;
constexpr int kOptionWidth = 114;
constexpr int kOptionHeight = 24;
constexpr int kCaptionLeft = 126;
constexpr int kCaptionWidth = 64;
constexpr int kBoxLeft = 192;
constexpr int kCountBoxWidth = 38;
constexpr int kParameterBoxWidth = 63;
constexpr int kLineTop = 26;
constexpr int kLinePitch = 30;
constexpr int kBoxHeight = 24;

constexpr int kSeparatorTop = 121;

// Nine equal rows: caption, lower box, "-", upper box.
constexpr int kRowTop = 128;
constexpr int kRowPitch = 25;
constexpr int kRowHeight = 24;
constexpr int kRowCaptionLeft = 11;
constexpr int kRowCaptionWidth = 72;
constexpr int kRowCaptionGap = 4;
constexpr int kLimitWidth = 77;
constexpr int kDashWidth = 12;
} // namespace panel

// Widest texts the logic puts into the controls; fonts are shrunk until they fit.
const QString kWidestLimit = QStringLiteral("-12.3457");
const QString kWidestValue = QStringLiteral("-12.3456 mOhm");
const QString kWidestRowCaption = QStringLiteral("BIN No. 9");

using Control = FormMainUi::Control;

QString tableName(int table)
{
    return table == 0 ? FormMainUi::tr("Resistance") : FormMainUi::tr("Voltage");
}

QString name(Control control)
{
    return QLatin1String(FormMainUi::inventoryName(control));
}

QString indexedName(Control control, int index)
{
    return QStringLiteral("%1_%2").arg(name(control)).arg(index);
}

template <typename Widget>
Widget *make(QWidget *parent, const QString &objectName, const QString &text, const QRect &geometry)
{
    auto *widget = new Widget(text, parent);
    widget->setObjectName(objectName);
    widget->setGeometry(geometry);
    return widget;
}

QLineEdit *makeBox(QWidget *parent, const QString &objectName, const QString &text, const QRect &geometry,
                   const QFont &font)
{
    auto *box = new QLineEdit(text, parent);
    box->setObjectName(objectName);
    box->setGeometry(geometry);
    box->setFont(font);
    return box;
}

// A limit box shows the limit in use: read-only, so nothing typed can pretend
// to be a limit, and out of the Tab order; a click still selects for copying.
QLineEdit *makeLimitBox(QWidget *parent, const QString &objectName, const QRect &geometry, const QFont &font,
                        const QString &accessibleName)
{
    QLineEdit *box = makeBox(parent, objectName, QString(), geometry, font);
    box->setReadOnly(true);
    box->setFocusPolicy(Qt::ClickFocus);
    box->setAccessibleName(accessibleName);
    uifonts::fitText(box, kWidestLimit);
    return box;
}

QFrame *makeLine(QWidget *parent, const QString &objectName, const QRect &geometry)
{
    auto *line = new QFrame(parent);
    line->setObjectName(objectName);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);
    line->setGeometry(geometry);
    return line;
}

// A bordered cell that the logic colours through its palette.
void makeCell(QLabel *label, const QFont &font)
{
    label->setFont(font);
    label->setAlignment(Qt::AlignCenter);
    label->setFrameShape(QFrame::Box);
    label->setLineWidth(1);
    label->setAutoFillBackground(true);
}

// 50 x 30 pixel heading of a grid row: one bold letter in the row's colour.
QPixmap letterPicture(QChar letter, const QColor &colour)
{
    QPixmap pixmap(50, 30);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::TextAntialiasing);
    QFont font = uifonts::msSerif(18);
    font.setPixelSize(28);
    font.setBold(true);
    painter.setFont(font);
    painter.setPen(colour);
    painter.drawText(pixmap.rect(), Qt::AlignCenter, QString(letter));
    return pixmap;
}

QLabel *makePicture(QWidget *parent, const QString &objectName, const QRect &geometry, const QPixmap &pixmap)
{
    auto *picture = new QLabel(parent);
    picture->setObjectName(objectName);
    picture->setGeometry(geometry);
    picture->setAlignment(Qt::AlignCenter);
    picture->setPixmap(pixmap);
    return picture;
}

struct PanelControls
{
    QGroupBox *frame;
    QLabel *modeCaption;
    std::array<QRadioButton *, 3> options;
    std::array<QLabel *, 3> captions;
    std::array<QLineEdit *, 3> boxes;
    QFrame *separator;
};

// Builds the upper part of a panel; `table` is 0 for resistance, 1 for voltage.
void buildPanelTop(int table, Control options, Control boxes, PanelControls &out)
{
    using namespace panel;
    QGroupBox *frame = out.frame;
    const QFont font = uifonts::tahoma(11.25);

    out.modeCaption = make<QLabel>(frame, indexedName(Control::ModeCaptions, table), FormMainUi::tr("Mode"),
                                   QRect(kModeLeft, kModeTop, kOptionWidth, kOptionHeight));
    out.modeCaption->setFont(font);
    uifonts::fitText(out.modeCaption, out.modeCaption->text());

    static const char *const kModes[3] = {QT_TRANSLATE_NOOP("FormMainUi", "Max - Min"),
                                          QT_TRANSLATE_NOOP("FormMainUi", "Min - Step"),
                                          QT_TRANSLATE_NOOP("FormMainUi", "Ref - %")};
    for (int i = 0; i < 3; ++i) {
        auto *option = make<QRadioButton>(
            frame, indexedName(options, i), FormMainUi::tr(kModes[i]),
            QRect(kModeLeft, kOptionTop + i * kOptionHeight, kOptionWidth, kOptionHeight));
        option->setFont(font);
        uifonts::fitText(option, option->text());
        // Both panels have the same three options: the name says whose.
        option->setAccessibleName(QStringLiteral("%1 %2").arg(tableName(table), option->text()));
        option->setAccessibleDescription(FormMainUi::tr("%1 BIN mode").arg(tableName(table)));
        out.options[size_t(i)] = option;
    }

    static const char *const kCaptions[3] = {QT_TRANSLATE_NOOP("BinPanel", "BINs ="),
                                            QT_TRANSLATE_NOOP("BinPanel", "MIN ="),
                                            QT_TRANSLATE_NOOP("BinPanel", "MAX =")};
    for (int i = 0; i < 3; ++i) {
        const int top = kLineTop + i * kLinePitch;
        auto *caption = make<QLabel>(frame, indexedName(Control::ParameterCaptions, table * 3 + i), QCoreApplication::translate("BinPanel", kCaptions[i]),
                                     QRect(kCaptionLeft, top, kCaptionWidth, kBoxHeight));
        caption->setFont(font);
        caption->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // "STEP =" is the widest caption a mode gives these lines.
        uifonts::fitText(caption, QCoreApplication::translate("BinPanel", "STEP ="));
        out.captions[size_t(i)] = caption;

        const int width = i == 0 ? kCountBoxWidth : kParameterBoxWidth;
        auto *box = makeBox(frame, indexedName(boxes, i), QString(),
                            QRect(kBoxLeft, top, width, kBoxHeight), font);
        uifonts::fitText(box, QStringLiteral("0"));
        caption->setBuddy(box);
        box->setAccessibleName(FormMainUi::entryName(table, i, caption->text()));
        out.boxes[size_t(i)] = box;
    }

    out.separator = makeLine(frame, indexedName(Control::PanelDividers, table), QRect(4, kSeparatorTop, kWidth - 8, 3));
}

void buildPanelRows(FormMainUi &ui, int table)
{
    using namespace panel;
    QGroupBox *frame = ui.setupPanels[size_t(table)];
    const QFont font = uifonts::msSerif(12);
    for (int row = 0; row < 9; ++row) {
        const size_t index = size_t(table * 9 + row);
        const int top = kRowTop + row * kRowPitch;
        int left = kRowCaptionLeft;

        auto *caption = make<QLabel>(frame, indexedName(Control::RowCaptions, int(index)), QStringLiteral("BIN No.1"),
                                     QRect(left, top, kRowCaptionWidth, kRowHeight));
        caption->setFont(font);
        uifonts::fitText(caption, kWidestRowCaption);
        left += kRowCaptionWidth + kRowCaptionGap;

        ui.lowerLimits[index] = makeLimitBox(frame, indexedName(Control::LowerLimits, int(index)),
                                             QRect(left, top, kLimitWidth, kRowHeight), font,
                                             FormMainUi::tr("%1 BIN %2 lower limit").arg(tableName(table)).arg(row + 1));
        left += kLimitWidth;

        auto *dash = make<QLabel>(frame, indexedName(Control::LimitDashes, int(index)), QStringLiteral("-"),
                                  QRect(left, top, kDashWidth, kRowHeight));
        dash->setFont(font);
        dash->setAlignment(Qt::AlignCenter);
        dash->setAccessibleName(FormMainUi::tr("to"));
        left += kDashWidth;

        ui.upperLimits[index] = makeLimitBox(frame, indexedName(Control::UpperLimits, int(index)),
                                             QRect(left, top, kLimitWidth, kRowHeight), font,
                                             FormMainUi::tr("%1 BIN %2 upper limit").arg(tableName(table)).arg(row + 1));

        ui.rowCaptions[index] = caption;
        ui.limitDashes[index] = dash;
    }
}

void buildPanel(FormMainUi &ui, QWidget *parent, int table)
{
    static const char *const kTitles[2] = {QT_TRANSLATE_NOOP("FormMainUi", "RESISTANCE  Unit : mOhm"),
                                           QT_TRANSLATE_NOOP("FormMainUi", "VOLTAGE  Unit : V")};
    const int left = table == 0 ? 120 : 4320;
    auto *frame = make<QGroupBox>(parent, indexedName(Control::SetupPanels, table), FormMainUi::tr(kTitles[table]),
                                  QRect(twips(left), twips(2880), panel::kWidth, panel::kHeight));
    frame->setFont(uifonts::tahoma(11.25));
    uifonts::fitText(frame, frame->title());
    ui.setupPanels[size_t(table)] = frame;

    PanelControls controls{};
    controls.frame = frame;
    buildPanelTop(table, table == 0 ? Control::ResistanceModes : Control::VoltageModes,
                  table == 0 ? Control::ResistanceEntries : Control::VoltageEntries, controls);
    ui.modeCaptions[size_t(table)] = controls.modeCaption;
    for (size_t i = 0; i < 3; ++i) {
        ui.parameterCaptions[size_t(table) * 3 + i] = controls.captions[i];
        if (table == 0) {
            ui.resistanceModes[i] = controls.options[i];
            ui.resistanceEntries[i] = controls.boxes[i];
        } else {
            ui.voltageModes[i] = controls.options[i];
            ui.voltageEntries[i] = controls.boxes[i];
        }
    }
    ui.panelDividers[size_t(table)] = controls.separator;
    buildPanelRows(ui, table);
}

void buildResultArea(FormMainUi &ui, QWidget *parent)
{
    // Repainted beneath the value displays with every reading: from a picture.
    ui.resultFrame = make<CachedGroupBox>(parent, name(Control::ResultFrame), FormMainUi::tr("BIN Result - Measurement Value"),
                                QRect(twips(120), twips(120), twips(9375), twips(1695)));
    ui.resultFrame->setFont(uifonts::tahoma(11.25));
    QGroupBox *frame = ui.resultFrame;

    ui.resistanceHeading = makePicture(frame, name(Control::ResistanceHeading), QRect(twips(120), twips(360), twips(750), twips(470)),
                              letterPicture(QLatin1Char('R'), QColor(0x00, 0x90, 0x00)));
    ui.resistanceHeading->setAccessibleName(FormMainUi::tr("Resistance"));
    ui.voltageHeading = makePicture(frame, name(Control::VoltageHeading), QRect(twips(120), twips(960), twips(750), twips(470)),
                              letterPicture(QLatin1Char('V'), QColor(0x00, 0x00, 0xE0)));
    ui.voltageHeading->setAccessibleName(FormMainUi::tr("Voltage"));

    const QFont gridFont = uifonts::tahoma(15.75, true);
    for (int i = 0; i < 18; ++i) {
        const int top = i < 9 ? 360 : 960;
        auto *cell = make<QLabel>(frame, indexedName(Control::BinCells, i), QStringLiteral("1"),
                                  QRect(twips(960 + 540 * (i % 9)), twips(top), twips(500), twips(450)));
        makeCell(cell, gridFont);
        uifonts::fitText(cell, QStringLiteral("9"));
        cell->setAccessibleName(FormMainUi::cellName(i, FormMainUi::CellState::NotLit));
        ui.binCells[size_t(i)] = cell;
    }

    const QFont outFont = uifonts::tahoma(15.75);
    const QFont valueFont = uifonts::msSerif(18);
    for (int i = 0; i < 2; ++i) {
        auto *out = make<QLabel>(frame, indexedName(Control::OutLabels, i), QStringLiteral("-Out"),
                                 QRect(twips(5880), twips(i == 0 ? 360 : 960), twips(915), twips(450)));
        makeCell(out, outFont);
        uifonts::fitText(out, QStringLiteral("+Out"));
        out->setAccessibleDescription(FormMainUi::tr("%1 out of every BIN").arg(tableName(i)));
        ui.outLabels[size_t(i)] = out;

        auto *value = make<QLabel>(frame, indexedName(Control::ValueLabels, i), QString(),
                                   QRect(twips(6960), twips(i == 0 ? 400 : 990), twips(2370), twips(375)));
        value->setFont(valueFont);
        value->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
        // The tester's text is shown as it came, never read as markup.
        value->setTextFormat(Qt::PlainText);
        uifonts::fitText(value, kWidestValue);
        value->setAccessibleName(FormMainUi::valueName(i, QString()));
        ui.valueLabels[size_t(i)] = value;
    }

    // Between the two grid rows, from the row headings to the value displays.
    ui.gridDivider = makeLine(frame, name(Control::GridDivider), QRect(twips(120), twips(840), twips(9210) - twips(120), 3));
}

void buildFileArea(FormMainUi &ui, QWidget *parent)
{
    ui.dataFileFrame = make<QGroupBox>(parent, name(Control::DataFileFrame), FormMainUi::tr("Save Measurement Data in File"),
                                QRect(twips(120), twips(1920), twips(8175), twips(780)));
    const QFont font = uifonts::tahoma(11.25);
    ui.dataFileFrame->setFont(font);
    QGroupBox *frame = ui.dataFileFrame;

    constexpr int kTop = 22;
    constexpr int kHeight = 24;
    ui.fileNameCaption = make<QLabel>(frame, name(Control::FileNameCaption), FormMainUi::tr("File &Name"), QRect(8, kTop, 78, kHeight));
    ui.fileNameCaption->setFont(font);
    uifonts::fitText(ui.fileNameCaption, FormMainUi::tr("File &Name").remove(QLatin1Char('&')));

    ui.dataFilePath = makeBox(frame, name(Control::DataFilePath), QString(),
                              QRect(86, kTop, twips(5655), kHeight), font);
    uifonts::fitText(ui.dataFilePath, QStringLiteral("0"));
    ui.fileNameCaption->setBuddy(ui.dataFilePath);
    ui.dataFilePath->setAccessibleName(FormMainUi::tr("Data file name"));
    ui.dataFilePath->setAccessibleDescription(FormMainUi::tr("Counted cells are appended to this file"));

    const int buttonLeft = 86 + twips(5655) + 6;
    ui.browseButton = make<QPushButton>(frame, name(Control::BrowseButton), FormMainUi::tr("Bro&wse"),
                                    QRect(buttonLeft, kTop - 1, frame->width() - 8 - buttonLeft, kHeight + 2));
    uifonts::fitText(ui.browseButton, FormMainUi::tr("Bro&wse").remove(QLatin1Char('&')));
    ui.browseButton->setAccessibleDescription(FormMainUi::tr("Choose the data file"));
}

void buildButtons(FormMainUi &ui, QWidget *parent)
{
    const QSize size(twips(1095), twips(615));
    // Each caption carries a mnemonic (Alt + the underlined letter); Enter
    // stays "REC - COUNT".
    auto button = [&](Control control, const QString &caption, int left, int top, const QString &description) {
        auto *command = make<QPushButton>(parent, name(control), caption, QRect(QPoint(twips(left), twips(top)), size));
        uifonts::fitText(command, QString(caption).remove(QLatin1Char('&')));
        command->setAccessibleDescription(description);
        return command;
    };
    ui.recCountButton = button(Control::RecCountButton, FormMainUi::tr("&REC - COUNT"), 8400, 2040,
                               FormMainUi::tr("Count and record the cell on the probes (Enter)"));
    ui.dataButton = button(Control::DataButton, FormMainUi::tr("&DATA"), 8400, 3000,
                           FormMainUi::tr("Show the BIN counters"));
    ui.startButton = button(Control::StartButton, FormMainUi::tr("S&TART"), 8400, 6960,
                            FormMainUi::tr("Start measuring"));
    ui.stopButton = button(Control::StopButton, FormMainUi::tr("ST&OP"), 8400, 7680,
                           FormMainUi::tr("Stop measuring"));
}

void buildMenus(FormMainUi &ui, QMainWindow *window)
{
    QMenuBar *bar = window->menuBar();
    bar->setObjectName(QStringLiteral("MenuBar"));

    ui.fileMenu = bar->addMenu(FormMainUi::tr("&File"));
    ui.fileMenu->setObjectName(name(Control::FileMenu));
    ui.exitAction = ui.fileMenu->addAction(FormMainUi::tr("E&xit"));
    ui.exitAction->setObjectName(name(Control::ExitAction));

    ui.settingsMenu = bar->addMenu(FormMainUi::tr("&Settings"));
    ui.settingsMenu->setObjectName(name(Control::SettingsMenu));
    ui.comPortMenu = ui.settingsMenu->addMenu(FormMainUi::tr("&COMPort..."));
    ui.comPortMenu->setObjectName(name(Control::ComPortMenu));
    for (int i = 0; i < 4; ++i) {
        QAction *item = ui.comPortMenu->addAction(QStringLiteral("COM%1").arg(i + 1));
        item->setObjectName(indexedName(Control::ComPortActions, i));
        item->setCheckable(true);
        ui.comPortActions[size_t(i)] = item;
    }

    ui.helpMenu = bar->addMenu(FormMainUi::tr("&Help"));
    ui.helpMenu->setObjectName(name(Control::HelpMenu));
    ui.helpAction = ui.helpMenu->addAction(FormMainUi::tr("&Help"));
    ui.helpSeparator = ui.helpMenu->addSeparator();
    ui.versionAction = ui.helpMenu->addAction(FormMainUi::tr("&Version"));
    const std::array<QAction *, 3> helpItems{ui.helpAction, ui.helpSeparator, ui.versionAction};
    for (int i = 0; i < 3; ++i)
        helpItems[size_t(i)]->setObjectName(indexedName(Control::HelpActions, i));
}

} // namespace

QString FormMainUi::entryName(int table, int entry, const QString &caption)
{
    if (entry == 0)
        return tr("%1 BIN count").arg(tableName(table));
    // "MIN =" names the box "Resistance MIN".
    QString shown = caption;
    shown.remove(QLatin1Char('=')).remove(QLatin1Char('&'));
    return QStringLiteral("%1 %2").arg(tableName(table), shown.trimmed());
}

QString FormMainUi::cellName(int cell, CellState state)
{
    const QString bin = tr("%1 BIN %2").arg(tableName(cell / 9)).arg(cell % 9 + 1);
    switch (state) {
    case CellState::Lit:
        return tr("%1, lit").arg(bin);
    case CellState::NotLit:
        break;
    case CellState::Unused:
        return tr("%1, not in use").arg(bin);
    }
    return tr("%1, not lit").arg(bin);
}

QString FormMainUi::valueName(int table, const QString &shown)
{
    return shown.isEmpty() ? tr("%1 reading").arg(tableName(table))
                           : tr("%1 reading %2").arg(tableName(table), shown);
}

void FormMainUi::setupUi(QMainWindow *window)
{
    centralWidget = new QWidget(window);
    centralWidget->setObjectName(QStringLiteral("centralWidget"));
    centralWidget->setFixedSize(kClientWidth, kClientHeight);
    window->setCentralWidget(centralWidget);

    buildResultArea(*this, centralWidget);
    buildFileArea(*this, centralWidget);
    buildPanel(*this, centralWidget, 0);
    buildPanel(*this, centralWidget, 1);
    buildButtons(*this, centralWidget);
    buildMenus(*this, window);

    // The window takes exactly the menu bar plus the client area; the user
    // cannot resize or maximise it.
    window->layout()->setSizeConstraint(QLayout::SetFixedSize);
    window->setWindowFlag(Qt::WindowMaximizeButtonHint, false);
    window->setWindowFlag(Qt::MSWindowsFixedSizeDialogHint, true);
}

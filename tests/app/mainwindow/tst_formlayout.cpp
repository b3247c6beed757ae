#include "testmain.h"

#include "formmainharness.h"
#include "geometrycheck.h"

#include "app/mainwindow/formmain.h"
#include "app/style/programicon.h"

#include <QAction>
#include <QFontMetrics>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QRegularExpression>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QStatusBar>
#include <QTest>

#include <array>
#include <memory>

namespace {

int px(int twips)
{
    return qRound(twips / 15.0);
}

QStringList arrayNames(const char *name, int count)
{
    QStringList names;
    for (int i = 0; i < count; ++i)
        names << QStringLiteral("%1_%2").arg(QLatin1String(name)).arg(i);
    return names;
}

// Whether one line of `text` in the widget's font fits inside the widget with
// the room its kind needs for frame and margins.
bool fitsOneLine(const QWidget *widget, const QString &caption)
{
    // A mnemonic's "&" is not drawn; "&&" is drawn as one "&".
    QString text = caption;
    text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    const QFontMetrics metrics(widget->font());
    int width = widget->width();
    int height = widget->height();
    if (qobject_cast<const QLineEdit *>(widget)) {
        width -= 8;
        height -= 4;
    } else if (qobject_cast<const QRadioButton *>(widget)) {
        width -= 18;
    } else if (qobject_cast<const QPushButton *>(widget)) {
        width -= 6;
    } else if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        width = label->contentsRect().width();
        height = label->contentsRect().height();
    }
    return metrics.horizontalAdvance(text) <= width && metrics.height() <= height;
}

// Counts pixels whose colour is mostly the given channel.
int dominantPixels(const QPixmap &pixmap, int channel)
{
    const QImage image = pixmap.toImage().convertToFormat(QImage::Format_ARGB32);
    int count = 0;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() < 128)
                continue;
            const int values[3] = {c.red(), c.green(), c.blue()};
            const int mine = values[channel];
            if (mine > 100 && mine > 2 * values[(channel + 1) % 3] && mine > 2 * values[(channel + 2) % 3])
                ++count;
        }
    }
    return count;
}

} // namespace

class TestFormLayout : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_programDir;
    std::unique_ptr<FormMainHarness> m_harness;
    FormMain *m_window = nullptr;

    template <typename T>
    T *control(const QString &name)
    {
        return m_window->findChild<T *>(name);
    }

private Q_SLOTS:
    void init()
    {
        m_harness = std::make_unique<FormMainHarness>(m_programDir.path());
        m_window = m_harness->window.get();
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window));
    }

    void cleanup()
    {
        m_window = nullptr;
        m_harness.reset();
    }

    void everyInventoryControlExistsOnceUnderItsName_data()
    {
        QTest::addColumn<QStringList>("names");
        QTest::addColumn<QString>("kind");
        QTest::newRow("frames") << (QStringList{"Frame2", "Frame3"} + arrayNames("Frame1", 2)) << "QGroupBox";
        QTest::newRow("labels")
            << (arrayNames("Label7", 18) + arrayNames("Label8", 2) + arrayNames("Label5", 2) + arrayNames("Label1", 6)
                + arrayNames("Label2", 18) + arrayNames("Label4", 18) + arrayNames("Label3", 2)
                + QStringList{"Label6", "Picture1", "Picture2"})
            << "QLabel";
        QTest::newRow("boxes") << (arrayNames("Text2", 3) + arrayNames("Text6", 3) + arrayNames("Text3", 18)
                                   + arrayNames("Text4", 18) + QStringList{"TextFileName"})
                               << "QLineEdit";
        QTest::newRow("options") << (arrayNames("Option1", 3) + arrayNames("Option2", 3)) << "QRadioButton";
        QTest::newRow("buttons") << QStringList{"Command1", "Command2", "Command3", "Command4", "Command5"}
                                 << "QPushButton";
        QTest::newRow("lines") << (QStringList{"Line1"} + arrayNames("Line2", 2)) << "QFrame";
        QTest::newRow("menus") << QStringList{"MenuFile", "MenuSetting", "MenuSettingItem_6", "MenuHelp"} << "QMenu";
        QTest::newRow("menu items") << (QStringList{"MenuFileItem_8"} + arrayNames("MenuCOM", 4)
                                        + arrayNames("MenuHelpItem", 3))
                                    << "QAction";
    }

    void everyInventoryControlExistsOnceUnderItsName()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, kind);
        for (const QString &name : names) {
            const QList<QObject *> found = m_window->findChildren<QObject *>(name);
            QVERIFY2(found.size() == 1, qPrintable(QStringLiteral("%1 found %2 times").arg(name).arg(found.size())));
            QVERIFY2(found.first()->inherits(kind.toLatin1().constData()), qPrintable(name));
        }
    }

    // The window reads as the operator expects: two grid rows of nine equal
    // cells, BIN 1 to 9 from the left, each row beside its heading and followed
    // by its out label and its value; the result area above the file area above
    // the two panels side by side; REC - COUNT and DATA at the top of the right
    // column, START and STOP at its foot.
    void controlsReadInTheirOrder()
    {
        const FormMainUi &ui = m_window->ui();
        const std::array<QLabel *, 2> headings{ui.resistanceHeading, ui.voltageHeading};
        for (size_t t = 0; t < 2; ++t) {
            const QRect first = ui.binCells[t * 9]->geometry();
            QVERIFY(first.left() > headings[t]->geometry().right());
            QVERIFY(first.intersects(QRect(0, headings[t]->y(), 10000, headings[t]->height())));
            const int pitch = ui.binCells[t * 9 + 1]->x() - first.x();
            QVERIFY(pitch > first.width());
            for (size_t row = 0; row < 9; ++row) {
                const QRect cell = ui.binCells[t * 9 + row]->geometry();
                QCOMPARE(cell.size(), first.size());
                QCOMPARE(cell.top(), first.top());
                QCOMPARE(cell.left(), first.left() + int(row) * pitch);
                if (t == 1)
                    QCOMPARE(cell.left(), ui.binCells[row]->x());
            }
            const QRect out = ui.outLabels[t]->geometry();
            const QRect value = ui.valueLabels[t]->geometry();
            QVERIFY(out.left() > ui.binCells[t * 9 + 8]->geometry().right());
            QVERIFY(value.left() > out.right());
            QVERIFY(out.center().y() > first.top() && out.center().y() < first.bottom());
            QVERIFY(value.center().y() > first.top() && value.center().y() < first.bottom());
        }
        QVERIFY(ui.binCells[9]->y() > ui.binCells[0]->geometry().bottom());

        QVERIFY(ui.dataFileFrame->y() > ui.resultFrame->geometry().bottom());
        for (QGroupBox *panel : ui.setupPanels)
            QVERIFY(panel->y() > ui.dataFileFrame->geometry().bottom());
        QCOMPARE(ui.setupPanels[0]->y(), ui.setupPanels[1]->y());
        QVERIFY(ui.setupPanels[1]->x() > ui.setupPanels[0]->geometry().right());

        const QList<QPushButton *> column{ui.recCountButton, ui.dataButton, ui.startButton, ui.stopButton};
        for (qsizetype i = 0; i < column.size(); ++i) {
            QCOMPARE(column[i]->x(), ui.recCountButton->x());
            QCOMPARE(column[i]->size(), ui.recCountButton->size());
            QVERIFY(column[i]->x() > ui.setupPanels[1]->geometry().right());
            if (i > 0)
                QVERIFY(column[i]->y() > column[i - 1]->geometry().bottom());
        }
        QVERIFY(ui.recCountButton->y() < ui.setupPanels[1]->y());
        QVERIFY(ui.stopButton->geometry().bottom() >= ui.setupPanels[1]->geometry().bottom() - ui.stopButton->height());
    }

    void fileNameBoxHasItsWidthInsideTheFileFrame()
    {
        const auto *box = control<QLineEdit>(QStringLiteral("TextFileName"));
        QCOMPARE(box->width(), px(5655));
        QCOMPARE(box->parentWidget(), control<QWidget>(QStringLiteral("Frame3")));
        QCOMPARE(control<QWidget>(QStringLiteral("Label6"))->parentWidget(), box->parentWidget());
        QCOMPARE(control<QWidget>(QStringLiteral("Command3"))->parentWidget(), box->parentWidget());
    }

    void windowIsFixedAtItsClientSizeBelowTheMenuBar()
    {
        const FormMainUi &ui = m_window->ui();
        QCOMPARE(ui.centralWidget->size(), QSize(641, 562));
        QCOMPARE(ui.centralWidget->y(), m_window->menuBar()->geometry().bottom() + 1);
        QCOMPARE(m_window->minimumSize(), m_window->maximumSize());
        // Below the client area, the status line.
        QCOMPARE(m_window->height(), m_window->menuBar()->height() + 562 + m_window->statusBar()->height());
        QCOMPARE(m_window->width(), 641);
        QVERIFY(!m_window->windowFlags().testFlag(Qt::WindowMaximizeButtonHint));

        const QSize before = m_window->size();
        m_window->resize(900, 700);
        QCOMPARE(m_window->size(), before);
        QCOMPARE(m_window->windowTitle(), QStringLiteral("BATTERY KELVANO BIN Measurement"));
    }

    void noControlLeavesItsParentOrCoversASibling_data()
    {
        QTest::addColumn<QString>("container");
        QTest::addColumn<int>("controls");
        QTest::newRow("client area") << "centralWidget" << 9; // with BATCH
        QTest::newRow("result area") << "Frame2" << 26; // with the stale-reading notice
        QTest::newRow("file area") << "Frame3" << 3;
        QTest::newRow("resistance panel") << "Frame1_0" << 47;
        QTest::newRow("voltage panel") << "Frame1_1" << 47;
    }

    void noControlLeavesItsParentOrCoversASibling()
    {
        QFETCH(QString, container);
        QFETCH(int, controls);
        const QWidget *parent = control<QWidget>(container);
        QVERIFY(parent);
        QCOMPARE(geometrycheck::placedChildren(parent).size(), controls);
        const QStringList problems = geometrycheck::placementProblems(parent);
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(QStringLiteral("; "))));
    }

    void panelsReadAsModeParametersLineAndNineRows_data()
    {
        QTest::addColumn<int>("table");
        QTest::newRow("resistance") << 0;
        QTest::newRow("voltage") << 1;
    }

    void panelsReadAsModeParametersLineAndNineRows()
    {
        QFETCH(int, table);
        const FormMainUi &ui = m_window->ui();
        const QGroupBox *frame = ui.setupPanels[size_t(table)];
        const auto &options = table == 0 ? ui.resistanceModes : ui.voltageModes;
        const auto &boxes = table == 0 ? ui.resistanceEntries : ui.voltageEntries;

        // Mode and its options at the left, in index order from the top.
        QCOMPARE(ui.modeCaptions[size_t(table)]->parentWidget(), frame);
        for (size_t i = 0; i < 3; ++i) {
            QCOMPARE(options[i]->parentWidget(), frame);
            QVERIFY(options[i]->y() > ui.modeCaptions[size_t(table)]->y());
            if (i > 0)
                QVERIFY(options[i]->y() > options[i - 1]->y());
        }
        // Caption and box lines at the right of the options, box after caption.
        for (size_t i = 0; i < 3; ++i) {
            const QLabel *caption = ui.parameterCaptions[size_t(table) * 3 + i];
            QCOMPARE(caption->parentWidget(), frame);
            QCOMPARE(boxes[i]->parentWidget(), frame);
            QVERIFY(caption->x() > options[i]->geometry().right());
            QVERIFY(boxes[i]->x() > caption->geometry().right());
            QCOMPARE(boxes[i]->y(), caption->y());
        }
        QVERIFY(boxes[0]->width() < boxes[1]->width());
        QCOMPARE(boxes[1]->width(), boxes[2]->width());

        // The line closes the upper part and spans most of the frame.
        const QWidget *line = ui.panelDividers[size_t(table)];
        QCOMPARE(line->parentWidget(), frame);
        QVERIFY(line->y() > options[2]->geometry().bottom());
        QVERIFY(line->y() > boxes[2]->geometry().bottom());
        QVERIFY(line->width() > frame->width() * 9 / 10);

        // Nine equal rows below it: caption, lower, dash, upper.
        int pitch = 0;
        for (int row = 0; row < 9; ++row) {
            const size_t i = size_t(table * 9 + row);
            const QWidget *cells[4] = {ui.rowCaptions[i], ui.lowerLimits[i], ui.limitDashes[i], ui.upperLimits[i]};
            for (int c = 0; c < 4; ++c) {
                QCOMPARE(cells[c]->parentWidget(), frame);
                QCOMPARE(cells[c]->y(), cells[0]->y());
                if (c > 0)
                    QVERIFY(cells[c]->x() > cells[c - 1]->geometry().right());
            }
            QCOMPARE(ui.lowerLimits[i]->width(), ui.upperLimits[i]->width());
            if (row == 0) {
                QVERIFY(cells[0]->y() > line->geometry().bottom());
            } else {
                const int step = ui.rowCaptions[i]->y() - ui.rowCaptions[i - 1]->y();
                QVERIFY(step > 0);
                if (row > 1)
                    QCOMPARE(step, pitch);
                pitch = step;
            }
        }
    }

    void startUpCaptionsFitTheirControls()
    {
        const FormMainUi &ui = m_window->ui();
        QStringList overflowing;
        auto check = [&overflowing](const QWidget *widget, const QString &text) {
            if (!fitsOneLine(widget, text))
                overflowing << QStringLiteral("%1 \"%2\"").arg(widget->objectName(), text);
        };
        for (size_t i = 0; i < 18; ++i) {
            check(ui.binCells[i], QStringLiteral("9"));
            check(ui.rowCaptions[i], QStringLiteral("BIN No. 9"));
            check(ui.limitDashes[i], QStringLiteral("-"));
            check(ui.lowerLimits[i], QStringLiteral("-12.3457"));
            check(ui.upperLimits[i], QStringLiteral("123457"));
        }
        for (size_t i = 0; i < 2; ++i) {
            check(ui.outLabels[i], QStringLiteral("+Out"));
            check(ui.valueLabels[i], QStringLiteral("12.3456mOhm"));
            check(ui.modeCaptions[i], QStringLiteral("Mode"));
        }
        for (size_t i = 0; i < 6; ++i) {
            for (const char *caption : {"BINs =", "MIN =", "MAX =", "STEP =", "REF =", "% ="})
                check(ui.parameterCaptions[i], QLatin1String(caption));
        }
        for (size_t i = 0; i < 3; ++i) {
            check(ui.resistanceModes[i], ui.resistanceModes[i]->text());
            check(ui.voltageModes[i], ui.voltageModes[i]->text());
        }
        for (const QPushButton *button : {ui.startButton, ui.stopButton, ui.browseButton, ui.recCountButton, ui.dataButton})
            check(button, button->text());
        check(ui.fileNameCaption, ui.fileNameCaption->text());
        QVERIFY2(overflowing.isEmpty(), qPrintable(overflowing.join(QStringLiteral(", "))));
    }

    void fontsKeepTheirFamiliesAndNearlyTheirSizes_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("family");
        QTest::addColumn<int>("pixels");
        QTest::addColumn<bool>("bold");
        QTest::newRow("grid") << "Label7_5" << "Tahoma" << 21 << true;
        QTest::newRow("out") << "Label8_1" << "Tahoma" << 21 << false;
        QTest::newRow("value") << "Label5_0" << "MS Serif" << 24 << false;
        QTest::newRow("row caption") << "Label2_17" << "MS Serif" << 16 << false;
        QTest::newRow("dash") << "Label4_3" << "MS Serif" << 16 << false;
        QTest::newRow("lower limit") << "Text3_0" << "MS Serif" << 16 << false;
        QTest::newRow("upper limit") << "Text4_9" << "MS Serif" << 16 << false;
        QTest::newRow("panel frame") << "Frame1_1" << "Tahoma" << 15 << false;
        QTest::newRow("result frame") << "Frame2" << "Tahoma" << 15 << false;
        QTest::newRow("parameter caption") << "Label1_4" << "Tahoma" << 15 << false;
        QTest::newRow("mode caption") << "Label3_0" << "Tahoma" << 15 << false;
        QTest::newRow("option") << "Option2_1" << "Tahoma" << 15 << false;
        QTest::newRow("entry box") << "Text6_2" << "Tahoma" << 15 << false;
        QTest::newRow("file caption") << "Label6" << "Tahoma" << 15 << false;
        QTest::newRow("file name") << "TextFileName" << "Tahoma" << 15 << false;
    }

    void fontsKeepTheirFamiliesAndNearlyTheirSizes()
    {
        QFETCH(QString, name);
        QFETCH(QString, family);
        QFETCH(int, pixels);
        QFETCH(bool, bold);
        const QWidget *widget = control<QWidget>(name);
        QVERIFY(widget);
        const QFont font = widget->font();
        QVERIFY(!font.families().isEmpty());
        QCOMPARE(font.families().first(), family);
        QVERIFY2(font.families().size() > 1, "a fallback family is needed where the first one is missing");
        // Shrinking to fit is allowed, but only a little.
        QVERIFY2(font.pixelSize() <= pixels && font.pixelSize() >= pixels * 3 / 4,
                 qPrintable(QString::number(font.pixelSize())));
        QCOMPARE(font.bold(), bold);
    }

    void gridAndOutCellsAreBorderedCentredAndColourable()
    {
        const FormMainUi &ui = m_window->ui();
        QList<QLabel *> cells(ui.binCells.begin(), ui.binCells.end());
        cells << ui.outLabels[0] << ui.outLabels[1];
        for (const QLabel *cell : cells) {
            QVERIFY2(cell->autoFillBackground(), qPrintable(cell->objectName()));
            QVERIFY(cell->frameShape() != QFrame::NoFrame);
            QCOMPARE(cell->alignment(), Qt::Alignment(Qt::AlignCenter));
        }
    }

    void rowHeadingsShowAGreenRAndABlueV()
    {
        const FormMainUi &ui = m_window->ui();
        const QPixmap r = ui.resistanceHeading->pixmap();
        const QPixmap v = ui.voltageHeading->pixmap();
        QCOMPARE(r.size(), QSize(50, 30));
        QCOMPARE(v.size(), QSize(50, 30));
        QVERIFY(dominantPixels(r, 1) > 20);
        QCOMPARE(dominantPixels(r, 2), 0);
        QVERIFY(dominantPixels(v, 2) > 20);
        QCOMPARE(dominantPixels(v, 1), 0);
    }

    void menusHoldTheirItemsInOrder()
    {
        const QList<QAction *> top = m_window->menuBar()->actions();
        QCOMPARE(top.size(), 3);
        QCOMPARE(top[0]->text(), QStringLiteral("&File"));
        QCOMPARE(top[1]->text(), QStringLiteral("&Settings"));
        QCOMPARE(top[2]->text(), QStringLiteral("&Help"));

        const FormMainUi &ui = m_window->ui();
        QCOMPARE(top[0]->menu(), ui.fileMenu);
        // The batch, cell history, build sheet and placement windows' items,
        // a separator, then Exit.
        const QList<QAction *> fileItems = ui.fileMenu->actions();
        QCOMPARE(fileItems.size(), 6);
        QCOMPARE(fileItems[0]->objectName(), QStringLiteral("batchMenuItem"));
        QCOMPARE(fileItems[0]->text(), QStringLiteral("&Batch..."));
        QCOMPARE(fileItems[1]->objectName(), QStringLiteral("cellHistoryAction"));
        QCOMPARE(fileItems[2]->text(), QStringLiteral("Build a &pack..."));
        QCOMPARE(fileItems[3]->text(), QStringLiteral("Pack p&lacement..."));
        QVERIFY(fileItems[4]->isSeparator());
        QCOMPARE(fileItems[5], ui.exitAction);
        QCOMPARE(ui.exitAction->text(), QStringLiteral("E&xit"));

        QCOMPARE(top[1]->menu(), ui.settingsMenu);
        // The COMPort and Tester profile submenus first, then the hands-free
        // items after a separator, then the central record and the cell IDs.
        const QList<QAction *> settingItems = ui.settingsMenu->actions();
        QCOMPARE(settingItems.size(), 8);
        QCOMPARE(settingItems[0], ui.comPortMenu->menuAction());
        QCOMPARE(settingItems[1]->menu()->objectName(), QStringLiteral("testerProfileMenu"));
        QVERIFY(settingItems[2]->isSeparator());
        QCOMPARE(settingItems[3]->objectName(), QStringLiteral("autoRecordAction"));
        QCOMPARE(settingItems[4]->objectName(), QStringLiteral("soundCueAction"));
        QCOMPARE(settingItems[5]->objectName(), QStringLiteral("handsFreeOptionsAction"));
        QCOMPARE(settingItems[6]->objectName(), QStringLiteral("centralRecordAction"));
        QCOMPARE(settingItems[6]->text(), QStringLiteral("&Central record..."));
        QCOMPARE(settingItems[7]->objectName(), QStringLiteral("cellIdOptionsAction"));
        QCOMPARE(ui.comPortMenu->title(), QStringLiteral("&COMPort..."));
        // COM1..COM4 first; the port chooser's lines and submenus follow them.
        const QList<QAction *> ports = ui.comPortMenu->actions();
        QCOMPARE(ports.size(), 4 + 1 + 4 + 1 + 4);
        QVERIFY(ports[4]->isSeparator());
        for (int i = 0; i < 4; ++i) {
            QVERIFY(ports[5 + i]->text().startsWith(QStringLiteral("COM%1 -> ").arg(i + 1)));
            QCOMPARE(ports[10 + i]->text(), QStringLiteral("Connect COM%1 to").arg(i + 1));
            QVERIFY(ports[10 + i]->menu());
        }
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(ports[i], ui.comPortActions[size_t(i)]);
            QCOMPARE(ports[i]->text(), QStringLiteral("COM%1").arg(i + 1));
            QVERIFY(ports[i]->isCheckable());
            // Start-up marks the port in use, COM1 without settings.
            QCOMPARE(ports[i]->isChecked(), i == 0);
        }

        QCOMPARE(top[2]->menu(), ui.helpMenu);
        const QList<QAction *> help = ui.helpMenu->actions();
        QCOMPARE(help.size(), 3);
        QCOMPARE(help[0], ui.helpAction);
        QCOMPARE(help[0]->text(), QStringLiteral("&Help"));
        QVERIFY(help[1]->isSeparator());
        QCOMPARE(help[1], ui.helpSeparator);
        QCOMPARE(help[2], ui.versionAction);
        QCOMPARE(help[2]->text(), QStringLiteral("&Version"));
    }

    void programIconComesInBothSizes()
    {
        const QIcon icon = programIcon();
        const QList<QSize> sizes = icon.availableSizes();
        QVERIFY(sizes.contains(QSize(32, 32)));
        QVERIFY(sizes.contains(QSize(16, 16)));
        // A grey body and a red display must both be there.
        const QImage image = icon.pixmap(32, 32).toImage();
        QVERIFY(dominantPixels(icon.pixmap(32, 32), 0) > 5);
        QCOMPARE(QColor(image.pixel(16, 26)).red(), QColor(image.pixel(16, 26)).blue());
        QVERIFY(!m_window->windowIcon().isNull());
    }
};

BIN4870_TEST(TestFormLayout)
#include "tst_formlayout.moc"

#include "testmain.h"

#include "bintablefixture.h"
#include "devdb.h"
#include "englishplurals.h"
#include "formmainharness.h"
#include "frozenserver.h"

#include "app/quality/qualitywindow.h"
#include "bins/batchsummary.h"
#include "bins/bintables.h"
#include "common/releasedwork.h"
#include "record/centraldatabase.h"
#include "record/journal.h"

#include <QAction>
#include <QAreaSeries>
#include <QChart>
#include <QChartView>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QThreadPool>

#include <memory>
#include <sys/stat.h>
#include <cstdio>

namespace {

// Generous: a sanitizer build on a busy machine reads the 30 MB file of the
// progress test in well over ten seconds.
constexpr int kWait = 60000;

BinTable maxMin(qint16 numBins, float min, float max)
{
    BinTable t;
    t.numBins = numBins;
    t.minValue = min;
    t.maxValue = max;
    return withLimits(t);
}

QByteArray record(const char *ohms, const char *volts)
{
    return QByteArray("2026/12/07,14:05:09,") + ohms + ',' + volts + "\r\n";
}

// Resistance 10..40 mOhm in 3 BINs, voltage 3.0..4.0 V in 2 BINs.
const QByteArray kBatch = record("10E-3", "3.2") + record("15E-3", "3.6") + "date,time,R,V\r\n"
                          + record("25E-3", "3.7") + record("45E-3", "3.1") + record("2E-3", "4.5")
                          + "2026/12/07,14:05:09,OF,3.6\r\n";

void writeFile(const QString &path, const QByteArray &content, QIODevice::OpenMode mode = QIODevice::WriteOnly)
{
    QFile file(path);
    QVERIFY(file.open(mode));
    QCOMPARE(file.write(content), content.size());
}

QString cellText(const QTableWidget *table, int row, int column)
{
    const QTableWidgetItem *item = table->item(row, column);
    return item ? item->text() : QStringLiteral("<none>");
}

template <typename T>
T *child(const QObject *parent, const char *name)
{
    return parent->findChild<T *>(QLatin1String(name));
}

} // namespace

class TestQualityWindow : public QObject
{
    Q_OBJECT

private:
    QTemporaryDir m_dir;
    BinTables m_tables;

    QString path(const char *name) const { return m_dir.filePath(QLatin1String(name)); }

    // A window on `file`, once its first read has ended.
    std::unique_ptr<QualityWindow> openOn(const QString &file)
    {
        auto form = std::make_unique<QualityWindow>(m_tables, file);
        form->setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(form.get(), &QualityWindow::readingEnded);
        form->show();
        if (!ended.wait(kWait))
            return nullptr;
        return form;
    }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        // Count texts read as the operator sees them ("1 cell", "2 cells").
        QVERIFY(englishplurals::install());
    }
    void init() { m_tables.setTables(maxMin(3, 10, 40), maxMin(2, 3.0f, 4.0f)); }

    void showsTheBatchAgainstTheCurrentLimits()
    {
        const QString file = path("batch.csv");
        writeFile(file, kBatch);
        const auto form = openOn(file);
        QVERIFY(form);

        const auto *status = child<QLabel>(form.get(), "statusLabel");
        QCOMPARE(status->text(), QStringLiteral("5 cells, 2 lines not read."));
        QVERIFY(child<QLabel>(form.get(), "bannerLabel")->text().contains(QStringLiteral("current limits")));

        // Rows BIN 1..3, +Out, -Out, Total.
        const auto *table = child<QTableWidget>(form.get(), "resistanceTable");
        QCOMPARE(table->rowCount(), 6);
        QCOMPARE(table->verticalHeaderItem(3)->text(), QStringLiteral("+Out"));
        const QStringList counts{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                                 QStringLiteral("1"), QStringLiteral("5")};
        for (int row = 0; row < 6; ++row)
            QCOMPARE(cellText(table, row, 1), counts.at(row));
        QCOMPARE(cellText(table, 0, 0), QStringLiteral("10.0 - 20.0"));
        QCOMPARE(cellText(table, 0, 2), QStringLiteral("40.00"));
        QCOMPARE(cellText(table, 0, 3), QStringLiteral("12.5"));
        QCOMPARE(cellText(table, 2, 3), QString());
        const auto *voltage = child<QTableWidget>(form.get(), "voltageTable");
        QCOMPARE(cellText(voltage, 2, 1), QStringLiteral("1")); // +Out: 4.5 V

        // Each BIN is a band over the histogram from its lower to its upper limit.
        const QChart *histogram = child<QChartView>(form.get(), "histogramR")->chart();
        QStringList bands;
        for (QAbstractSeries *series : histogram->series()) {
            if (auto *area = qobject_cast<QAreaSeries *>(series); area && area->name().startsWith(QLatin1String("BIN"))) {
                const QList<QPointF> edge = area->lowerSeries()->points();
                bands << QStringLiteral("%1 %2-%3").arg(area->name()).arg(edge.first().x()).arg(edge.last().x());
            }
        }
        QCOMPARE(bands, QStringList({QStringLiteral("BIN 1 10-20"), QStringLiteral("BIN 2 20-30"),
                                     QStringLiteral("BIN 3 30-40")}));

        // Out of either table draws the point in the out group: 45 mOhm, 2 mOhm.
        const QChart *scatter = child<QChartView>(form.get(), "scatterPlot")->chart();
        QStringList groups;
        for (QAbstractSeries *series : scatter->series()) {
            const auto *points = qobject_cast<QScatterSeries *>(series);
            QVERIFY(points);
            groups << QStringLiteral("%1:%2").arg(points->name()).arg(points->count());
        }
        QCOMPARE(groups, QStringList({QStringLiteral("Out:2"), QStringLiteral("R1 V1:1"), QStringLiteral("R1 V2:1"),
                                      QStringLiteral("R2 V2:1")}));

        // Stability: 10 15 25 45 2 mOhm, mean 19.4, moving ranges 5 10 20 43, mean 19.5.
        const spc::ControlLimits &limits = form->analysis().quantities[0].limits;
        QCOMPARE(limits.centre, 19.4);
        QCOMPARE(limits.meanMovingRange, 19.5);
        QStringList lines;
        for (QAbstractSeries *series : child<QChartView>(form.get(), "individualsR")->chart()->series()) {
            if (const auto *line = qobject_cast<QLineSeries *>(series); line && line->count() == 2)
                lines << QStringLiteral("%1 %2").arg(line->name()).arg(line->at(0).y());
        }
        QVERIFY2(lines.contains(QStringLiteral("UCL %1").arg(19.4 + 2.66 * 19.5)), qPrintable(lines.join(QLatin1Char(','))));
        QVERIFY(child<QPlainTextEdit>(form.get(), "stabilityText")->toPlainText().contains(QStringLiteral("Cpk")));
        // Three cells are in a BIN of both tables, all in the 14:00 hour.
        const auto *yield = child<QTableWidget>(form.get(), "yieldTable");
        QCOMPARE(yield->rowCount(), 2);
        QCOMPARE(cellText(yield, 0, 0), QStringLiteral("2026-12-07 14:00"));
        QCOMPARE(cellText(yield, 0, 2), QStringLiteral("3"));
        QCOMPARE(cellText(yield, 0, 3), QStringLiteral("60.00"));
    }

    // One cell, one damaged line: each count in its singular, a zero in the plural.
    void countsOfOneReadInTheSingular()
    {
        const QString file = path("one.csv");
        writeFile(file, record("10E-3", "3.2") + "date,time,R,V\r\n");
        const auto form = openOn(file);
        QVERIFY(form);
        QCOMPARE(child<QLabel>(form.get(), "statusLabel")->text(), QStringLiteral("1 cell, 1 line not read."));
        const QString histogram = child<QChartView>(form.get(), "histogramR")->accessibleDescription();
        for (const char *part : {": 1 cell; ", "BIN 1: 1 cell; ", "BIN 2: 0 cells; ", "+Out: 0 cells; "})
            QVERIFY2(histogram.contains(QLatin1String(part)), qPrintable(histogram));
    }

    // The stability tab takes the range chosen; the distribution stays whole.
    void theStabilityTabTakesTheChosenRange()
    {
        const QString file = path("range.csv");
        writeFile(file, "2026/12/06,23:59:59,20E-3,3.5\r\n2026/12/07,06:00:00,30E-3,3.5\r\n"
                        "2026/12/07,13:59:00,35E-3,3.5\r\n2026/12/07,14:00:00,50E-3,3.5\r\n");
        const auto form = openOn(file);
        QVERIFY(form);
        QCOMPARE(form->analysis().summary.count(), qint64(4));
        child<QDateTimeEdit>(form.get(), "fromEdit")->setDateTime(QDateTime(QDate(2026, 12, 7), QTime(6, 0)));
        child<QDateTimeEdit>(form.get(), "toEdit")->setDateTime(QDateTime(QDate(2026, 12, 7), QTime(14, 0)));
        QSignalSpy shown(form.get(), &QualityWindow::analysisShown);
        form->setRange(QualityWindow::Range::FromTo);
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(2));
        QCOMPARE(form->analysis().quantities[0].limits.centre, 32.5);
        QCOMPARE(cellText(child<QTableWidget>(form.get(), "yieldTable"), 0, 0), QStringLiteral("2026-12-07 06:00"));
        QCOMPARE(form->summary().count(), qint64(4));

        // Back to every cell of the file.
        form->setRange(QualityWindow::Range::All);
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(4));
    }

    // "This shift" by the start times of Shifts.ini in the settings folder:
    // the shift under way began an hour ago; a cell a minute before that
    // belongs to the one before. A Shifts.ini that cannot be used is told.
    void theStabilityTabTakesThisShift()
    {
        const QDateTime now = QDateTime::currentDateTime();
        const QDateTime start = QDateTime(now.date(), QTime(now.time().hour(), now.time().minute())).addSecs(-3600);
        auto line = [](const QDateTime &t) { return t.toString(QStringLiteral("yyyy/MM/dd,HH:mm:ss,")).toLatin1() + "30E-3,3.5\r\n"; };
        const QString file = path("shift.csv");
        writeFile(file, line(start.addSecs(-60)) + line(start) + line(start.addSecs(1800)));
        QTemporaryDir places;
        writeFile(places.filePath(QStringLiteral("Shifts.ini")),
                  QStringLiteral("[Shifts]\nStarts=%1, %2\n")
                      .arg(start.toString(QStringLiteral("HH:mm")), start.addSecs(7200).toString(QStringLiteral("HH:mm")))
                      .toLatin1());
        const auto form = openOn(file);
        QVERIFY(form);
        form->setRecordPlaces(places.filePath(QStringLiteral("journal.sqlite")), places.path());
        QSignalSpy shown(form.get(), &QualityWindow::analysisShown);
        form->setRange(QualityWindow::Range::ThisShift);
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(2));
        QVERIFY(child<QLabel>(form.get(), "sourceLabel")->text().isEmpty());
        QCOMPARE(child<QDateTimeEdit>(form.get(), "fromEdit")->dateTime(), start);
        QCOMPARE(child<QDateTimeEdit>(form.get(), "toEdit")->dateTime(), start.addSecs(7200));

        writeFile(places.filePath(QStringLiteral("Shifts.ini")), "[Shifts]\nStarts=morning\n");
        form->setRange(QualityWindow::Range::All);
        QVERIFY(shown.wait(kWait));
        form->setRange(QualityWindow::Range::ThisShift);
        QVERIFY(shown.wait(kWait));
        QVERIFY2(child<QLabel>(form.get(), "sourceLabel")->text().contains(QLatin1String("'morning' is no time of day")),
                 qPrintable(child<QLabel>(form.get(), "sourceLabel")->text()));
    }

    void readsLinesWithACellIdLikeTheOthers()
    {
        // The same batch, three of its cells with an ID as a fifth field (one
        // with the tester's word after it), and a line with seven fields,
        // which is no record.
        QByteArray batch = kBatch;
        batch.replace("15E-3,3.6\r\n", "15E-3,3.6,C-0001\r\n");
        batch.replace("25E-3,3.7\r\n", "25E-3,3.7,C-0002\r\n");
        batch.replace("2E-3,4.5\r\n", "2E-3,4.5,C-0001,FAIL\r\n");
        batch += "2026/12/07,14:05:09,15E-3,3.6,C-3,PASS,x\r\n";
        const QString file = path("batch-ids.csv");
        writeFile(file, batch);
        const auto form = openOn(file);
        QVERIFY(form);
        QCOMPARE(child<QLabel>(form.get(), "statusLabel")->text(), QStringLiteral("5 cells, 3 lines not read."));
        const auto *table = child<QTableWidget>(form.get(), "resistanceTable");
        const QStringList counts{QStringLiteral("2"), QStringLiteral("1"), QStringLiteral("0"), QStringLiteral("1"),
                                 QStringLiteral("1"), QStringLiteral("5")};
        for (int row = 0; row < 6; ++row)
            QCOMPARE(cellText(table, row, 1), counts.at(row));
    }

    void scatterLegendNamesEveryPairAndTellsShadesApart()
    {
        // 5 resistance BINs against 4 voltage BINs, one cell in each pair.
        m_tables.setTables(maxMin(5, 10, 60), maxMin(4, 3.0f, 4.2f));
        QByteArray content;
        for (int r = 0; r < 5; ++r) {
            for (int v = 0; v < 4; ++v)
                content += record(QByteArray::number(15 + 10 * r) + "E-3", QByteArray::number(3.15 + 0.3 * v));
        }
        const QString file = path("pairs.csv");
        writeFile(file, content);
        const auto form = openOn(file);
        QVERIFY(form);

        const QString legend = child<QLabel>(form.get(), "scatterLegend")->text();
        for (int r = 1; r <= 5; ++r) {
            for (int v = 1; v <= 4; ++v)
                QVERIFY2(legend.contains(QStringLiteral("R%1 V%2").arg(r).arg(v)), qPrintable(legend));
        }
        QVERIFY2(child<QLabel>(form.get(), "scatterLegend")->isVisible(), "the legend is shown");

        // Within a resistance BIN the voltage BINs differ in shade and in marker shape.
        for (int r = 0; r < 9; ++r) {
            for (int v = 1; v < 9; ++v) {
                const QColor a = batchcharts::pairColour(r, v - 1);
                const QColor b = batchcharts::pairColour(r, v);
                QVERIFY(std::abs(a.lightness() - b.lightness()) >= 12);
                QVERIFY(batchcharts::pairShape(v - 1) != batchcharts::pairShape(v));
            }
        }
        QVERIFY(batchcharts::pairColour(0, 8).lightness() > 40);
    }

    void scatterTitleCountsInOrdinals()
    {
        const QStringList expected{"1st", "2nd", "3rd", "4th", "11th", "12th", "13th", "21st", "22nd", "23rd", "101st",
                                   "111th"};
        const int numbers[] = {1, 2, 3, 4, 11, 12, 13, 21, 22, 23, 101, 111};
        for (int i = 0; i < expected.size(); ++i)
            QCOMPARE(batchcharts::ordinal(numbers[i]), expected.at(i));
    }

    // The local journal and the shared database as the stability tab's
    // source: all benches or one, and with the shared database the line view
    // of one row per bench; a database that is down is told in the window.
    void theJournalAndTheSharedDatabaseAsSources()
    {
        const auto form = openOn(path("sources.csv"));
        QVERIFY(form);
        QTemporaryDir places;
        const BinSetup setup = cellfixtures::setup();
        std::vector<Journal::Pending> cells;
        {
            Journal journal(QStringLiteral("window-test"));
            QVERIFY(journal.open(places.filePath(QStringLiteral("journal.sqlite"))));
            std::vector<CellRecord> records;
            for (int n = 0; n < 30; ++n) {
                records.push_back(cellfixtures::record(n < 20 ? QStringLiteral("line-1") : QStringLiteral("line-2"), n, setup));
                cells.push_back({n + 1, records.back()});
            }
            QVERIFY(journal.appendAll(records, setup));
        }
        DevDatabase db;
        QVERIFY(db.start());
        QVERIFY(sendCells(db.settings(), cells, {{setup.hash, setup.text}}));
        QVERIFY(saveCentralSettings(places.path(), db.settings()));
        form->setRecordPlaces(places.filePath(QStringLiteral("journal.sqlite")), places.path());

        QSignalSpy shown(form.get(), &QualityWindow::analysisShown);
        form->setSource(QualityWindow::Source::Journal);
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(30));
        QVERIFY(child<QTableWidget>(form.get(), "lineTable")->isHidden());
        form->setBench(QStringLiteral("line-2"));
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(10));

        // The line view comes first, then the charts.
        QSignalSpy lineShown(form.get(), &QualityWindow::lineViewShown);
        form->setSource(QualityWindow::Source::Central);
        QVERIFY(shown.wait(kWait));
        QVERIFY2(form->sourceError().isEmpty(), qPrintable(form->sourceError()));
        QCOMPARE(lineShown.count(), 1);
        QCOMPARE(form->analysis().summary.count(), qint64(10));
        QCOMPARE(form->lineView().size(), std::size_t(1));
        form->setBench(QString());
        QVERIFY(shown.wait(kWait));
        QCOMPARE(form->analysis().summary.count(), qint64(30));
        const auto *line = child<QTableWidget>(form.get(), "lineTable");
        QVERIFY(!line->isHidden());
        QCOMPARE(line->rowCount(), 2);
        QCOMPARE(cellText(line, 0, 0), QStringLiteral("line-1"));
        QCOMPARE(cellText(line, 0, 1), QStringLiteral("20"));
        QCOMPARE(cellText(line, 1, 1), QStringLiteral("10"));

        QVERIFY(db.stop());
        form->setRange(QualityWindow::Range::Today);
        QVERIFY(shown.wait(kWait));
        QVERIFY2(form->sourceError().contains(QLatin1String("cannot be reached")), qPrintable(form->sourceError()));
        QVERIFY(child<QLabel>(form.get(), "sourceLabel")->text().contains(QLatin1String("cannot be reached")));
        QCOMPARE(line->rowCount(), 0);
    }

    // Reading from the shared database when the server stops answering in
    // the middle of a statement: closing the window returns at once, and the
    // analysis left on its thread ends without the window once the server
    // answers again.
    void closingWhileTheSharedDatabaseHangsReturnsAtOnce()
    {
        DevDatabase db;
        QVERIFY(db.start());
        const BinSetup setup = cellfixtures::setup();
        QVERIFY(sendCells(db.settings(), {{1, cellfixtures::record(QStringLiteral("line-1"), 1, setup)}},
                          {{setup.hash, setup.text}}));
        QTemporaryDir places;
        QVERIFY(saveCentralSettings(places.path(), db.settings()));
        auto form = openOn(path("frozen.csv"));
        QVERIFY(form);
        form->setRecordPlaces(places.filePath(QStringLiteral("journal.sqlite")), places.path());

        FrozenServer frozen(db);
        QVERIFY(frozen.lockCells());
        form->setSource(QualityWindow::Source::Central);
        QTRY_COMPARE_WITH_TIMEOUT(frozen.waitingOnLock(), 1, kWait);
        QVERIFY(frozen.freeze());

        const qint64 closing = millisecondsOf([&] {
            form->close();
            form.reset();
        });
        QVERIFY2(closing < 500, qPrintable(QStringLiteral("closing took %1 ms").arg(closing)));
        QCOMPARE(QThreadPool::globalInstance()->activeThreadCount(), 0);

        frozen.thaw();
        QTRY_COMPARE_WITH_TIMEOUT(ReleasedWork::running(), 0, kWait);
    }

    void followsAppendedCellsWithoutReadingTheFileAgain()
    {
        const QString file = path("live.csv");
        writeFile(file, kBatch);
        const auto form = openOn(file);
        QVERIFY(form);
        QSignalSpy ended(form.get(), &QualityWindow::readingEnded);

        // What was read already is spoilt: read again, it would count as damaged.
        QByteArray content = kBatch;
        content.replace(0, 10, QByteArray(10, '#'));
        writeFile(file, content + record("35E-3", "3.5") + "2026/12/07,14:05:09,20E-3,3.");
        form->takeAppended();
        QVERIFY(ended.wait(kWait));
        QCOMPARE(form->summary().count(), qint64(6));
        QCOMPARE(form->linesNotRead(), qint64(2));
        QCOMPARE(form->summary().row(0, 2).count, qint64(1));

        // A request during a read waits for it; both cells arrive.
        writeFile(file, "5\r\n" + record("12E-3", "3.5"), QIODevice::Append);
        form->takeAppended();
        form->takeAppended();
        QTRY_COMPARE_WITH_TIMEOUT(form->summary().count(), qint64(8), kWait);
        QTRY_VERIFY_WITH_TIMEOUT(!form->isReading(), kWait);

        // New limits, with no cell counted: the whole file is judged again
        // against them, and a cut file is read from its start.
        writeFile(file, kBatch);
        ended.clear();
        m_tables.setTable(0, maxMin(1, 0, 100));
        QTRY_VERIFY_WITH_TIMEOUT(!form->isReading() && !ended.isEmpty(), kWait);
        QCOMPARE(form->summary().count(), qint64(5));
        QCOMPARE(form->summary().row(0, 0).count, qint64(5));
        QCOMPARE(form->linesNotRead(), qint64(2));
    }

    void aFileMovedOverTheDataFileIsReadFromItsStart()
    {
        const QString file = path("moved.csv");
        writeFile(file, kBatch);
        const auto form = openOn(file);
        QVERIFY(form);
        QSignalSpy ended(form.get(), &QualityWindow::readingEnded);

        // Another file, longer than the first, takes its name.
        QByteArray other;
        for (int i = 0; i < 12; ++i)
            other += record("35E-3", "3.5");
        const QString replacement = path("moved.csv.new");
        writeFile(replacement, other);
        QCOMPARE(::rename(QFile::encodeName(replacement).constData(), QFile::encodeName(file).constData()), 0);
        form->takeAppended();
        QVERIFY(ended.wait(kWait));
        QCOMPARE(form->summary().count(), qint64(12));
        QCOMPARE(form->linesNotRead(), qint64(0));
    }

    void aNamedPipeIsRefusedAndNothingWaitsForIt()
    {
        const QString fifo = path("pipe.csv");
        QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        const auto form = openOn(fifo);
        QVERIFY(form);
        const QString status = child<QLabel>(form.get(), "statusLabel")->text();
        QVERIFY2(status.contains(QStringLiteral("named pipe")), qPrintable(status));

        QSignalSpy ended(form.get(), &QualityWindow::readingEnded);
        child<QPushButton>(form.get(), "reloadButton")->click();
        QVERIFY(ended.wait(kWait));
        QVERIFY(!form->isReading());
    }

    void aLargeFileShowsProgressAndCanBeCancelled()
    {
        const QString file = path("large.csv");
        {
            QFile out(file);
            QVERIFY(out.open(QIODevice::WriteOnly));
            const QByteArray block = kBatch.repeated(20000); // about 5 MB
            for (int i = 0; i < 6; ++i)
                out.write(block);
        }
        QualityWindow form(m_tables, file);
        form.setAttribute(Qt::WA_DeleteOnClose, false);
        QSignalSpy ended(&form, &QualityWindow::readingEnded);
        auto *progress = child<QProgressBar>(&form, "progressBar");
        auto *cancel = child<QPushButton>(&form, "cancelButton");
        QVERIFY(form.isReading());
        QVERIFY(!progress->isHidden());
        QVERIFY(cancel->isEnabled());
        QTest::mouseClick(cancel, Qt::LeftButton);
        QVERIFY(ended.wait(kWait));
        QVERIFY(progress->isHidden());
        QCOMPARE(form.summary().count(), qint64(0));
        QVERIFY(child<QLabel>(&form, "statusLabel")->text().contains(QStringLiteral("cancelled")));

        // Nothing more is read until RELOAD, which reads everything.
        form.takeAppended();
        QVERIFY(!form.isReading());
        QTest::mouseClick(child<QPushButton>(&form, "reloadButton"), Qt::LeftButton);
        QVERIFY(ended.wait(kWait));
        QCOMPARE(form.summary().count(), qint64(5 * 20000 * 6));
        QCOMPARE(form.linesNotRead(), qint64(2 * 20000 * 6));
    }

    void exportsThePlotsAndTheTableThroughASaveDialog()
    {
        const QString file = path("export.csv");
        writeFile(file, kBatch);
        const auto form = openOn(file);
        QVERIFY(form);

        auto chooseIn = [&](const char *button, const QString &target) {
            QTest::mouseClick(child<QPushButton>(form.get(), button), Qt::LeftButton);
            auto *dialog = child<QFileDialog>(form.get(), "exportDialog");
            QVERIFY(dialog && dialog->isVisible());
            QCOMPARE(dialog->windowModality(), Qt::WindowModal); // open(), not exec()
            dialog->selectFile(target);
            static_cast<QDialog *>(dialog)->accept();
        };
        const QString table = path("bins.csv");
        chooseIn("exportTableButton", table);
        QFile saved(table);
        QVERIFY(saved.open(QIODevice::ReadOnly));
        QCOMPARE(saved.readAll(), summaryCsv(form->summary()));

        const QString plots = path("plots.png");
        chooseIn("exportPlotsButton", plots);
        const QImage image(plots);
        QVERIFY(!image.isNull());
        QVERIFY(image.width() >= 2 * 360 && image.height() >= 2 * 260);

        const QString report = path("report.pdf");
        chooseIn("exportReportButton", report);
        QFile pdf(report);
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(5) == "%PDF-");

        // A folder that does not exist: the operator is told, nothing hangs.
        chooseIn("exportTableButton", path("missing/bins.csv"));
        QTRY_VERIFY_WITH_TIMEOUT(child<QMessageBox>(form.get(), "batchMessage") != nullptr, kWait);
        auto *message = child<QMessageBox>(form.get(), "batchMessage");
        QVERIFY(message->text().contains(QStringLiteral("could not be saved")));
        message->close();
    }

    void theMainWindowOpensItAndPassesCountedCellsOn()
    {
        QTemporaryDir programDir;
        FormMainHarness harness(programDir.path());
        FormMain &window = *harness.window;
        const QString file = programDir.filePath(QStringLiteral("cells"));
        writeFile(file + QStringLiteral(".csv"), record("15E-3", "3.6"));
        window.ui().dataFilePath->setText(file);
        window.updateBinTableR();

        auto *button = window.findChild<QPushButton *>(QStringLiteral("batchButton"));
        QVERIFY(button);
        QCOMPARE(button->text(), QStringLiteral("&BATCH"));
        QTest::mouseClick(button, Qt::LeftButton);
        auto *form = window.findChild<QualityWindow *>();
        QVERIFY(form && form->isVisible());
        // The session adds ".csv" to a name without "."; so does the batch window.
        QCOMPARE(form->path(), file + QStringLiteral(".csv"));
        QTRY_COMPARE_WITH_TIMEOUT(form->summary().count(), qint64(1), kWait);

        writeFile(file + QStringLiteral(".csv"), record("25E-3", "3.6"), QIODevice::Append);
        Q_EMIT window.session().readingCounted();
        QTRY_COMPARE_WITH_TIMEOUT(form->summary().count(), qint64(2), kWait);

        // The menu item brings the same window forward rather than a second one.
        auto *item = window.findChild<QAction *>(QStringLiteral("batchMenuItem"));
        QVERIFY(item);
        item->trigger();
        QCOMPARE(window.findChildren<QualityWindow *>().size(), 1);

        // Closing the main window closes it.
        window.close();
        QTRY_VERIFY_WITH_TIMEOUT(window.findChildren<QualityWindow *>().isEmpty() || !form->isVisible(), kWait);
    }
};

BIN4870_TEST(TestQualityWindow)
#include "tst_qualitywindow.moc"

// Draws the build sheet and the placement window on a journal of 700
// generated cells with IDs (and a capacity file with two rows that give no
// capacity) and saves them as PNG pictures:
//   pack_screenshot <build-sheet.png> <placement.png> [--data-dir=FOLDER] [--journal-dir=FOLDER] [--pdf=FILE]
// The build sheet plans 14s40p balancing capacity, shows the group window's
// trade and saves the plan; the placement window then answers four scans of
// that pack (one refused, one placed already). The capacity file goes to
// FOLDER, whose path the window shows, or to a temporary folder, and the
// journal to the journal folder or a temporary one; --pdf writes the saved
// plan's build sheet as well.
// scripts/screenshot.sh runs it under a display server for the README's pictures.

#include "packrecords.h"

#include "app/packs/buildsheetwindow.h"
#include "app/packs/placementwindow.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cstdio>

namespace {

bool pressAndWait(QPushButton *button, QObject *window)
{
    QSignalSpy ended(window, SIGNAL(workEnded()));
    button->click();
    return !ended.isEmpty() || ended.wait(60000);
}

int fail(const char *what)
{
    std::fprintf(stderr, "pack_screenshot: %s\n", what);
    return 1;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: pack_screenshot <build-sheet.png> <placement.png> [--data-dir=FOLDER] [--journal-dir=FOLDER] [--pdf=FILE]\n");
        return 2;
    }
    QString dataDir;
    QString pdf;
    QString journalDir;
    for (int i = 3; i < argc; ++i) {
        const QByteArray argument(argv[i]);
        if (argument.startsWith("--data-dir="))
            dataDir = QString::fromLocal8Bit(argument.mid(int(qstrlen("--data-dir="))));
        else if (argument.startsWith("--journal-dir="))
            journalDir = QString::fromLocal8Bit(argument.mid(int(qstrlen("--journal-dir="))));
        else if (argument.startsWith("--pdf="))
            pdf = QString::fromLocal8Bit(argument.mid(int(qstrlen("--pdf="))));
    }
    QTemporaryDir folder;
    const QString data = dataDir.isEmpty() ? folder.path() : dataDir;
    if (!journalDir.isEmpty() && !QDir().mkpath(journalDir))
        return fail("the journal's folder could not be made");
    const PackPlaces places{folder.path(),
                            QDir(journalDir.isEmpty() ? folder.path() : journalDir).filePath(QStringLiteral("journal.sqlite")),
                            data};

    // Three benches' cells over the last three days, resistance 25 +/- 1.5
    // mOhm, voltage 3.60 +/- 0.01 V, capacity 3000 +/- 30 mAh.
    const BinSetup setup = cellfixtures::setup();
    const std::vector<PoolCell> cells = generatedPool(700, 4870, true);
    std::vector<CellRecord> records;
    QByteArray capacities = "cell_id,capacity_mah\n";
    const QDateTime start = QDateTime::currentDateTime().addDays(-3);
    for (std::size_t i = 0; i < cells.size(); ++i) {
        const QString bench = QStringLiteral("bench-%1").arg(i % 3 + 1);
        records.push_back(packrecords::recordOf(cells[i], bench, start.addSecs(qint64(i) * 300), setup));
        capacities += cells[i].cellId.toUtf8() + ',' + cells[i].capacityText.toUtf8() + '\n';
    }
    capacities += "C99999,3010\nC00042,\"3,012\"\n";
    if (!packrecords::writeJournal(places.journalPath, records, setup))
        return fail("the journal could not be written");
    const QString capacityFile = QDir(data).filePath(QStringLiteral("capacities.csv"));
    QFile file(capacityFile);
    if (!file.open(QIODevice::WriteOnly) || file.write(capacities) != capacities.size())
        return fail("the capacity file could not be written");
    file.close();

    BuildSheetWindow sheet(places);
    sheet.setAttribute(Qt::WA_DeleteOnClose, false);
    sheet.resize(1240, 900);
    sheet.show();
    sheet.choices()->capacityField()->setText(capacityFile);
    sheet.choices()->findChild<QLineEdit *>(QStringLiteral("groupWindowField"))->setText(QStringLiteral("5 mOhm"));
    if (!pressAndWait(sheet.planButton(), &sheet) || !sheet.hasPlan())
        return fail("no plan");
    if (!pressAndWait(sheet.tradeButton(), &sheet))
        return fail("no trade");
    if (!pressAndWait(sheet.saveButton(), &sheet) || sheet.sheet().packName.isEmpty())
        return fail("the plan was not saved");
    if (!pdf.isEmpty() && !sheet.exportTo(pdf, true))
        return fail("the build sheet's PDF could not be written");
    QTest::qWait(300);
    if (!sheet.grab().save(QString::fromLocal8Bit(argv[1])))
        return fail("the build sheet's picture could not be saved");

    PlacementWindow placement(places);
    placement.setAttribute(Qt::WA_DeleteOnClose, false);
    placement.resize(1000, 640);
    QSignalSpy ended(&placement, &PlacementWindow::workEnded);
    placement.show();
    if (!ended.wait(30000))
        return fail("the packs were not listed");
    const PackGroups &groups = sheet.sheet().plan.groups;
    for (const QString &scan : {groups[3][17].cellId, QStringLiteral("C99999"), groups[3][17].cellId, groups[6][11].cellId}) {
        placement.scan(scan);
        if (!ended.wait(30000))
            return fail("a scan was not answered");
    }
    QTest::qWait(300);
    if (!placement.grab().save(QString::fromLocal8Bit(argv[2])))
        return fail("the placement window's picture could not be saved");
    return 0;
}

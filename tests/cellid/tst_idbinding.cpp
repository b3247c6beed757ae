#include "testmain.h"

#include "cellid/idbinding.h"

#include <QTest>

// Which cell a scanned ID names, played as event sequences. Each event gives
// one token of the result:
//
//   "scan A"  ->  c (names the cell on the probes), n (the next cell), x (refused)
//   "place"   ->  .
//   "lift"    ->  . or -A (the lifted cell's ID A is dropped)
//   "press"   ->  =A (the count copies A; it waits for its reading), = (no ID)
//   "reading" ->  the pressed count's reading: A@2 (recorded as A on cell 2),
//                 G (given up: its cell is gone)
//   "auto"    ->  auto record on a settled reading: A@2, or W (waits: no ID)
//   "before"  ->  . (scan before placing switched on)
//   "restart" ->  . (a new session)

namespace {

QString play(const QString &events)
{
    IdBinding binding;
    QStringList result;
    const QStringList list = events.split(QLatin1Char(','), Qt::SkipEmptyParts);
    const auto recorded = [&binding] {
        const IdBinding::Count count = *binding.waitingCount();
        if (!binding.countIsForCellOnProbes()) {
            binding.finish(false);
            return QStringLiteral("G");
        }
        binding.finish(true);
        return QStringLiteral("%1@%2").arg(count.id).arg(count.cell);
    };
    for (QString event : list) {
        event = event.trimmed();
        if (event.startsWith(QLatin1String("scan "))) {
            switch (binding.scan(event.mid(5))) {
            case IdBinding::ScanTarget::CellOnProbes: result << QStringLiteral("c"); break;
            case IdBinding::ScanTarget::NextCell: result << QStringLiteral("n"); break;
            case IdBinding::ScanTarget::Refused: result << QStringLiteral("x"); break;
            }
        } else if (event == QLatin1String("place")) {
            binding.placed();
            result << QStringLiteral(".");
        } else if (event == QLatin1String("lift")) {
            const IdBinding::Lift lift = binding.lifted();
            result << (lift.droppedId.isEmpty() ? QStringLiteral(".") : QLatin1Char('-') + lift.droppedId);
        } else if (event == QLatin1String("press")) {
            result << QLatin1Char('=') + binding.decide().id;
        } else if (event == QLatin1String("reading")) {
            result << recorded();
        } else if (event == QLatin1String("auto")) {
            // The tagger lets auto record decide only with an ID in force.
            if (binding.inForce().isEmpty()) {
                result << QStringLiteral("W");
            } else {
                binding.decide();
                result << recorded();
            }
        } else if (event == QLatin1String("before")) {
            binding.setScanBeforePlacing(true);
            result << QStringLiteral(".");
        } else if (event == QLatin1String("restart")) {
            binding.reset();
            result << QStringLiteral(".");
        } else {
            result << QStringLiteral("?") + event;
        }
    }
    return result.join(QLatin1Char(' '));
}

} // namespace

class TestIdBinding : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void anIdNamesTheCellItWasScannedFor_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("result");

        QTest::newRow("scan before place")
                << "scan A, place, auto" << "n . A@1";
        QTest::newRow("scan while settled")
                << "place, auto, scan A, auto" << ". W c A@1";
        QTest::newRow("late scan after a lift goes to the next cell, never the lifted one")
                << "place, auto, lift, scan A, place, auto" << ". W . n . A@2";
        QTest::newRow("lift without an ID records nothing")
                << "place, auto, auto, lift, place, auto" << ". W W . . W";
        QTest::newRow("an ID not counted leaves with its cell")
                << "place, scan A, lift, place, auto" << ". c -A . W";
        QTest::newRow("scan before placing refuses a scan on the probes")
                << "before, place, scan A, lift, scan A, place, auto" << ". . x . n . A@2";
        QTest::newRow("scan before placing refuses on a counted cell too")
                << "before, scan A, place, auto, scan B, lift, scan B, place, auto" << ". n . A@1 x . n . B@2";
        QTest::newRow("a scan while a count waits goes to the next cell")
                << "place, scan A, press, scan B, reading, lift, place, auto" << ". c =A n A@1 . . B@2";
        QTest::newRow("a scan after the count, cell still on, goes to the next cell")
                << "place, scan A, auto, scan B, lift, place, auto" << ". c A@1 n . . B@2";
        QTest::newRow("a press whose cell is lifted before its reading is given up")
                << "place, scan A, press, lift, place, reading, auto" << ". c =A . . G W";
        QTest::newRow("a second scan for the same cell replaces the first")
                << "place, scan A, scan B, auto" << ". c c B@1";
        QTest::newRow("a scan for the next cell is replaced by a later one")
                << "scan A, scan B, place, auto" << "n n . B@1";
        QTest::newRow("the counted ID is not used twice")
                << "place, scan A, press, reading, press, reading" << ". c =A A@1 = @1";
        QTest::newRow("a new session keeps the ID for the next cell")
                << "scan A, restart, place, auto" << "n . . A@1";
        QTest::newRow("a new session drops the ID of an unwatched cell")
                << "place, scan A, restart, place, auto" << ". c . . W";
        QTest::newRow("a press with open probes copies nothing")
                << "scan A, press, reading, place, auto" << "n = G . A@1";
    }
    void anIdNamesTheCellItWasScannedFor()
    {
        QFETCH(QString, events);
        QFETCH(QString, result);
        QCOMPARE(play(events), result);
    }
};

BIN4870_TEST(TestIdBinding)
#include "tst_idbinding.moc"

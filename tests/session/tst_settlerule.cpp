#include "testmain.h"

#include "session/recordarming.h"
#include "session/settlerule.h"

#include <QTest>

// The settle rule and the one arming behind "REC - COUNT" and auto record, fed
// reply by reply. Each row is a run of events; the result has one character
// per event: R when that reply was counted and recorded, . otherwise.
//
// Events: "20/3.7" a reading in milliohms and volts, "open" an overflow,
// "none" a reply without a reading (or a time-out), "press" REC - COUNT,
// "on"/"off" auto record switched.

namespace {

// "20/3.7" a reading in milliohms and volts, "open" an overflow, anything
// else no reading.
ProbeSample sampleOf(const QString &event)
{
    if (event == QLatin1String("open"))
        return ProbeSample::open();
    const QStringList values = event.split(QLatin1Char('/'));
    if (values.size() != 2)
        return ProbeSample::none();
    return ProbeSample::reading(values.at(0).toDouble() / 1000.0, values.at(1).toDouble());
}

QString play(RecordArming &arming, const QString &events)
{
    QString result;
    for (const QString &event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
        if (event == QLatin1String("press")) {
            arming.press();
            result += QLatin1Char('.');
            continue;
        }
        if (event == QLatin1String("on") || event == QLatin1String("off")) {
            arming.setAutoRecord(event == QLatin1String("on"));
            result += QLatin1Char('.');
            continue;
        }
        const ProbeSample sample = sampleOf(event);
        // As the session does: a press takes the next reading, a fire takes this one.
        const bool fired = arming.fires(sample);
        const bool take = fired || (arming.pressed() && sample.kind == ProbeSample::Kind::Reading);
        if (take)
            arming.recorded(sample);
        result += QLatin1Char(take ? 'R' : '.');
    }
    return result;
}

} // namespace

class TestSettleRule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void recordsOnceWhenSettledAndWaitsForTheLift_data()
    {
        QTest::addColumn<int>("settleCount");
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("recorded");

        QTest::newRow("three steady readings: the third is recorded")
            << 3 << "20/3.7 20.05/3.7 20.02/3.701" << "..R";
        QTest::newRow("held on: nothing more until lifted")
            << 3 << "20/3.7 20/3.7 20/3.7 20/3.7 20/3.7 20/3.7 20/3.7" << "..R....";
        QTest::newRow("open circuit lifts, the next cell is recorded")
            << 3 << "20/3.7 20/3.7 20/3.7 open 31/3.9 30/3.9 30/3.9 30/3.9" << "..R....R";
        QTest::newRow("voltage below the lift threshold lifts")
            << 3 << "20/3.7 20/3.7 20/3.7 999/0.05 999/0.05 20/3.7 20/3.7 20/3.7" << "..R....R";
        QTest::newRow("readings below the lift threshold never record")
            << 3 << "20/0.05 20/0.05 20/0.05 20/0.05" << "....";
        QTest::newRow("voltage at the lift threshold is still a cell")
            << 3 << "20/0.1 20/0.1 20/0.1" << "..R";
        QTest::newRow("settling from high resistance: recorded once within tolerance")
            << 3 << "35/3.6 24/3.68 20.6/3.699 20.1/3.7 20.1/3.7 20.1/3.7" << ".....R";
        QTest::newRow("a creeping reading never records")
            << 3 << "20/3.7 20.3/3.7 20.6/3.7 20.9/3.7 21.2/3.7 21.5/3.7 21.8/3.7" << ".......";
        QTest::newRow("lifted before it settles: nothing recorded")
            << 3 << "35/3.6 24/3.68 open open 20/3.7" << ".....";
        QTest::newRow("resistance spread at 1 % of the last reading records")
            << 3 << "20/3.7 20.2/3.7 20.1/3.7" << "..R";
        QTest::newRow("resistance spread beyond 1 % waits for a narrower run")
            << 3 << "20/3.7 20.25/3.7 20.1/3.7 20.1/3.7" << "...R";
        QTest::newRow("the absolute floor lets a tiny resistance settle")
            << 3 << "0.5/3.7 0.58/3.7 0.52/3.7" << "..R";
        QTest::newRow("voltage spread within 0.2 % records")
            << 3 << "20/3.700 20/3.706 20/3.703" << "..R";
        QTest::newRow("voltage spread beyond 0.2 % does not")
            << 3 << "20/3.700 20/3.710 20/3.705" << "...";
        QTest::newRow("a reply without a reading breaks the run")
            << 3 << "20/3.7 20/3.7 none 20/3.7 20/3.7 20/3.7" << ".....R";
        QTest::newRow("a reply without a reading is no lift")
            << 3 << "20/3.7 20/3.7 20/3.7 none none 20/3.7 20/3.7 20/3.7" << "..R.....";
        QTest::newRow("two overflows in the run are a lift, not readings")
            << 3 << "20/3.7 open open 20/3.7 20/3.7" << ".....";
        QTest::newRow("one overflow in the run is a bounce: the run goes on")
            << 3 << "20/3.7 open 20/3.7 20/3.7" << "...R";
        QTest::newRow("a bounce amid a held cell does not record it again")
            << 3 << "20/3.7 20/3.7 20/3.7 20/3.7 open 20/3.7 20/3.7 20/3.7 20/3.7" << "..R......";
        QTest::newRow("a bounce whose contact settles again is still the same cell")
            << 3 << "20/3.7 20/3.7 20/3.7 open 26/3.65 20.3/3.7 20/3.7 20/3.7 20/3.7" << "..R......";
        QTest::newRow("two open readings lift: the same cell put back is recorded again")
            << 3 << "20/3.7 20/3.7 20/3.7 open open 20/3.7 20/3.7 20/3.7" << "..R....R";
        QTest::newRow("a reply without a reading between two opens still lifts")
            << 3 << "20/3.7 20/3.7 20/3.7 open none open 20/3.7 20/3.7 20/3.7" << "..R.....R";
        QTest::newRow("two readings are enough when asked for")
            << 2 << "20/3.7 20/3.7 20/3.7" << ".R.";
        QTest::newRow("press before it settles records that reading, auto then waits")
            << 3 << "press 35/3.6 24/3.68 20/3.7 20/3.7 20/3.7 open open 20/3.7 20/3.7 20/3.7" << ".R........R";
        QTest::newRow("press while held records the cell once more, auto still waits")
            << 3 << "20/3.7 20/3.7 20/3.7 press 20/3.7 20/3.7 20/3.7 20/3.7" << "..R.R...";
        QTest::newRow("press on the settling reading: one record")
            << 3 << "20/3.7 20/3.7 press 20/3.7 20/3.7" << "...R.";
        QTest::newRow("press with the probes open waits for the next cell")
            << 3 << "press open open 20/3.7 20/3.7 20/3.7" << "...R..";
        QTest::newRow("press waits through replies without a reading")
            << 3 << "press none none 20/3.7" << "...R";
        QTest::newRow("switched off mid-cell: nothing more")
            << 3 << "20/3.7 20/3.7 off 20/3.7 20/3.7 open 20/3.7 20/3.7 20/3.7" << ".........";
        QTest::newRow("switched off and on: the run starts again")
            << 3 << "20/3.7 20/3.7 off on 20/3.7 20/3.7 20/3.7" << "......R";
        QTest::newRow("a cell pressed before auto was on is not recorded again")
            << 3 << "off press 20/3.7 on 20/3.7 20/3.7 20/3.7 open open 20/3.7 20/3.7 20/3.7"
            << "..R........R";
        QTest::newRow("press on a reading below the lift voltage holds nothing: the next cell records")
            << 3 << "press 20/0.05 20/3.7 20/3.7 20/3.7" << ".R..R";
        QTest::newRow("auto off: a press still records, settling does not")
            << 3 << "off 20/3.7 20/3.7 20/3.7 press 20/3.7 20/3.7" << ".....R.";
    }

    void recordsOnceWhenSettledAndWaitsForTheLift()
    {
        QFETCH(int, settleCount);
        QFETCH(QString, events);
        QFETCH(QString, recorded);
        RecordArming arming;
        SettleRule rule;
        rule.settleCount = settleCount;
        arming.setRule(rule);
        arming.setAutoRecord(true);
        QCOMPARE(play(arming, events), recorded);
    }

    void resetDropsAPressAndTheHold()
    {
        RecordArming arming;
        arming.setAutoRecord(true);
        QCOMPARE(play(arming, QStringLiteral("20/3.7 20/3.7 20/3.7 press")), QStringLiteral("..R."));
        QVERIFY(arming.pressed());
        QVERIFY(arming.detector().holding());
        arming.reset();
        QVERIFY(!arming.pressed());
        QCOMPARE(play(arming, QStringLiteral("20/3.7 20/3.7 20/3.7")), QStringLiteral("..R"));
    }

    // What each reply changed on the probes, auto record on: P a cell placed,
    // L lifted, X replaced by another (after one lifting reading, readings
    // settled on other values than the recorded cell's), . nothing.
    void eachCellIsPlacedAndLiftedOnce_data()
    {
        QTest::addColumn<QString>("events");
        QTest::addColumn<QString>("changes");

        QTest::newRow("placed, settled, lifted")
            << "open 20/3.7 20/3.7 20/3.7 open open open" << ".P...L.";
        QTest::newRow("a bounce is no lift")
            << "20/3.7 20/3.7 20/3.7 open 20/3.7 20/3.7 20/3.7" << "P......";
        QTest::newRow("replies without a reading change nothing")
            << "20/3.7 none none 20/3.7 open none open" << "P.....L";
        QTest::newRow("the next cell put on within one reading")
            << "20/3.7 20/3.7 20/3.7 open 30/3.9 30/3.9 30/3.9" << "P.....X";
        QTest::newRow("the same cell put back within one reading")
            << "20/3.7 20/3.7 20/3.7 open 20/3.7 20/3.7 20/3.7" << "P......";
        QTest::newRow("a voltage below the lift threshold lifts")
            << "20/3.7 20/3.7 20/0.05 20/0.05 30/3.9" << "P..LP";
        QTest::newRow("lifted before it settles")
            << "35/3.6 24/3.68 open open 20/3.7" << "P..LP";
    }
    void eachCellIsPlacedAndLiftedOnce()
    {
        QFETCH(QString, events);
        QFETCH(QString, changes);
        RecordArming arming;
        arming.setAutoRecord(true);
        QString told;
        for (const QString &event : events.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const ProbeSample sample = sampleOf(event);
            if (arming.fires(sample))
                arming.recorded(sample);
            switch (arming.detector().change()) {
            case SettleDetector::ProbeChange::None: told += QLatin1Char('.'); break;
            case SettleDetector::ProbeChange::Placed: told += QLatin1Char('P'); break;
            case SettleDetector::ProbeChange::Lifted: told += QLatin1Char('L'); break;
            case SettleDetector::ProbeChange::Replaced: told += QLatin1Char('X'); break;
            }
        }
        QCOMPARE(told, changes);
        // A new rule keeps the cell on the probes where it is.
        const bool onCell = arming.detector().onCell();
        SettleRule rule;
        rule.settleCount = 2;
        arming.setRule(rule);
        QCOMPARE(arming.detector().onCell(), onCell);
    }

    void repliesAreSortedIntoReadingsOverflowsAndNothing_data()
    {
        QTest::addColumn<QString>("ohms");
        QTest::addColumn<QString>("volts");
        QTest::addColumn<int>("kind");

        const int reading = int(ProbeSample::Kind::Reading);
        const int open = int(ProbeSample::Kind::Open);
        const int none = int(ProbeSample::Kind::NoReading);
        QTest::newRow("a reading") << "20.000E-3" << "3.7000E+0" << reading;
        QTest::newRow("open probes") << "+9.9E+37" << "+9.9E+37" << open;
        QTest::newRow("resistance at the overflow mark") << "+1.0000E+9" << "3.7" << open;
        QTest::newRow("negative overflow") << "-1.5E+9" << "0" << open;
        QTest::newRow("voltage out of range") << "20.000E-3" << "1e39" << open;
        QTest::newRow("just below the mark") << "999999999" << "3.7" << reading;
        QTest::newRow("error texts") << "ERR" << "ERR" << none;
        QTest::newRow("empty voltage field") << "20.000E-3" << "" << none;
        QTest::newRow("number followed by text") << "20.000E-3x" << "3.7" << none;
        QTest::newRow("overflow beside an error text is open") << "ERR" << "+9.9E+37" << open;
    }

    void repliesAreSortedIntoReadingsOverflowsAndNothing()
    {
        QFETCH(QString, ohms);
        QFETCH(QString, volts);
        QFETCH(int, kind);
        const ProbeSample sample = classifyReading({ohms, volts});
        QCOMPARE(int(sample.kind), kind);
        if (sample.kind == ProbeSample::Kind::Reading)
            QCOMPARE(sample.ohms, ohms.toDouble());
    }
};

BIN4870_TEST(TestSettleRule)
#include "tst_settlerule.moc"

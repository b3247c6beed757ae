<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en">
<context>
    <name>BuildSheetWindow</name>
    <message numerus="yes">
        <source>%1: %n cell(s) of the pool with a capacity</source>
        <translation>
            <numerusform>%1: %n cell of the pool with a capacity</numerusform>
            <numerusform>%1: %n cells of the pool with a capacity</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) gave no capacity (listed row by row)</source>
        <translation>
            <numerusform>%n row gave no capacity (listed row by row)</numerusform>
            <numerusform>%n rows gave no capacity (listed row by row)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Saved as pack %1, with %n cell(s) reserved; File &gt; Pack placement... places them by scan.</source>
        <translation>
            <numerusform>Saved as pack %1, with %n cell reserved; File &gt; Pack placement... places them by scan.</numerusform>
            <numerusform>Saved as pack %1, with %n cells reserved; File &gt; Pack placement... places them by scan.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CapacityCsv</name>
    <message numerus="yes">
        <source>The header has %n field(s); there is no column %1.</source>
        <translation>
            <numerusform>The header has %n field; there is no column %1.</numerusform>
            <numerusform>The header has %n fields; there is no column %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The rows have %n field(s); there is no column %1.</source>
        <translation>
            <numerusform>The rows have %n field; there is no column %1.</numerusform>
            <numerusform>The rows have %n fields; there is no column %1.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n field(s) where the header has %1</source>
        <translation>
            <numerusform>%n field where the header has %1</numerusform>
            <numerusform>%n fields where the header has %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n field(s) where most rows have %1</source>
        <translation>
            <numerusform>%n field where most rows have %1</numerusform>
            <numerusform>%n fields where most rows have %1</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>cell ID %1 is also in row(s) %2: its capacity is left out</source>
        <translation>
            <numerusform>cell ID %1 is also in row %2: its capacity is left out</numerusform>
            <numerusform>cell ID %1 is also in rows %2: its capacity is left out</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CellHistoryWindow</name>
    <message numerus="yes">
        <source>Cell %1: %n record(s).</source>
        <translation>
            <numerusform>Cell %1: %n record.</numerusform>
            <numerusform>Cell %1: %n records.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CellIds</name>
    <message numerus="yes">
        <source>%n time(s)</source>
        <translation>
            <numerusform>once</numerusform>
            <numerusform>%n times</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Clock problem: %n record(s) of cell %1 dated after this computer&apos;s time (%2), the latest on %3 at bench %4. Check the clocks of both benches; such records are not used for the K-value.</source>
        <translation>
            <numerusform>Clock problem: %n record of cell %1 dated after this computer&apos;s time (%2), the latest on %3 at bench %4. Check the clocks of both benches; such records are not used for the K-value.</numerusform>
            <numerusform>Clock problem: %n records of cell %1 dated after this computer&apos;s time (%2), the latest on %3 at bench %4. Check the clocks of both benches; such records are not used for the K-value.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CentralDatabase</name>
    <message numerus="yes">
        <source>the bench name &quot;%1&quot; is used by %n other machine(s) too, and their cells are mixed with this bench&apos;s: give this bench a name of its own (Settings &gt; Central record...)</source>
        <translation>
            <numerusform>the bench name &quot;%1&quot; is used by %n other machine too, and their cells are mixed with this bench&apos;s: give this bench a name of its own (Settings &gt; Central record...)</numerusform>
            <numerusform>the bench name &quot;%1&quot; is used by %n other machines too, and their cells are mixed with this bench&apos;s: give this bench a name of its own (Settings &gt; Central record...)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CentralRecordControls</name>
    <message numerus="yes">
        <source>Central record: %n cell(s) waiting; they are sent at the next start.</source>
        <translation>
            <numerusform>Central record: %n cell waiting; they are sent at the next start.</numerusform>
            <numerusform>Central record: %n cells waiting; they are sent at the next start.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CentralRecordDialog</name>
    <message numerus="yes">
        <source>The journal holds %n cell(s) counted without a bench name; they keep the host name &quot;%1&quot; in the central record.</source>
        <translation>
            <numerusform>The journal holds %n cell counted without a bench name; they keep the host name &quot;%1&quot; in the central record.</numerusform>
            <numerusform>The journal holds %n cells counted without a bench name; they keep the host name &quot;%1&quot; in the central record.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ControlCharts</name>
    <message numerus="yes">
        <source> (lowest and highest of every %n cell(s))</source>
        <translation>
            <numerusform> (lowest and highest of every %n cell)</numerusform>
            <numerusform> (lowest and highest of every %n cells)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %n cell(s), too few for control limits.</source>
        <translation>
            <numerusform>%1: %n cell, too few for control limits.</numerusform>
            <numerusform>%1: %n cells, too few for control limits.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1, %2 moving range: mean %3, upper limit %4 %5; %n point(s) above the limit.</source>
        <translation>
            <numerusform>%1, %2 moving range: mean %3, upper limit %4 %5; %n point above the limit.</numerusform>
            <numerusform>%1, %2 moving range: mean %3, upper limit %4 %5; %n points above the limit.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1, %2 of %n cell(s): mean %3, control limits %4 to %5 %6; %7 marked.</source>
        <translation>
            <numerusform>%1, %2 of %n cell: mean %3, control limits %4 to %5 %6; %7 marked.</numerusform>
            <numerusform>%1, %2 of %n cells: mean %3, control limits %4 to %5 %6; %7 marked.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Histogram of %1: %n cell(s), mean %2 %3, overall sigma %4.</source>
        <translation>
            <numerusform>Histogram of %1: %n cell, mean %2 %3, overall sigma %4.</numerusform>
            <numerusform>Histogram of %1: %n cells, mean %2 %3, overall sigma %4.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The within sigma pools each bench&apos;s moving ranges in its own time order (%n moving range(s) of %1 benches; none spans two benches).</source>
        <translation>
            <numerusform>The within sigma pools each bench&apos;s moving ranges in its own time order (%n moving range of %1 benches; none spans two benches).</numerusform>
            <numerusform>The within sigma pools each bench&apos;s moving ranges in its own time order (%n moving ranges of %1 benches; none spans two benches).</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>CounterWindow</name>
    <message numerus="yes">
        <source>%n cell(s), %1</source>
        <translation>
            <numerusform>%n cell, %1</numerusform>
            <numerusform>%n cells, %1</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>DistributionTab</name>
    <message numerus="yes">
        <source>Resistance against voltage (every %1 of %n cell(s))</source>
        <translation>
            <numerusform>Resistance against voltage (every %1 of %n cell)</numerusform>
            <numerusform>Resistance against voltage (every %1 of %n cells)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s)</source>
        <translation>
            <numerusform>%n cell</numerusform>
            <numerusform>%n cells</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %n cell(s)</source>
        <translation>
            <numerusform>%1: %n cell</numerusform>
            <numerusform>%1: %n cells</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>+Out: %n cell(s)</source>
        <translation>
            <numerusform>+Out: %n cell</numerusform>
            <numerusform>+Out: %n cells</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>-Out: %n cell(s)</source>
        <translation>
            <numerusform>-Out: %n cell</numerusform>
            <numerusform>-Out: %n cells</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %n point(s)</source>
        <translation>
            <numerusform>%1: %n point</numerusform>
            <numerusform>%1: %n points</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Forwarder</name>
    <message numerus="yes">
        <source>Central record: %n cell(s) waiting (%1)</source>
        <translation>
            <numerusform>Central record: %n cell waiting (%1)</numerusform>
            <numerusform>Central record: %n cells waiting (%1)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n counted cell(s) not in the journal, never sent (%1)</source>
        <translation>
            <numerusform>%n counted cell not in the journal, never sent (%1)</numerusform>
            <numerusform>%n counted cells not in the journal, never sent (%1)</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>Journal</name>
    <message numerus="yes">
        <source>It is left as it is, and the central record, while on, still gets the %n cell(s) in it not yet sent.</source>
        <translation>
            <numerusform>It is left as it is, and the central record, while on, still gets the %n cell in it not yet sent.</numerusform>
            <numerusform>It is left as it is, and the central record, while on, still gets the %n cells in it not yet sent.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PackCommand</name>
    <message numerus="yes">
        <source>%1: %n cell(s) of the pool with a capacity</source>
        <translation>
            <numerusform>%1: %n cell of the pool with a capacity</numerusform>
            <numerusform>%1: %n cells of the pool with a capacity</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n row(s) gave no capacity</source>
        <translation>
            <numerusform>%n row gave no capacity</numerusform>
            <numerusform>%n rows gave no capacity</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PackPlan</name>
    <message numerus="yes">
        <source>With a group window of %1, only %n group(s) of %2 cells keep within it among the cells of the voltage window; the pack needs %3.</source>
        <translation>
            <numerusform>With a group window of %1, only %n group of %2 cells keep within it among the cells of the voltage window; the pack needs %3.</numerusform>
            <numerusform>With a group window of %1, only %n groups of %2 cells keep within it among the cells of the voltage window; the pack needs %3.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Too few cells: a %1 pack needs %2 cells with a capacity; the pool has %n.</source>
        <translation>
            <numerusform>Too few cells: a %1 pack needs %2 cells with a capacity; the pool has %n.</numerusform>
            <numerusform>Too few cells: a %1 pack needs %2 cells with a capacity; the pool has %n.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Too few cells: a %1 pack needs %2 cells; the pool has %n with a usable reading.</source>
        <translation>
            <numerusform>Too few cells: a %1 pack needs %2 cells; the pool has %n with a usable reading.</numerusform>
            <numerusform>Too few cells: a %1 pack needs %2 cells; the pool has %n with a usable reading.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The voltage window leaves too few cells: within %1 V of each other lie at most %n cell(s); a %2 pack needs %3.</source>
        <translation>
            <numerusform>The voltage window leaves too few cells: within %1 V of each other lie at most %n cell; a %2 pack needs %3.</numerusform>
            <numerusform>The voltage window leaves too few cells: within %1 V of each other lie at most %n cells; a %2 pack needs %3.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>stopped: no better arrangement in the last %n round(s)</source>
        <translation>
            <numerusform>stopped: no better arrangement in the last %n round</numerusform>
            <numerusform>stopped: no better arrangement in the last %n rounds</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1 pack, %n cell(s) within the voltage window to choose from</source>
        <translation>
            <numerusform>%1 pack, %n cell within the voltage window to choose from</numerusform>
            <numerusform>%1 pack, %n cells within the voltage window to choose from</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) of the pool left out for want of a capacity</source>
        <translation>
            <numerusform>%n cell of the pool left out for want of a capacity</numerusform>
            <numerusform>%n cells of the pool left out for want of a capacity</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) of the pool left out for want of a cell ID (a pack is placed by scan)</source>
        <translation>
            <numerusform>%n cell of the pool left out for want of a cell ID (a pack is placed by scan)</numerusform>
            <numerusform>%n cells of the pool left out for want of a cell ID (a pack is placed by scan)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) of the pool left out for want of a usable reading</source>
        <translation>
            <numerusform>%n cell of the pool left out for want of a usable reading</numerusform>
            <numerusform>%n cells of the pool left out for want of a usable reading</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PackPool</name>
    <message numerus="yes">
        <source>%n record(s) read</source>
        <translation>
            <numerusform>%n record read</numerusform>
            <numerusform>%n records read</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) in the pool</source>
        <translation>
            <numerusform>%n cell in the pool</numerusform>
            <numerusform>%n cells in the pool</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n record(s) without a valid cell ID (a pack is placed by scanning IDs)</source>
        <translation>
            <numerusform>%n record without a valid cell ID (a pack is placed by scanning IDs)</numerusform>
            <numerusform>%n records without a valid cell ID (a pack is placed by scanning IDs)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n earlier record(s) of a cell measured again (the latest counts)</source>
        <translation>
            <numerusform>%n earlier record of a cell measured again (the latest counts)</numerusform>
            <numerusform>%n earlier records of a cell measured again (the latest counts)</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) without a usable resistance or voltage</source>
        <translation>
            <numerusform>%n cell without a usable resistance or voltage</numerusform>
            <numerusform>%n cells without a usable resistance or voltage</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) last measured outside the time range</source>
        <translation>
            <numerusform>%n cell last measured outside the time range</numerusform>
            <numerusform>%n cells last measured outside the time range</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) last measured at another bench</source>
        <translation>
            <numerusform>%n cell last measured at another bench</numerusform>
            <numerusform>%n cells last measured at another bench</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) in a resistance BIN not chosen</source>
        <translation>
            <numerusform>%n cell in a resistance BIN not chosen</numerusform>
            <numerusform>%n cells in a resistance BIN not chosen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) in a voltage BIN not chosen</source>
        <translation>
            <numerusform>%n cell in a voltage BIN not chosen</numerusform>
            <numerusform>%n cells in a voltage BIN not chosen</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) left out by their K-value</source>
        <translation>
            <numerusform>%n cell left out by their K-value</numerusform>
            <numerusform>%n cells left out by their K-value</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) whose latest re-test failed</source>
        <translation>
            <numerusform>%n cell whose latest re-test failed</numerusform>
            <numerusform>%n cells whose latest re-test failed</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s) already in a pack</source>
        <translation>
            <numerusform>%n cell already in a pack</numerusform>
            <numerusform>%n cells already in a pack</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PackStore</name>
    <message numerus="yes">
        <source> and %n more</source>
        <translation>
            <numerusform> and %n more</numerusform>
            <numerusform> and %n more</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s), %1 mOhm, spread %2 mOhm</source>
        <translation>
            <numerusform>%n cell, %1 mOhm, spread %2 mOhm</numerusform>
            <numerusform>%n cells, %1 mOhm, spread %2 mOhm</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Not saved: another pack holds %n cell(s) of the plan already: %1. Plan again; the pool leaves them out.</source>
        <translation>
            <numerusform>Not saved: another pack holds %n cell of the plan already: %1. Plan again; the pool leaves them out.</numerusform>
            <numerusform>Not saved: another pack holds %n cells of the plan already: %1. Plan again; the pool leaves them out.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>PlanSheet</name>
    <message numerus="yes">
        <source>Group window %1: %n cell(s) within it; %2</source>
        <translation>
            <numerusform>Group window %1: %n cell within it; %2</numerusform>
            <numerusform>Group window %1: %n cells within it; %2</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>Group window %1: %n cell(s) within it; group resistance range %2 %</source>
        <translation>
            <numerusform>Group window %1: %n cell within it; group resistance range %2 %</numerusform>
            <numerusform>Group window %1: %n cells within it; group resistance range %2 %</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>QualityWindow</name>
    <message numerus="yes">
        <source>%n line(s) not read</source>
        <translation>
            <numerusform>%n line not read</numerusform>
            <numerusform>%n lines not read</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s).</source>
        <translation>
            <numerusform>%n cell.</numerusform>
            <numerusform>%n cells.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n cell(s), %1.</source>
        <translation>
            <numerusform>%n cell, %1.</numerusform>
            <numerusform>%n cells, %1.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>RecordNotices</name>
    <message numerus="yes">
        <source>%n counted cells in a row were saved nowhere: %1. They are in the BIN counters only.</source>
        <translation>
            <numerusform>%n counted cells in a row were saved nowhere: %1. They are in the BIN counters only.</numerusform>
            <numerusform>%n counted cells in a row were saved nowhere: %1. They are in the BIN counters only.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2.</source>
        <translation>
            <numerusform>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2.</numerusform>
            <numerusform>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2, but not in %3.</source>
        <translation>
            <numerusform>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2, but not in %3.</numerusform>
            <numerusform>%n counted cells in a row were not saved: %1. They are in the BIN counters and in %2, but not in %3.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>ShiftReport</name>
    <message numerus="yes">
        <source>&lt;h4&gt;%1: %n BIN(s), %2&lt;/h4&gt;</source>
        <translation>
            <numerusform>&lt;h4&gt;%1: %n BIN, %2&lt;/h4&gt;</numerusform>
            <numerusform>&lt;h4&gt;%1: %n BINs, %2&lt;/h4&gt;</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>%1: %n cell(s), %2 to %3</source>
        <translation>
            <numerusform>%1: %n cell, %2 to %3</numerusform>
            <numerusform>%1: %n cells, %2 to %3</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cell(s).</source>
        <translation>
            <numerusform>In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cell.</numerusform>
            <numerusform>In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cells.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>The earliest %1 of %n marked cell(s); the quality window lists more.</source>
        <translation>
            <numerusform>The earliest %1 of %n marked cell; the quality window lists more.</numerusform>
            <numerusform>The earliest %1 of %n marked cells; the quality window lists more.</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>&lt;p&gt;&lt;b&gt;Set-up %1&lt;/b&gt;: %n cell(s), the last at %2&lt;/p&gt;</source>
        <translation>
            <numerusform>&lt;p&gt;&lt;b&gt;Set-up %1&lt;/b&gt;: %n cell, the last at %2&lt;/p&gt;</numerusform>
            <numerusform>&lt;p&gt;&lt;b&gt;Set-up %1&lt;/b&gt;: %n cells, the last at %2&lt;/p&gt;</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StabilityTab</name>
    <message numerus="yes">
        <source>%1: %n cell(s).</source>
        <translation>
            <numerusform>%1: %n cell.</numerusform>
            <numerusform>%1: %n cells.</numerusform>
        </translation>
    </message>
</context>
<context>
    <name>StatusArea</name>
    <message numerus="yes">
        <source>%n cell(s) counted this session</source>
        <translation>
            <numerusform>%n cell counted this session</numerusform>
            <numerusform>%n cells counted this session</numerusform>
        </translation>
    </message>
</context>
</TS>

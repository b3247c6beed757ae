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
        <source>%1: %n more marked cell(s)</source>
        <translation>
            <numerusform>%1: %n more marked cell</numerusform>
            <numerusform>%1: %n more marked cells</numerusform>
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
        <source>&lt;p&gt;&lt;b&gt;%1&lt;/b&gt;: %n BIN(s), %2&lt;/p&gt;</source>
        <translation>
            <numerusform>&lt;p&gt;&lt;b&gt;%1&lt;/b&gt;: %n BIN, %2&lt;/p&gt;</numerusform>
            <numerusform>&lt;p&gt;&lt;b&gt;%1&lt;/b&gt;: %n BINs, %2&lt;/p&gt;</numerusform>
        </translation>
    </message>
    <message numerus="yes">
        <source>&lt;h3&gt;Yield&lt;/h3&gt;&lt;p&gt;In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cell(s).&lt;/p&gt;</source>
        <translation>
            <numerusform>&lt;h3&gt;Yield&lt;/h3&gt;&lt;p&gt;In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cell.&lt;/p&gt;</numerusform>
            <numerusform>&lt;h3&gt;Yield&lt;/h3&gt;&lt;p&gt;In-BIN share: cells in a BIN of both tables. Whole range: %1 % of %n cells.&lt;/p&gt;</numerusform>
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
</TS>

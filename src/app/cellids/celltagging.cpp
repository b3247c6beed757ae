#include "app/cellids/celltagging.h"

#include "app/cellids/cellidstrip.h"

#include "cellid/cellid.h"
#include "cellid/kvalue.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QLineEdit>
#include <QStringList>

CellTagging::CellTagging(CellIdStrip &strip, CellHistoryLookUp &lookUp, Dialogs &dialogs, Clock &clock,
                         QString title, QObject *parent)
    : QObject(parent), m_strip(strip), m_lookUp(lookUp), m_dialogs(dialogs), m_clock(clock), m_title(std::move(title))
{
}

QString CellTagging::noIdText()
{
    return tr("No cell ID: scan or type the cell's ID before it is counted. (Settings > Cell IDs "
              "can allow cells without an ID.)");
}

QString CellTagging::liftedWithoutIdText()
{
    return tr("cell lifted without an ID: not recorded");
}

void CellTagging::setOptions(const CellIdOptions &options)
{
    m_options = options;
    m_pattern = cellIdPattern(m_options.pattern);
    m_strip.setFraming(m_options.prefix, m_options.suffix);
    m_binding.setScanBeforePlacing(m_options.scanBeforePlacing);
}

PlausibilityLimits CellTagging::limits() const
{
    return PlausibilityLimits{m_options.resistancePercent / 100.0, m_options.voltageMarginMv / 1000.0};
}

QString CellTagging::takenId() const
{
    return m_binding.current().isEmpty() ? m_binding.next() : m_binding.current();
}

const CellHistoryLookUp::History &CellTagging::historyOf(const QString &cellId)
{
    auto known = m_known.find(cellId);
    if (known == m_known.end())
        known = m_known.insert(cellId, m_lookUp.historyOf(cellId));
    return *known;
}

void CellTagging::forget(const QString &cellId)
{
    m_known.remove(cellId);
    // What no cell uses any more is not kept.
    const QString waiting = m_binding.waitingCount() ? m_binding.waitingCount()->id : QString();
    const QString taking = m_taking ? m_taking->id : QString();
    for (auto it = m_known.begin(); it != m_known.end();) {
        const QString &id = it.key();
        if (id != m_binding.current() && id != m_binding.next() && id != waiting && id != taking)
            it = m_known.erase(it);
        else
            ++it;
    }
}

void CellTagging::refuseEveryCount(const QString &why)
{
    m_refuseEvery = why;
    if (!why.isEmpty())
        showNotice(why, true);
}

bool CellTagging::takeField()
{
    const QString id = normalisedCellId(m_strip.enteredText());
    if (id.isEmpty()) {
        showNotice(QString(), false);
        m_strip.clearField();
        return false;
    }
    if (const std::optional<QString> problem = cellIdProblem(id, m_pattern)) {
        showNotice(*problem, true);
        m_strip.selectText();
        return false;
    }
    QString target;
    switch (m_binding.scan(id)) {
    case IdBinding::ScanTarget::Refused:
        showNotice(tr("Cell %1 is not taken: a cell is on the probes, and with \"scan before placing\" a cell is "
                      "scanned before it is placed. Lift the cell, scan its ID, then place it.")
                           .arg(id),
                   true);
        m_strip.selectText();
        return false;
    case IdBinding::ScanTarget::CellOnProbes:
        target = tr("for the cell on the probes");
        break;
    case IdBinding::ScanTarget::NextCell:
        target = tr("for the next cell placed");
        break;
    }
    // Read afresh: the journal may have records of it made since.
    forget(id);
    m_strip.showTaken(id);
    m_lookUp.ask(id);
    showIdNotice(id, target);
    showKValue();
    return true;
}

QString CellTagging::historyText(const QString &id)
{
    const CellHistoryLookUp::History &history = historyOf(id);
    QStringList parts;
    if (history.records.empty()) {
        if (history.complete)
            parts << tr("Ready, no earlier record.");
        else if (history.asking)
            parts << tr("No record in this bench's journal.") << history.note;
        else
            parts << history.note;
    } else {
        parts << repeatWarning(id, history.records);
        if (!history.complete)
            parts << history.note;
    }
    const QString clock = clockWarning(id, history.records, m_clock.now());
    if (!clock.isEmpty())
        parts << clock;
    return parts.join(QLatin1Char(' '));
}

void CellTagging::showIdNotice(const QString &id, const QString &target)
{
    const CellHistoryLookUp::History &history = historyOf(id);
    const bool warn = !history.records.empty() || (!history.complete && !history.asking);
    showNotice(tr("Cell %1 is taken %2.").arg(id, target) + QLatin1Char(' ') + historyText(id), warn);
}

void CellTagging::historyAnswered(const QString &cellId)
{
    const QString waiting = m_binding.waitingCount() ? m_binding.waitingCount()->id : QString();
    if (cellId != m_binding.current() && cellId != m_binding.next() && cellId != waiting)
        return;
    m_known.remove(cellId);
    // The notice is about this ID while nothing else has been told since.
    if (!m_strip.asking() && !m_taking && cellId == takenId())
        showIdNotice(cellId, cellId == m_binding.current() ? tr("for the cell on the probes")
                                                           : tr("for the next cell placed"));
    showKValue();
}

void CellTagging::showNotice(const QString &text, bool warning)
{
    m_strip.showNotice(text, warning);
    m_refusalShown.clear();
}

ReadingNow CellTagging::readingNow(const TaggedReading &reading) const
{
    return ReadingNow{reading.ohms, reading.volts, reading.resistanceText, reading.voltageText,
                      reading.statedVoltageResolution, m_clock.now()};
}

void CellTagging::showKValue()
{
    QString id = m_binding.inForce();
    if (m_binding.countIsForCellOnProbes())
        id = m_binding.waitingCount()->id;
    if (id.isEmpty() || !m_lastReading) {
        m_strip.showKValue(QString());
        return;
    }
    const CellHistoryLookUp::History &history = historyOf(id);
    const bool notKnown = !history.complete && !history.asking;
    if (history.records.empty()) {
        m_strip.showKValue(notKnown ? tr("K: history not known now") : QString());
        return;
    }
    QString text;
    if (const std::optional<KEstimate> k = kAgainstHistory(history.records, *m_lastReading,
                                                           m_options.minimumRestMinutes * 60, m_options.kLimitMvPerDay))
        text = kEstimateText(*k);
    else if (futureRecords(history.records, m_lastReading->at).size() == history.records.size())
        text = tr("K: no record before now (clock problem)");
    else
        text = tr("K: rest %1 not reached").arg(restText(m_options.minimumRestMinutes));
    // The first record may be on a bench that did not answer.
    if (notKnown)
        text += QLatin1Char(' ') + tr("(history not known now)");
    m_strip.showKValue(text);
}

void CellTagging::clearFieldShowing(const QString &id)
{
    // Never what is being typed or scanned, nor the ID waiting for the next cell.
    if (!m_strip.isEdited() && normalisedCellId(m_strip.enteredText()) == id && id != m_binding.next())
        m_strip.clearField();
}

QString CellTagging::nextIdText() const
{
    if (m_binding.next().isEmpty())
        return QString();
    return QLatin1Char(' ') + tr("Cell %1 waits for the next cell placed.").arg(m_binding.next());
}

// --- CellTagger ---------------------------------------------------------------------

void CellTagging::beginSession()
{
    m_binding.reset();
    m_taking.reset();
    m_strip.clearQuestion();
    m_lastReading.reset();
    m_refusedForId = false;
    m_refusalShown.clear();
    showKValue();
}

void CellTagging::endSession()
{
    // Nobody watches the probes until the next START: a cell may be swapped
    // meanwhile, so the ID of the one on them now names no cell any more.
    const QString dropped = m_binding.current();
    m_binding.reset();
    m_lastReading.reset();
    if (!dropped.isEmpty()) {
        showNotice(tr("Cell %1 was not counted before the measurement stopped: its ID is dropped. Scan it again "
                      "after START.")
                           .arg(dropped),
                   true);
        clearFieldShowing(dropped);
    }
    showKValue();
}

void CellTagging::probesChanged(SettleDetector::ProbeChange change)
{
    switch (change) {
    case SettleDetector::ProbeChange::None:
        return;
    case SettleDetector::ProbeChange::Lifted:
        lifted();
        break;
    case SettleDetector::ProbeChange::Replaced:
        lifted();
        [[fallthrough]];
    case SettleDetector::ProbeChange::Placed:
        m_binding.placed();
        m_refusedForId = false;
        m_lastReading.reset();
        break;
    }
    showKValue();
}

void CellTagging::lifted()
{
    const IdBinding::Lift lift = m_binding.lifted();
    if (!lift.droppedId.isEmpty()) {
        showNotice(tr("Cell %1 was lifted without being counted: its ID is dropped. Scan it again when it is "
                      "placed again.")
                           .arg(lift.droppedId)
                       + nextIdText(),
                   true);
        clearFieldShowing(lift.droppedId);
    } else if (!lift.counted && m_refusedForId) {
        showNotice(liftedWithoutIdText(), true);
    }
    m_refusedForId = false;
    m_lastReading.reset();
}

bool CellTagging::mayCount(bool automatic)
{
    QString why;
    if (!m_refuseEvery.isEmpty()) {
        why = m_refuseEvery;
    } else if (m_strip.asking() && m_taking) {
        why = tr("The reading of cell %1 waits for your answer: is it that cell? Answer Yes or No in the strip "
                 "first.")
                      .arg(m_taking->id);
    } else {
        // A press takes what was typed without Enter, never a scan still coming in.
        if (!automatic && m_strip.isEdited() && !m_strip.scanInProgress())
            takeField();
        if (!m_binding.inForce().isEmpty()) {
            if (!automatic)
                m_binding.decide();
            return true;
        }
        const QString typed = normalisedCellId(m_strip.enteredText());
        const bool typing = m_strip.isEdited() && !typed.isEmpty();
        if (!m_binding.onCell() && !m_binding.next().isEmpty()) {
            why = tr("No cell on the probes: cell %1 waits for the next cell placed. Place it, then count it.")
                          .arg(m_binding.next());
        } else if (!typing && m_options.allowWithoutId) {
            if (!automatic)
                m_binding.decide();
            return true;
        } else if (typing && m_strip.scanInProgress()) {
            why = tr("The cell ID is still coming in from the scanner: count once it is in.");
        } else if (typing) {
            why = tr("The cell ID \"%1\" is not taken yet: end it with Enter.").arg(typed);
        } else if (m_binding.onCell() && m_binding.cellCounted()) {
            why = tr("The cell on the probes is counted already: lift it and place the next cell.") + nextIdText();
        } else if (!typed.isEmpty() && !m_strip.isEdited() && typed != takenId()) {
            why = cellIdProblem(typed, m_pattern).value_or(noIdText());
        } else {
            why = noIdText();
        }
        if (automatic && m_binding.onCell() && !m_binding.cellCounted())
            m_refusedForId = true;
    }
    if (automatic) {
        // Told once, not with every settled reading.
        if (m_refusalShown != why) {
            showNotice(why, true);
            m_refusalShown = why;
        }
    } else {
        showNotice(why, true);
        m_dialogs.showMessage(why, m_title, Dialogs::Icon::Warning);
    }
    return false;
}

void CellTagging::readingJudged(const TaggedReading &reading)
{
    if (reading.ofCell)
        m_lastReading = readingNow(reading);
    else
        m_lastReading.reset();
    showKValue();
}

CellTagger::Take CellTagging::takeReading(const TaggedReading &reading, bool automatic)
{
    if (automatic || !m_binding.countWaiting())
        m_binding.decide();
    const IdBinding::Count count = *m_binding.waitingCount();
    if (count.id.isEmpty()) {
        m_taking = Taking{QString(), readingNow(reading)};
        return Take::Record;
    }
    if (!m_binding.countIsForCellOnProbes()) {
        m_binding.finish(false);
        showNotice(tr("Cell %1 was lifted before its reading came: not counted. Place it again, scan its ID and "
                      "count it.")
                           .arg(count.id)
                       + nextIdText(),
                   true);
        return Take::Drop;
    }
    // A bounce: the press waits for a reading of the cell.
    if (!reading.ofCell)
        return Take::Wait;
    m_taking = Taking{count.id, readingNow(reading)};
    const CellHistoryLookUp::History &history = historyOf(count.id);
    if (const std::optional<QString> question = implausibility(count.id, history.records, m_taking->reading, limits())) {
        m_strip.ask(*question);
        showNotice(tr("Waiting for your answer: the reading of cell %1 is held, and nothing else is counted, until "
                      "you confirm it (Yes, or Enter) or drop it (No, or Esc).")
                           .arg(count.id),
                   true);
        return Take::Hold;
    }
    return Take::Record;
}

void CellTagging::tag(CellRecord &record)
{
    const Taking taking = m_taking.value_or(Taking{});
    m_taking.reset();
    m_strip.clearQuestion();
    m_binding.finish(true);
    QString text = tr("Counted without an ID.");
    if (!taking.id.isEmpty()) {
        record.cellId = taking.id;
        const CellHistoryLookUp::History history = historyOf(taking.id);
        ReadingNow now = taking.reading;
        now.at = record.measuredAt;
        const qint64 rest = m_options.minimumRestMinutes * 60;
        markAgainstHistory(record, history.records, history.complete, now, rest, m_options.kLimitMvPerDay);
        text = tr("Cell %1 counted%2.").arg(taking.id, record.retest ? tr(" (re-test)") : QString());
        if (const std::optional<KEstimate> k = kAgainstHistory(history.records, now, rest, m_options.kLimitMvPerDay))
            text += QLatin1Char(' ') + kEstimateText(*k) + QLatin1Char('.');
        if (!history.complete)
            text += QLatin1Char(' ')
                  + (history.asking ? tr("The central record had not answered yet: only this bench's records were "
                                         "known.")
                                    : history.note);
        const QString clock = clockWarning(taking.id, history.records, now.at);
        if (!clock.isEmpty())
            text += QLatin1Char(' ') + clock;
        // The journal holds this record now.
        forget(taking.id);
        clearFieldShowing(taking.id);
    }
    showNotice(text + nextIdText(), false);
    showKValue();
}

void CellTagging::heldDropped()
{
    if (!m_taking)
        return;
    const QString id = m_taking->id;
    m_taking.reset();
    m_strip.clearQuestion();
    m_binding.finish(false);
    clearFieldShowing(id);
    showNotice(tr("The held reading of cell %1 was not recorded.").arg(id) + nextIdText(), true);
}

void CellTagging::answer(bool keep)
{
    if (!m_strip.asking() || !m_taking)
        return;
    m_strip.clearQuestion();
    if (keep) {
        // The session records it now, and tag() tells.
        Q_EMIT heldAnswered(true);
        return;
    }
    const QString id = m_taking->id;
    m_taking.reset();
    m_binding.finish(false);
    clearFieldShowing(id);
    showNotice(tr("Not recorded: the reading is not of cell %1, whose ID is dropped. Scan the ID of the cell on "
                  "the probes.")
                       .arg(id)
                   + nextIdText(),
               true);
    Q_EMIT heldAnswered(false);
}

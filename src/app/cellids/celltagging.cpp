#include "app/cellids/celltagging.h"

#include "app/cellids/cellidstrip.h"

#include "cellid/cellhistory.h"
#include "cellid/cellhistorylookup.h"
#include "cellid/cellid.h"
#include "cellid/kvalue.h"
#include "platform/clock.h"
#include "platform/dialogs.h"

#include <QLineEdit>

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

void CellTagging::setOptions(const CellIdOptions &options)
{
    m_options = options;
    m_pattern = cellIdPattern(m_options.pattern);
    m_strip.setFraming(m_options.prefix, m_options.suffix);
}

void CellTagging::refuseEveryCount(const QString &why)
{
    m_refuseEvery = why;
    if (!why.isEmpty())
        showNotice(why, true);
}

bool CellTagging::takeField()
{
    const QString text = m_strip.enteredText();
    dropTaken();
    const QString id = normalisedCellId(text);
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
    m_taken = id;
    m_strip.showTaken(id);
    m_lookUp.ask(id);
    showTakenNotice();
    return true;
}

void CellTagging::dropTaken()
{
    m_taken.clear();
    m_takenHistory.clear();
    m_strip.showKValue(QString());
}

void CellTagging::historyAnswered(const QString &cellId)
{
    if (cellId == m_taken)
        showTakenNotice();
}

void CellTagging::showTakenNotice()
{
    const CellHistoryLookUp::History history = m_lookUp.historyOf(m_taken);
    m_takenHistory = history.records;
    QString text = m_takenHistory.empty() ? tr("Cell %1: ready, no earlier record.").arg(m_taken)
                                          : repeatWarning(m_taken, m_takenHistory);
    if (!history.note.isEmpty())
        text += QLatin1Char(' ') + history.note;
    showNotice(text, !m_takenHistory.empty());
}

void CellTagging::showNotice(const QString &text, bool warning)
{
    m_strip.showNotice(text, warning);
    m_refusalShown.clear();
}

bool CellTagging::mayCount(bool automatic)
{
    // A press takes what was typed without Enter; auto record waits for Enter.
    if (m_refuseEvery.isEmpty() && !automatic && m_strip.isEdited())
        takeField();
    if (m_refuseEvery.isEmpty() && !m_taken.isEmpty())
        return true;
    const QString typed = normalisedCellId(m_strip.field()->text());
    if (m_refuseEvery.isEmpty() && typed.isEmpty() && m_options.allowWithoutId)
        return true;
    QString why = noIdText();
    if (!m_refuseEvery.isEmpty())
        why = m_refuseEvery;
    else if (!typed.isEmpty() && m_strip.isEdited())
        why = tr("The cell ID \"%1\" is not taken yet: end it with Enter.").arg(typed);
    else if (!typed.isEmpty())
        why = cellIdProblem(typed, m_pattern).value_or(noIdText());
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

void CellTagging::readingJudged(double, double voltageV)
{
    if (m_taken.isEmpty() || m_takenHistory.empty())
        return;
    const CellRecord &first = m_takenHistory.front();
    const std::optional<double> k =
        kValue(first.voltageV, first.measuredAt, voltageV, m_clock.now(), m_options.minimumRestMinutes * 60);
    m_strip.showKValue(k ? kValueText(*k, m_options.kLimitMvPerDay)
                         : tr("K: rest %1 not reached").arg(restText(m_options.minimumRestMinutes)));
}

void CellTagging::tag(CellRecord &record)
{
    QString text = tr("Counted without an ID.");
    if (!m_taken.isEmpty()) {
        record.cellId = m_taken;
        markAgainstHistory(record, m_takenHistory, m_options.minimumRestMinutes * 60, m_options.kLimitMvPerDay);
        text = tr("Cell %1 counted%2.").arg(m_taken, record.retest ? tr(" (re-test)") : QString());
        if (record.kValue)
            text += QLatin1Char(' ') + kValueText(*record.kValue, m_options.kLimitMvPerDay) + QLatin1Char('.');
    }
    m_taken.clear();
    m_takenHistory.clear();
    m_strip.clearField();
    showNotice(text, false);
}

#pragma once

#include "cellid/cellhistory.h"
#include "cellid/cellhistorylookup.h"
#include "cellid/idbinding.h"
#include "session/celltagger.h"
#include "settings/cellidoptions.h"

#include <QHash>
#include <QObject>
#include <QRegularExpression>
#include <QString>

#include <optional>

class CellIdStrip;
class Clock;
class Dialogs;

// The IDs the session's counted cells carry, as its CellTagger. An ID ended in
// the strip's field is checked and, when good, bound to a cell by the binding
// rule (IdBinding): the cell on the probes, or the next one placed. Its
// records are looked up at once: the notice says whether it has records
// already (the repeat warning), whether its history is not known now, and
// whether a record is dated after now; while its cell is measured the strip
// shows its K-value with the uncertainty the tester's resolution leaves.
//
// A count copies the ID in force when it is decided and puts it, the re-test
// mark and the K-value on the record. A reading that does not look like the
// ID's cell (PlausibilityLimits) is held: the strip asks whether it is that
// cell, and the session records it only on Yes (heldAnswered()). A count
// without an ID is refused (told once for auto record, in a message for a
// press) unless the options allow it; REC - COUNT takes an ID typed but not
// yet ended with Enter, never a scan still coming in.
class CellTagging : public QObject, public CellTagger
{
    Q_OBJECT
public:
    CellTagging(CellIdStrip &strip, CellHistoryLookUp &lookUp, Dialogs &dialogs, Clock &clock, QString title,
                QObject *parent = nullptr);

    void setOptions(const CellIdOptions &options);
    // Every count is refused with this text while it is not empty: the
    // options could not be read, so whether IDs are required is unknown.
    void refuseEveryCount(const QString &why);
    // Checks the field's text and binds it as a scan; false (and the notice
    // says why) when it is no good ID or the scan is refused.
    bool takeField();
    // The shared database has answered for a cell, or is slow: the notice
    // and the K-value follow when the cell is one in use.
    void historyAnswered(const QString &cellId);
    // The operator's answer to the question about a held reading.
    void answer(bool keep);

    // The ID for the cell on the probes, or else for the next cell; empty when none.
    QString takenId() const;
    const IdBinding &binding() const { return m_binding; }

    static QString noIdText();
    static QString liftedWithoutIdText();

    // CellTagger
    void beginSession() override;
    void endSession() override;
    void probesChanged(SettleDetector::ProbeChange change) override;
    bool mayCount(bool automatic) override;
    void readingJudged(const TaggedReading &reading) override;
    Take takeReading(const TaggedReading &reading, bool automatic) override;
    void tag(CellRecord &record) override;
    void heldDropped() override;

Q_SIGNALS:
    // The operator answered the question about a held reading.
    void heldAnswered(bool keep);

private:
    // What is known of an ID, looked up when it is scanned and again when the
    // shared database answers or a record of it is made.
    const CellHistoryLookUp::History &historyOf(const QString &cellId);
    void forget(const QString &cellId);
    void lifted();
    void showIdNotice(const QString &id, const QString &binding);
    // The sentence on what is known of the ID's history.
    QString historyText(const QString &id);
    void showNotice(const QString &text, bool warning);
    void showKValue();
    ReadingNow readingNow(const TaggedReading &reading) const;
    PlausibilityLimits limits() const;
    // Empties the field when it shows the ID, which names no cell any more.
    void clearFieldShowing(const QString &id);
    // The waiting ID after a count: where it goes now.
    QString nextIdText() const;

    CellIdStrip &m_strip;
    CellHistoryLookUp &m_lookUp;
    Dialogs &m_dialogs;
    Clock &m_clock;
    QString m_title;
    CellIdOptions m_options;
    QRegularExpression m_pattern;

    IdBinding m_binding;
    QHash<QString, CellHistoryLookUp::History> m_known;
    // The reading a count has taken, kept until it is recorded or given up.
    struct Taking
    {
        QString id;
        ReadingNow reading;
    };
    std::optional<Taking> m_taking;
    // The latest reading of a cell on the probes, for the K-value.
    std::optional<ReadingNow> m_lastReading;
    // Auto record refused the cell on the probes for want of an ID.
    bool m_refusedForId = false;
    QString m_refusalShown;
    QString m_refuseEvery;
};

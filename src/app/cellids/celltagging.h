#pragma once

#include "record/cellrecord.h"
#include "session/celltagger.h"
#include "settings/cellidoptions.h"

#include <QObject>
#include <QRegularExpression>
#include <QString>

#include <vector>

class CellHistoryLookUp;
class CellIdStrip;
class Clock;
class Dialogs;

// The IDs the session's counted cells carry, as its CellTagger. An ID ended in
// the strip's field is checked and, when good, taken for the next count, and
// the cell's records are looked up: the notice says whether it has records
// already (the repeat warning), and while it is measured the strip shows its
// K-value against the first of them. The count puts the ID, the re-test mark
// and the K-value on the record and empties the field for the next cell. A
// count without an ID is refused (told once for auto record, in a message
// for a press) unless the options allow it; REC - COUNT takes an ID typed but
// not yet ended with Enter.
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
    // Checks the field's text and takes it as the next cell's ID; false (and
    // the notice says why) when it is no good ID.
    bool takeField();
    // The field was changed: the ID taken is no longer the one shown.
    void dropTaken();
    // The shared database has answered for a cell: its warning grows when
    // it is the one taken.
    void historyAnswered(const QString &cellId);

    // The ID taken for the next count; empty when none.
    const QString &takenId() const { return m_taken; }

    static QString noIdText();

    // CellTagger
    bool mayCount(bool automatic) override;
    void readingJudged(double resistanceMilliohm, double voltageV) override;
    void tag(CellRecord &record) override;

private:
    void showTakenNotice();
    void showNotice(const QString &text, bool warning);

    CellIdStrip &m_strip;
    CellHistoryLookUp &m_lookUp;
    Dialogs &m_dialogs;
    Clock &m_clock;
    QString m_title;
    CellIdOptions m_options;
    QRegularExpression m_pattern;

    QString m_taken;
    // The taken ID's records, looked up when it was taken and again when the
    // shared database answers.
    std::vector<CellRecord> m_takenHistory;
    QString m_refusalShown;
    QString m_refuseEvery;
};

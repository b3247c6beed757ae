#pragma once

#include "record/recordsource.h"

#include <QString>
#include <QStringList>
#include <QWidget>

class QComboBox;
class QDateTimeEdit;

// The bar above the stability tab's charts: where its cells come from
// ("Source"), from which bench ("Bench", for the databases) and from when
// ("Cells": all, this shift, today, the last eight hours, or from - to in the
// two date-time boxes). Every change the user makes is told by changed().
class SourceChoice : public QWidget
{
    Q_OBJECT
public:
    // The data file the window reads, the bench's journal, or the line's
    // central database.
    enum class Source { DataFile, Journal, Central };
    enum class Range { All, ThisShift, Today, LastEightHours, FromTo };

    explicit SourceChoice(QWidget *parent = nullptr);

    Source source() const;
    void setSource(Source source);
    Range range() const;
    void setRange(Range range);
    // The bench chosen; empty for all benches.
    QString bench() const;
    // Chooses the bench, listing it first when it is not listed; tells no change.
    void setBench(const QString &bench);
    // Lists the benches not listed yet and keeps the one chosen.
    void addBenches(const QStringList &benches);

    // The cells of the range chosen, by the records' own clock: "This shift"
    // by the shift times of Shifts.ini in settingsFolder; *notice says when
    // that file was refused and the default shifts serve. The bench is left
    // to the caller.
    RecordFilter rangeFilter(const QString &settingsFolder, QString *notice) const;
    // Shows in the date-time boxes, which only "From - to" lets the user
    // change, which shift or day the filter takes.
    void showBounds(const RecordFilter &filter);

Q_SIGNALS:
    // The source, the bench or the range was changed.
    void changed();

private:
    QComboBox *m_sourceBox = nullptr;
    QComboBox *m_benchBox = nullptr;
    QComboBox *m_rangeBox = nullptr;
    QDateTimeEdit *m_fromEdit = nullptr;
    QDateTimeEdit *m_toEdit = nullptr;
};

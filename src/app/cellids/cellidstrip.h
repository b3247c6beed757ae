#pragma once

#include "cellid/scandetector.h"

#include <QString>
#include <QToolBar>

#include <functional>

class QLabel;
class QLineEdit;
class QPushButton;
class QWidget;

// The strip below the main window's client area while cell IDs are on: the
// "Cell ID" field, the K-value of the cell on the probes, a notice line and,
// while a reading waits for the operator's word, the question about it.
//
// The field has the keyboard focus between counts. Enter in it, or a Tab that
// ends a scan, ends a scan or a typed ID (entered()); such an Enter never
// counts, so that the repeat warning is seen before the cell is counted.
// Enter pressed again on an ID taken (nothing typed since, and not the fast
// end of a scan) asks for the cell to be counted (countPressed()). A scan is
// the field's text typed as a burst (ScanDetector) or framed by the scanner's
// prefix and suffix; a Tab typed by hand moves on as usual.
//
// While a question is shown, "Yes" (Alt+Y) or an Enter typed in the field
// confirms it, "No" (Alt+N) or Escape declines it. An Enter confirms only
// when it is pressed on purpose: not the end of a scan, not a key held down,
// and not within kConfirmGuardMs of the question appearing (the Enter that
// was meant to count the cell). Scans go on meanwhile.
class CellIdStrip : public QToolBar
{
    Q_OBJECT
public:
    static constexpr qint64 kConfirmGuardMs = 1000;

    explicit CellIdStrip(QWidget *parent = nullptr);

    // The prefix and suffix the scanner frames its codes with; empty for none.
    void setFraming(const QString &prefix, const QString &suffix);
    // The field's text without the scanner's frame.
    QString enteredText() const;
    // Typed into since the last ID was taken or the field emptied.
    bool isEdited() const { return m_edited; }
    // A scanner's burst is coming in and has not ended yet.
    bool scanInProgress() const { return m_scan.inBurst(m_msecs()); }

    // The ID taken stands in the field, selected, so the next scan replaces it.
    void showTaken(const QString &id);
    // A refused ID stays selected in the field.
    void selectText();
    // Empties the field, ready for the next cell.
    void clearField();
    void showNotice(const QString &text, bool warning);
    // Empty clears it.
    void showKValue(const QString &text);

    // Shows the question with Yes and No until clearQuestion().
    void ask(const QString &question);
    void clearQuestion();
    bool asking() const;

    QLineEdit *field() const { return m_field; }
    QLabel *notice() const { return m_notice; }
    QLabel *kValueLabel() const { return m_kValue; }
    QLabel *question() const { return m_question; }
    QPushButton *yesButton() const { return m_yes; }
    QPushButton *noButton() const { return m_no; }
    // The monotonic milliseconds key presses are timed with (tests set it).
    void setKeyClock(std::function<qint64()> msecs) { m_msecs = std::move(msecs); }

Q_SIGNALS:
    // A scan or a typed ID was ended: enteredText() is to be taken.
    void entered();
    // Enter was pressed on the ID taken.
    void countPressed();
    // The question was answered.
    void confirmed();
    void declined();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Sets a label's text with its accessible name in step.
    static void setLabelText(QLabel *label, const QString &text);

    QLineEdit *m_field = nullptr;
    QLabel *m_kValue = nullptr;
    QLabel *m_notice = nullptr;
    QWidget *m_questionRow = nullptr;
    QLabel *m_question = nullptr;
    QPushButton *m_yes = nullptr;
    QPushButton *m_no = nullptr;
    QString m_prefix;
    QString m_suffix;
    ScanDetector m_scan;
    std::function<qint64()> m_msecs;
    bool m_edited = false;
    qint64 m_askedAt = 0;
};

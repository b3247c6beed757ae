#pragma once

#include "cellid/scandetector.h"

#include <QString>
#include <QToolBar>

#include <functional>

class BoundedLabel;
class QLabel;
class QLineEdit;

// The strip below the main window's client area while cell IDs are on: the
// "Cell ID" field, the K-value of the cell measured and a notice line.
//
// The field has the keyboard focus between counts. Enter in it, or a Tab that
// ends a scan, ends a scan or a typed ID (entered()); such an Enter never
// counts, so that the repeat warning is seen before the cell is counted.
// Enter pressed again on an ID taken (nothing typed since, and not the fast
// end of a scan) asks for the cell to be counted (countPressed()). A scan is
// the field's text typed as a burst (ScanDetector) or framed by the scanner's
// prefix and suffix; a Tab typed by hand moves on as usual.
class CellIdStrip : public QToolBar
{
    Q_OBJECT
public:
    explicit CellIdStrip(QWidget *parent = nullptr);

    // The prefix and suffix the scanner frames its codes with; empty for none.
    void setFraming(const QString &prefix, const QString &suffix);
    // The field's text without the scanner's frame.
    QString enteredText() const;
    // Typed into since the last ID was taken or the field emptied.
    bool isEdited() const { return m_edited; }

    // The ID taken stands in the field, selected, so the next scan replaces it.
    void showTaken(const QString &id);
    // A refused ID stays selected in the field.
    void selectText();
    // Empties the field, ready for the next cell.
    void clearField();
    void showNotice(const QString &text, bool warning);
    // Empty clears it.
    void showKValue(const QString &text);

    QLineEdit *field() const { return m_field; }
    QLabel *notice() const;
    QLabel *kValueLabel() const { return m_kValue; }
    // The monotonic milliseconds key presses are timed with (tests set it).
    void setKeyClock(std::function<qint64()> msecs) { m_msecs = std::move(msecs); }

Q_SIGNALS:
    // A scan or a typed ID was ended: enteredText() is to be taken.
    void entered();
    // Enter was pressed on the ID taken.
    void countPressed();
    // The operator changed the field's text.
    void edited();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_field = nullptr;
    QLabel *m_kValue = nullptr;
    BoundedLabel *m_notice = nullptr;
    QString m_prefix;
    QString m_suffix;
    ScanDetector m_scan;
    std::function<qint64()> m_msecs;
    bool m_edited = false;
};

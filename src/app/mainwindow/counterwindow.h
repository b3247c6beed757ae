#pragma once

#include <QDialog>
#include <QPointer>

#include <array>

class BinTables;
class QGroupBox;
class QLabel;
class QMessageBox;
class QPushButton;

// The BIN counter window: per-BIN, OUT and TOTAL counters of both tables.
// Captions and counts 0..10 are the resistance rows (BIN 1..9, OUT, TOTAL) in
// the left frame, 11..21 the voltage rows in the right frame. The values follow
// the tables' counters while the window is open. Each control keeps its
// inventory name as objectName, set where it is made.
//
// The window deletes itself when closed; the caller opens it with open().
class CounterWindow : public QDialog
{
    Q_OBJECT
public:
    // RESET, once the operator has confirmed, zeroes the counters of both
    // tables; the counts follow the tables while the window is open.
    explicit CounterWindow(BinTables &binTables, QWidget *parent = nullptr);

    // Fills every caption and value from the two tables.
    void showBinCount();

private:
    // RESET: asks "Clear all BIN counters?" (window-modal, default No) and
    // clears only on Yes.
    void askReset();
    void buildGroup(int group);

    BinTables &m_binTables;

    std::array<QGroupBox *, 2> m_frames{};
    std::array<QLabel *, 22> m_captions{};
    std::array<QLabel *, 22> m_counts{};
    QPushButton *m_closeButton = nullptr;
    QPushButton *m_resetButton = nullptr;
    QPointer<QMessageBox> m_resetQuestion;
};

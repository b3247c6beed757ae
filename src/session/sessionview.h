#pragma once

#include "bins/judge.h"
#include "link/testerprofile.h"

#include <QString>
#include <QtGlobal>

#include <array>
#include <bitset>
#include <optional>

// What one reading was judged as against both tables.
struct ReadingJudgement
{
    struct Table
    {
        std::bitset<9> lit; // rows of the lit BINs
        int binsInUse = 0;  // rows 0..binsInUse-1 are BINs in use
        OutSide out = OutSide::Below;
    };
    std::array<Table, 2> tables; // 0 resistance, 1 voltage
    // The reading was counted and its record written: the window makes ready
    // for the next cell.
    bool counted = false;
};

// What a measurement session shows and switches on the main window. The window
// implements it over its controls; tests record the calls.
class SessionView
{
public:
    virtual ~SessionView() = default;

    // Value label t (0 resistance, 1 voltage).
    virtual void showValue(int t, const QString &text) = 0;
    // Shows the judgement on the BIN grid and the out labels. A counted reading
    // also gives "REC - COUNT" the input focus again; it is enabled by then.
    virtual void showJudgement(const ReadingJudgement &judgement) = 0;
    // Grid cells and out labels show no judgement: the reading on screen lit
    // nothing (it was no number).
    virtual void clearJudgement() = 0;

    // A non-empty notice marks the reading on screen as stale: the notice is
    // shown in the result area, the values are greyed and the grid cleared.
    // An empty notice shows the values as current again.
    virtual void showStale(const QString &notice) = 0;

    // The tester's own judgement of the reading, beside the program's: its word
    // as sent. An empty word hides it (a profile without one, a new session).
    virtual void showTesterVerdict(const QString &word, TesterVerdict verdict)
    {
        Q_UNUSED(word);
        Q_UNUSED(verdict);
    }

    // The window's status line (link state, counted cells, full counters, a
    // stopped session); empty hides it.
    virtual void showStatus(const QString &text) = 0;

    // The cells counted since START (0 at START).
    virtual void showCellCount(int cells) { Q_UNUSED(cells); }

    // Whether a session runs. Stopped (and at a failed START), the reading on
    // screen is old: shown as a stale one is, and REC - COUNT and STOP are
    // disabled until the next START. Running, STOP is enabled; the values
    // are current again with the first reading.
    virtual void showSessionRunning(bool running) { Q_UNUSED(running); }

    // "REC - COUNT"; START gives it the focus.
    virtual void setRecCountEnabled(bool enabled) = 0;
    virtual void focusRecCount() = 0;

    // START.
    virtual void setStartEnabled(bool enabled) = 0;
    virtual void focusStart() = 0;

    // Everything that must not change during a session, in this order: both BIN
    // set-up panels, the data-file frame and the "&Settings" menu.
    virtual void setSetupEnabled(bool enabled) = 0;

    // The data-file path field.
    virtual QString pathText() const = 0;
    virtual void setPathText(const QString &text) = 0;

    // A message box with the text, one OK button and the application's title.
    // Must not wait for the operator.
    virtual void showError(const QString &text) = 0;

    // What became of a counted cell's record. A newer notice replaces the one
    // still shown instead of stacking on it.
    virtual void showRecordNotice(const QString &text) { showError(text); }
};

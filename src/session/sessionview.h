#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

// What a measurement session shows and switches on the main window. The window
// implements it over its controls; tests record the calls.
class SessionView
{
public:
    virtual ~SessionView() = default;

    // Value label t (0 resistance, 1 voltage).
    virtual void showValue(int t, const QString &text) = 0;
    // BIN grid cell t * 9 + row (0..17), background as a 0x00BBGGRR colour.
    virtual void setCellColour(int cell, quint32 bgr) = 0;
    // Out label t; a caption of nullopt keeps the label's current text.
    virtual void setOutLabel(int t, const std::optional<QString> &caption, quint32 bgr) = 0;
    // Grid cells and out labels lose their judgement colours: the reading on
    // screen lit nothing (it was no number).
    virtual void clearJudgement() = 0;

    // A non-empty notice marks the reading on screen as stale: the notice is
    // shown in the result area, the values are greyed and the grid cleared.
    // An empty notice shows the values as current again.
    virtual void showStale(const QString &notice) = 0;

    // The window's status line (link state, full counters); empty hides it.
    virtual void showStatus(const QString &text) = 0;

    // "REC - COUNT".
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

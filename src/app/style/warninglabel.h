#pragma once

#include <QColor>

class QLabel;
class QWidget;

// The dark red of warnings and refusals in the windows.
inline QColor warningColour()
{
    return QColor(0xB0, 0x00, 0x00);
}

// The hidden, word-wrapped label ("errorText") under an options dialog's
// fields that says why OK was refused.
QLabel *newDialogErrorLabel(QWidget *dialog);

#pragma once

#include <QFont>
#include <QString>

class QWidget;

// Fonts and geometry of the program's windows. The windows were drawn for
// typefaces that a Linux desktop usually lacks, so each font names the
// intended family first and close relatives after it. Sizes are set in
// pixels (points at 96 dpi) so a layout measured in pixels stays filled the
// same way whatever the screen reports as its resolution.
namespace uifonts {

// Layout unit of the window definitions: 15 twips to the pixel at 96 dpi.
constexpr int twips(int value)
{
    return (value + 7) / 15;
}

// Points at 96 dpi, rounded to whole pixels (11.25 pt gives 15 px).
int pixelsForPoints(double points);

QFont tahoma(double points, bool bold = false);
QFont msSerif(double points);
QFont msSansSerif(double points);
QFont arial(double points, bool bold = false);

// Narrows the widget's font to a semi-condensed face, then shrinks it one
// pixel at a time, until `widest` fits the room that the widget leaves for its
// text on one line. A font that fits is left alone; none goes below 8 px.
// Word-wrapped labels are only checked for the height of one line.
void fitText(QWidget *widget, const QString &widest);

} // namespace uifonts

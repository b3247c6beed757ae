#pragma once

#include "bins/binpanellogic.h"
#include "settings/settingscodec.h"

#include <array>

struct FormMainUi;
class QWidget;

// Moves the operator's set-up between the main window's controls and the values
// kept in Settings.ini. Selecting an option or setting a box runs that panel's
// own change handling, exactly as an operator's edit does; an option that is
// already selected raises no change, so the caller rebuilds both tables once
// the set-up has been shown.
namespace setupstore {

// Window positions are kept in twips; the screen has 15 twips to a pixel.
constexpr int kTwipsPerPixel = 15;

// Nearest pixel: 1200 twips is 80 px, 1 twip is 0 px.
int twipsToPixels(float twips);
float pixelsToTwips(int pixels);

// The set-up of a run without a readable file: "Max - Min" in both panels
// (resistance first), then the six boxes emptied pair by pair, resistance box
// before voltage box. The window stays where it is.
void showFallbackSetup(FormMainUi &ui);

// Shows a stored set-up in the order of the file's lines: resistance mode and
// boxes, voltage mode and boxes, then the window's frame position. A mode
// outside 0..2 selects "Max - Min".
void showStoredSetup(FormMainUi &ui, QWidget &window, const StoredSettings &settings);

// The set-up in use: the panel entries each BIN table was last built from
// (resistance first), which differ from the boxes while a typed entry is
// refused, and the window's frame position brought within the range a stored
// position is read back in.
StoredSettings setupInUse(const std::array<PanelEntries, 2> &entries, const QWidget &window,
                          qint16 comPort);

// A frame position in pixels as twips that read back within 0..limit.
float storedPosition(int pixels, float limit);

} // namespace setupstore

#include "app/mainwindow/setupstore.h"

#include "app/mainwindow/formmainui.h"

#include "bins/bintable.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace setupstore {

namespace {

void selectMode(const std::array<QRadioButton *, 3> &options, qint16 storedMode)
{
    options[size_t(binModeFromNumber(storedMode))]->setChecked(true);
}

void showBoxes(const std::array<QLineEdit *, 3> &boxes, const std::array<QString, 3> &texts)
{
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(texts[i]);
}

} // namespace

int twipsToPixels(float twips)
{
    // Stored positions are range-checked (0..10000), so the result always fits.
    return int(std::lround(double(twips) / kTwipsPerPixel));
}

float pixelsToTwips(int pixels)
{
    return float(double(pixels) * kTwipsPerPixel);
}

void showFallbackSetup(FormMainUi &ui)
{
    ui.resistanceModes[0]->setChecked(true);
    ui.voltageModes[0]->setChecked(true);
    for (size_t i = 0; i < 3; ++i) {
        ui.resistanceEntries[i]->setText(QString());
        ui.voltageEntries[i]->setText(QString());
    }
}

void showStoredSetup(FormMainUi &ui, QWidget &window, const StoredSettings &settings)
{
    selectMode(ui.resistanceModes, settings.modeR);
    showBoxes(ui.resistanceEntries, settings.boxesR);
    selectMode(ui.voltageModes, settings.modeV);
    showBoxes(ui.voltageEntries, settings.boxesV);
    window.move(twipsToPixels(settings.left), twipsToPixels(settings.top));
}

float storedPosition(int pixels, float limit)
{
    // A window at the right or bottom edge of the stored range can sit one
    // pixel beyond it (667 px is 10005 twips); the edge of the range puts it
    // back on the same pixel (10000 twips is 666.7 px) or the nearest one inside.
    return std::clamp(pixelsToTwips(pixels), 0.0f, limit);
}

StoredSettings setupInUse(const std::array<PanelEntries, 2> &entries, const QWidget &window,
                          qint16 comPort)
{
    auto modeOfEntries = [](const PanelEntries &panel) {
        return qint16(binModeFromButtons(panel.modeSelected[0], panel.modeSelected[1], panel.modeSelected[2]));
    };
    auto boxesOf = [](const PanelEntries &panel) {
        return std::array<QString, 3>{panel.binCountText, panel.firstText, panel.secondText};
    };
    StoredSettings settings;
    settings.comPort = comPort;
    settings.modeR = modeOfEntries(entries[0]);
    settings.boxesR = boxesOf(entries[0]);
    settings.modeV = modeOfEntries(entries[1]);
    settings.boxesV = boxesOf(entries[1]);
    settings.left = storedPosition(window.pos().x(), kMaxLeft);
    settings.top = storedPosition(window.pos().y(), kMaxTop);
    return settings;
}

} // namespace setupstore

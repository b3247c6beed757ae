#include "setupstore.h"

#include "formmainui.h"

#include "bins/bintable.h"

#include <QLineEdit>
#include <QRadioButton>
#include <QWidget>

#include <cmath>

namespace setupstore {

namespace {

void selectMode(const std::array<QRadioButton *, 3> &options, qint16 mode)
{
    options[mode >= 0 && mode <= 2 ? size_t(mode) : 0]->setChecked(true);
}

qint16 modeOf(const std::array<QRadioButton *, 3> &options)
{
    return binModeFromButtons(options[0]->isChecked(), options[1]->isChecked(), options[2]->isChecked());
}

void showBoxes(const std::array<QLineEdit *, 3> &boxes, const std::array<QString, 3> &texts)
{
    for (size_t i = 0; i < boxes.size(); ++i)
        boxes[i]->setText(texts[i]);
}

std::array<QString, 3> textsOf(const std::array<QLineEdit *, 3> &boxes)
{
    std::array<QString, 3> texts;
    for (size_t i = 0; i < boxes.size(); ++i)
        texts[i] = boxes[i]->text();
    return texts;
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
    ui.Option1[0]->setChecked(true);
    ui.Option2[0]->setChecked(true);
    for (size_t i = 0; i < 3; ++i) {
        ui.Text2[i]->setText(QString());
        ui.Text6[i]->setText(QString());
    }
}

void showStoredSetup(FormMainUi &ui, QWidget &window, const StoredSettings &settings)
{
    selectMode(ui.Option1, settings.modeR);
    showBoxes(ui.Text2, settings.boxesR);
    selectMode(ui.Option2, settings.modeV);
    showBoxes(ui.Text6, settings.boxesV);
    window.move(twipsToPixels(settings.left), twipsToPixels(settings.top));
}

StoredSettings collectSetup(const FormMainUi &ui, const QWidget &window, qint16 comPort)
{
    StoredSettings settings;
    settings.comPort = comPort;
    settings.modeR = modeOf(ui.Option1);
    settings.boxesR = textsOf(ui.Text2);
    settings.modeV = modeOf(ui.Option2);
    settings.boxesV = textsOf(ui.Text6);
    // pos() is the frame's position, the one move() sets when loading.
    settings.left = pixelsToTwips(window.pos().x());
    settings.top = pixelsToTwips(window.pos().y());
    return settings;
}

} // namespace setupstore

#include "app/style/programicon.h"

#include <QPainter>
#include <QPixmap>

namespace {

// Draws the instrument on a square of `size` pixels, in a handful of flat
// colours so the small size stays crisp.
QPixmap instrument(int size)
{
    const QColor body(0xA0, 0xA0, 0xA0);
    const QColor bodyEdge(0x40, 0x40, 0x40);
    const QColor bodyLight(0xE0, 0xE0, 0xE0);
    const QColor screen(0x20, 0x00, 0x00);
    const QColor segment(0xFF, 0x20, 0x20);
    const QColor key(0x60, 0x60, 0x60);

    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing, false);

    // Everything is laid out on a 16-unit grid and scaled up for 32 px.
    const int u = size / 16;
    auto box = [u](int x, int y, int w, int h) { return QRect(x * u, y * u, w * u, h * u); };

    // Case: a wide box with a light top edge and a dark outline.
    painter.fillRect(box(0, 3, 16, 11), bodyEdge);
    painter.fillRect(box(0, 3, 16, 11).adjusted(u, u, -u, -u), body);
    painter.fillRect(box(1, 4, 14, 1), bodyLight);

    // Display with two lines of red digits.
    painter.fillRect(box(2, 5, 9, 5), screen);
    painter.fillRect(box(3, 6, 7, 1), segment);
    painter.fillRect(box(3, 8, 5, 1), segment);

    // Keys: a column beside the display and a row below it.
    painter.fillRect(box(12, 5, 2, 2), key);
    painter.fillRect(box(12, 8, 2, 2), key);
    for (int k = 0; k < 4; ++k)
        painter.fillRect(box(2 + 3 * k, 11, 2, 1), key);

    // Feet.
    painter.fillRect(box(1, 14, 3, 1), bodyEdge);
    painter.fillRect(box(12, 14, 3, 1), bodyEdge);
    return pixmap;
}

} // namespace

QIcon programIcon()
{
    QIcon icon;
    icon.addPixmap(instrument(32));
    icon.addPixmap(instrument(16));
    return icon;
}

#include "app/style/uifonts.h"

#include <QAbstractButton>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>

#include <cmath>

namespace uifonts {

namespace {

constexpr int kSmallestPixels = 8;

QFont makeFont(const QStringList &families, double points, bool bold)
{
    QFont font;
    font.setFamilies(families);
    font.setPixelSize(pixelsForPoints(points));
    font.setBold(bold);
    return font;
}

// The room, in pixels, that a control leaves for one line of its text.
QSize textRoom(const QWidget *widget)
{
    const QStyle *style = widget->style();
    if (const auto *edit = qobject_cast<const QLineEdit *>(widget)) {
        // QLineEdit keeps a 2 px margin left and right and 1 px above and below.
        const int frame = edit->hasFrame() ? style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, edit) : 0;
        const QMargins margins = edit->textMargins();
        return {edit->width() - 2 * frame - 4 - margins.left() - margins.right(),
                edit->height() - 2 * frame - 2 - margins.top() - margins.bottom()};
    }
    if (const auto *radio = qobject_cast<const QRadioButton *>(widget)) {
        const int indicator = style->pixelMetric(QStyle::PM_ExclusiveIndicatorWidth, nullptr, radio)
                              + style->pixelMetric(QStyle::PM_RadioButtonLabelSpacing, nullptr, radio);
        return {radio->width() - indicator - 2, radio->height()};
    }
    if (const auto *button = qobject_cast<const QPushButton *>(widget)) {
        const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, button);
        return {button->width() - margin - 2 * frame, button->height() - 2 * frame};
    }
    if (const auto *group = qobject_cast<const QGroupBox *>(widget)) {
        // The title starts a little in from the left edge and needs the same
        // room at the right to look balanced.
        return {group->width() - 16, group->height()};
    }
    if (const auto *label = qobject_cast<const QLabel *>(widget)) {
        const QRect room = label->contentsRect().adjusted(label->margin(), label->margin(), -label->margin(),
                                                          -label->margin());
        return room.size();
    }
    return widget->size();
}

bool fitsWith(const QWidget *widget, const QFont &font, const QString &text)
{
    const QFontMetrics metrics(font);
    const QSize room = textRoom(widget);
    const auto *label = qobject_cast<const QLabel *>(widget);
    const bool wraps = label && label->wordWrap();
    const bool isTitle = qobject_cast<const QGroupBox *>(widget) != nullptr;
    const bool widthFits = wraps || metrics.horizontalAdvance(text) <= room.width();
    const bool heightFits = isTitle || metrics.height() <= room.height();
    return widthFits && heightFits;
}

} // namespace

int pixelsForPoints(double points)
{
    return int(std::lround(points * 96.0 / 72.0));
}

QFont tahoma(double points, bool bold)
{
    return makeFont({QStringLiteral("Tahoma"), QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans"),
                     QStringLiteral("Sans Serif")},
                    points, bold);
}

QFont msSerif(double points)
{
    return makeFont({QStringLiteral("MS Serif"), QStringLiteral("DejaVu Serif"), QStringLiteral("Nimbus Roman"),
                     QStringLiteral("Serif")},
                    points, false);
}

QFont msSansSerif(double points)
{
    return makeFont({QStringLiteral("MS Sans Serif"), QStringLiteral("DejaVu Sans"), QStringLiteral("Nimbus Sans"),
                     QStringLiteral("Sans Serif")},
                    points, false);
}

QFont arial(double points, bool bold)
{
    return makeFont({QStringLiteral("Arial"), QStringLiteral("Liberation Sans"), QStringLiteral("Nimbus Sans"),
                     QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")},
                    points, bold);
}

void fitText(QWidget *widget, const QString &widest)
{
    QFont font = widget->font();
    if (font.pixelSize() <= 0)
        font.setPixelSize(QFontInfo(font).pixelSize());
    // A narrower face of the same family keeps the text's height; try it first.
    if (!fitsWith(widget, font, widest)) {
        QFont narrower = font;
        narrower.setStretch(QFont::SemiCondensed);
        if (QFontMetrics(narrower).horizontalAdvance(widest) < QFontMetrics(font).horizontalAdvance(widest))
            font = narrower;
    }
    while (font.pixelSize() > kSmallestPixels && !fitsWith(widget, font, widest))
        font.setPixelSize(font.pixelSize() - 1);
    widget->setFont(font);
}

} // namespace uifonts

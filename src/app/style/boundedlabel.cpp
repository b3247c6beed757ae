#include "app/style/boundedlabel.h"

#include <QEvent>
#include <QPainter>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

BoundedLabel::BoundedLabel(int maxLines, QWidget *parent) : QLabel(parent), m_maxLines(std::max(1, maxLines))
{
    QLabel::setTextFormat(Qt::PlainText);
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void BoundedLabel::setText(const QString &text)
{
    if (text == this->text())
        return;
    QLabel::setText(text);
    updateWholeText();
    updateGeometry();
}

void BoundedLabel::setHintWidth(int pixels)
{
    m_hintWidth = std::max(0, pixels);
    updateGeometry();
}

int BoundedLabel::textWidth() const
{
    return contentsRect().width() - 2 * margin();
}

BoundedLabel::Lines BoundedLabel::layOut(int width) const
{
    Lines out;
    if (text().isEmpty() || width <= 0)
        return out;
    QString flowing = text();
    flowing.replace(QLatin1Char('\n'), QChar::LineSeparator);
    QTextLayout layout(flowing, font());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    const QFontMetrics metrics(font());
    layout.beginLayout();
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        if (out.lines.size() == m_maxLines - 1) {
            // The last line the room holds takes the rest, cut when longer.
            const QString rest = flowing.mid(line.textStart()).replace(QChar::LineSeparator, QLatin1Char(' ')).trimmed();
            const QString shown = metrics.elidedText(rest, Qt::ElideRight, width);
            out.cut = shown != rest;
            out.lines << shown;
            break;
        }
        out.lines << flowing.mid(line.textStart(), line.textLength()).remove(QChar::LineSeparator).trimmed();
    }
    layout.endLayout();
    return out;
}

bool BoundedLabel::isCut() const
{
    return layOut(textWidth()).cut;
}

QStringList BoundedLabel::shownLines() const
{
    return layOut(textWidth()).lines;
}

void BoundedLabel::updateWholeText()
{
    const bool cut = isCut();
    m_shownCut = cut;
    const QString whole = cut ? text() : QString();
    if (toolTip() != whole)
        setToolTip(whole);
    if (accessibleDescription() != whole)
        setAccessibleDescription(whole);
}

QSize BoundedLabel::minimumSizeHint() const
{
    const QMargins frame = contentsMargins();
    const int extraWidth = frame.left() + frame.right() + 2 * margin();
    const int extraHeight = frame.top() + frame.bottom() + 2 * margin();
    const QFontMetrics metrics(font());
    return QSize(metrics.horizontalAdvance(QStringLiteral("Wwwww\u2026")) + extraWidth,
                 m_maxLines * metrics.lineSpacing() + extraHeight);
}

QSize BoundedLabel::sizeHint() const
{
    const QSize least = minimumSizeHint();
    const QMargins frame = contentsMargins();
    const int extraWidth = frame.left() + frame.right() + 2 * margin();
    // Measured as the text is laid out, fractions of a pixel rounded up: a
    // pixel short would cut it.
    const QFontMetricsF metrics(font());
    qreal natural = 0;
    for (const QString &line : text().split(QLatin1Char('\n')))
        natural = std::max(natural, metrics.horizontalAdvance(line));
    const int width = std::min(int(std::ceil(natural)) + 1, m_hintWidth) + extraWidth;
    return QSize(std::max(least.width(), width), least.height());
}

int BoundedLabel::heightForWidth(int width) const
{
    Q_UNUSED(width);
    return sizeHint().height();
}

void BoundedLabel::paintEvent(QPaintEvent *event)
{
    Q_UNUSED(event);
    QPainter painter(this);
    drawFrame(&painter);
    const QRect room = contentsRect().adjusted(margin(), margin(), -margin(), -margin());
    const Lines shown = layOut(room.width());
    // A text set through QLabel's own setText is measured here.
    if (shown.cut != m_shownCut || (shown.cut && toolTip() != text()))
        updateWholeText();
    if (shown.lines.isEmpty())
        return;
    const QPalette::ColorGroup group = !isEnabled() ? QPalette::Disabled
                                     : isActiveWindow() ? QPalette::Active : QPalette::Inactive;
    painter.setPen(palette().color(group, foregroundRole()));
    painter.setFont(font());
    const int pitch = fontMetrics().lineSpacing();
    const int used = int(shown.lines.size()) * pitch;
    int top = room.top();
    if (alignment() & Qt::AlignVCenter)
        top += (room.height() - used) / 2;
    else if (alignment() & Qt::AlignBottom)
        top += room.height() - used;
    const Qt::Alignment across = (alignment() & Qt::AlignHorizontal_Mask) | Qt::AlignVCenter;
    for (const QString &line : shown.lines) {
        painter.drawText(QRect(room.left(), top, room.width(), pitch), int(across), line);
        top += pitch;
    }
}

void BoundedLabel::resizeEvent(QResizeEvent *event)
{
    QLabel::resizeEvent(event);
    updateWholeText();
}

void BoundedLabel::changeEvent(QEvent *event)
{
    QLabel::changeEvent(event);
    if (event->type() == QEvent::FontChange) {
        updateWholeText();
        updateGeometry();
    }
}

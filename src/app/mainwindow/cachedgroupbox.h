#pragma once

#include <QEvent>
#include <QGroupBox>
#include <QPainter>
#include <QPixmap>
#include <QTimer>

// A group box that keeps a picture of itself: its frame and title drawn on the
// window's background. A label without a background of its own that changes
// inside the box (the value displays, with every reading) makes the box paint
// the part beneath it again; from the picture that is one copy, where the
// style would measure the title and draw frame and title once more.
//
// The picture is taken right after a paint that found none or one that no
// longer fits (size, pixel ratio, title, or any change of palette, font, style
// or state); until then, and for a box whose parent paints a background of
// another colour, the box paints itself as every group box does.
class CachedGroupBox : public QGroupBox
{
public:
    using QGroupBox::QGroupBox;

    bool hasPicture() const { return !m_picture.isNull(); }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        if (m_taking || !pictureFits()) {
            QGroupBox::paintEvent(event);
            if (!m_taking && !m_takePending && cacheable()) {
                m_takePending = true;
                QTimer::singleShot(0, this, [this] { takePicture(); });
            }
            return;
        }
        QPainter painter(this);
        painter.drawPixmap(0, 0, m_picture);
    }

    void changeEvent(QEvent *event) override
    {
        m_picture = QPixmap();
        QGroupBox::changeEvent(event);
    }

    void resizeEvent(QResizeEvent *event) override
    {
        m_picture = QPixmap();
        QGroupBox::resizeEvent(event);
    }

private:
    bool pictureFits() const
    {
        return !m_picture.isNull() && m_picture.devicePixelRatio() == devicePixelRatio()
            && m_picture.deviceIndependentSize() == QSizeF(size()) && m_title == title()
            && m_active == isActiveWindow() && m_flat == isFlat()
            && m_alignment == alignment();
    }

    // A checkable box changes with the mouse and the focus: it paints itself.
    bool cacheable() const { return !isCheckable() && onPlainBackground(); }

    // The picture is taken on this box's own window colour: that must be what
    // shows through it, the colour of the nearest parent that paints one.
    bool onPlainBackground() const
    {
        const QBrush &own = palette().brush(backgroundRole());
        if (own.style() != Qt::SolidPattern || !own.isOpaque())
            return false;
        for (const QWidget *parent = parentWidget(); parent; parent = parent->parentWidget()) {
            if (parent->autoFillBackground() || parent->isWindow())
                return parent->palette().brush(parent->backgroundRole()) == own;
        }
        return false;
    }

    void takePicture()
    {
        m_takePending = false;
        if (!isVisible() || pictureFits() || !cacheable())
            return;
        QPixmap picture((QSizeF(size()) * devicePixelRatio()).toSize());
        picture.setDevicePixelRatio(devicePixelRatio());
        m_taking = true;
        // The box alone, on its window colour; its children paint themselves.
        render(&picture, QPoint(), QRegion(), QWidget::DrawWindowBackground);
        m_taking = false;
        m_picture = picture;
        m_title = title();
        m_active = isActiveWindow();
        m_flat = isFlat();
        m_alignment = alignment();
    }

    QPixmap m_picture;
    QString m_title;
    bool m_active = false;
    bool m_flat = false;
    Qt::Alignment m_alignment;
    bool m_taking = false;
    bool m_takePending = false;
};

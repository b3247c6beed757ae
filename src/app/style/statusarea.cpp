#include "app/style/statusarea.h"

#include "app/style/boundedlabel.h"
#include "app/style/uifonts.h"
#include "app/style/warninglabel.h"

#include <QAccessible>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

StatusArea::StatusArea(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("statusArea"));
    auto *rows = new QVBoxLayout(this);
    rows->setContentsMargins(2, 0, 2, 0);
    rows->setSpacing(1);
    // The widget's minimum is its own (minimumSizeHint), not the row's.
    rows->setSizeConstraint(QLayout::SetNoConstraint);

    m_message = new BoundedLabel(2, this);
    m_message->setObjectName(QStringLiteral("statusLine"));
    m_message->setFont(uifonts::tahoma(12, true));
    m_message->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    rows->addWidget(m_message);

    m_indicators = new QHBoxLayout;
    m_indicators->setSpacing(10);
    m_cellCount = new QLabel(this);
    m_cellCount->setObjectName(QStringLiteral("sessionCellCount"));
    m_cellCount->hide();
    m_indicators->addWidget(m_cellCount);
    m_indicators->addStretch(1);
    rows->addLayout(m_indicators);
}

void StatusArea::showMessage(const QString &text, Tone tone)
{
    QPalette palette = m_message->palette();
    const QColor colour = tone == Tone::Attention ? warningColour()
                        : tone == Tone::Good      ? QColor(0x00, 0x70, 0x00)
                                                  : parentWidget() ? parentWidget()->palette().color(QPalette::WindowText)
                                                                   : palette.color(QPalette::WindowText);
    palette.setColor(QPalette::WindowText, colour);
    m_message->setPalette(palette);
    m_message->setText(text);
    if (text.isEmpty())
        return;
    // Sent only while a screen reader listens.
    QAccessibleEvent alert(m_message, QAccessible::Alert);
    QAccessible::updateAccessibility(&alert);
    Q_EMIT announced(text);
}

void StatusArea::showCellCount(int cells)
{
    m_cellCount->setText(tr("%n cell(s) counted this session", nullptr, cells));
    m_cellCount->show();
}

void StatusArea::addIndicator(QWidget *indicator, Place place)
{
    indicator->setParent(this);
    m_indicators->insertWidget(m_indicators->count() - m_lastIndicators, indicator);
    if (place == Place::Last)
        ++m_lastIndicators;
}

BoundedLabel *StatusArea::addTextIndicator(const QString &objectName, int maxWidth)
{
    auto *label = new BoundedLabel(1, this);
    label->setObjectName(objectName);
    label->setHintWidth(maxWidth);
    label->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    addIndicator(label);
    return label;
}

QSize StatusArea::sizeHint() const
{
    // The height the layout needs; the width the window's client area gives.
    return QSize(0, QWidget::sizeHint().height());
}

QSize StatusArea::minimumSizeHint() const
{
    return QSize(0, QWidget::minimumSizeHint().height());
}

#pragma once

// What a screen reader finds in a window: every visible control and every
// widget that shows something (text, a picture, a figure) must have a name
// that says something in words.

#include <QAbstractScrollArea>
#include <QAccessible>
#include <QLabel>
#include <QRegularExpression>
#include <QStringList>
#include <QWidget>

namespace accessiblenames {

inline bool isControl(QAccessible::Role role)
{
    switch (role) {
    case QAccessible::PushButton:
    case QAccessible::CheckBox:
    case QAccessible::RadioButton:
    case QAccessible::EditableText:
    case QAccessible::ComboBox:
    case QAccessible::SpinBox:
    case QAccessible::Slider:
    case QAccessible::MenuItem:
        return true;
    default:
        return false;
    }
}

// Shows something a sighted operator reads: text, a picture, a figure.
inline bool isInformative(QAccessibleInterface *iface)
{
    if (const auto *label = qobject_cast<QLabel *>(iface->object()))
        return !label->text().isEmpty() || !label->pixmap().isNull();
    switch (iface->role()) {
    case QAccessible::Graphic:
    case QAccessible::ProgressBar:
    case QAccessible::Table:
    case QAccessible::Chart:
        return true;
    default:
        return qobject_cast<QAbstractScrollArea *>(iface->object()) != nullptr;
    }
}

// A name says something in words: not empty, not a bare number or dash, not
// the control's inventory name.
inline bool isMeaningful(QAccessibleInterface *iface)
{
    static const QRegularExpression word(QStringLiteral("[A-Za-z]{2,}"));
    const QString name = iface->text(QAccessible::Name).trimmed();
    const QObject *object = iface->object();
    return name.contains(word) && (!object || name != object->objectName());
}

// Every visible control or informative widget below iface without a meaningful
// name, as "objectName (role): name".
inline void collectUnnamed(QAccessibleInterface *iface, QStringList &unnamed, int &visited)
{
    if (!iface || !iface->isValid() || iface->state().invisible)
        return;
    ++visited;
    const bool focusable = iface->state().focusable;
    if ((focusable || isControl(iface->role()) || isInformative(iface)) && !isMeaningful(iface)) {
        unnamed << QStringLiteral("%1 (role %2): \"%3\"")
                       .arg(iface->object() ? iface->object()->objectName() : QStringLiteral("?"))
                       .arg(int(iface->role()))
                       .arg(iface->text(QAccessible::Name));
    }
    // A table's cells and a chart's items are read through their table or chart.
    if (iface->role() == QAccessible::Table || qobject_cast<QAbstractScrollArea *>(iface->object()))
        return;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), unnamed, visited);
}

inline QStringList unnamedIn(QWidget *window, int *visited)
{
    QStringList unnamed;
    *visited = 0;
    collectUnnamed(QAccessible::queryAccessibleInterface(window), unnamed, *visited);
    return unnamed;
}

} // namespace accessiblenames

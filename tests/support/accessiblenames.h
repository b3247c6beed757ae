#pragma once

// What a screen reader finds in a window: every visible control and every
// widget that shows something (text, a picture, a figure) must have a name
// that says something in words, and a label's name holds the text it shows.

#include <QAbstractItemView>
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

// What a sighted operator reads on a label, as one line: its text without the
// mnemonic's "&", blanks and line breaks run together.
inline QString shownText(const QLabel *label)
{
    QString text = label->text();
    if (label->buddy())
        text.replace(QRegularExpression(QStringLiteral("&(.)")), QStringLiteral("\\1"));
    return text.simplified();
}

// Every visible control or informative widget below iface without a meaningful
// name, as "objectName class (role): name"; every label whose name leaves out
// the text it shows (a screen reader then never reads that text), as
// "objectName hides "text" behind "name"".
inline void collectUnnamed(QAccessibleInterface *iface, QStringList &unnamed, int &visited, bool insideView = false)
{
    if (!iface || !iface->isValid() || iface->state().invisible)
        return;
    ++visited;
    const bool focusable = iface->state().focusable;
    // Inside a chart or text view only what takes the focus is a control.
    const bool checked = insideView ? focusable : (focusable || isControl(iface->role()) || isInformative(iface));
    if (checked && !isMeaningful(iface)) {
        const QObject *object = iface->object();
        unnamed << QStringLiteral("%1 (role %2): \"%3\"")
                       .arg(object ? object->objectName() + QLatin1Char(' ') + QLatin1String(object->metaObject()->className())
                                   : QStringLiteral("?"))
                       .arg(int(iface->role()))
                       .arg(iface->text(QAccessible::Name));
    }
    if (const auto *label = qobject_cast<QLabel *>(iface->object())) {
        const QString shown = shownText(label);
        const QString name = iface->text(QAccessible::Name).simplified();
        // A dash between two limits may be read as "to".
        static const QRegularExpression words(QStringLiteral("\\w"));
        if (label->textFormat() != Qt::RichText && shown.contains(words) && !name.contains(shown))
            unnamed << QStringLiteral("%1 hides \"%2\" behind \"%3\"").arg(label->objectName(), shown, name);
    }
    // A table's cells are read through their table; a chart's items through
    // the chart's description.
    if (iface->role() == QAccessible::Table || qobject_cast<QAbstractItemView *>(iface->object()))
        return;
    const bool view = insideView || qobject_cast<QAbstractScrollArea *>(iface->object()) != nullptr;
    for (int i = 0; i < iface->childCount(); ++i)
        collectUnnamed(iface->child(i), unnamed, visited, view);
}

inline QStringList unnamedIn(QWidget *window, int *visited)
{
    QStringList unnamed;
    *visited = 0;
    collectUnnamed(QAccessible::queryAccessibleInterface(window), unnamed, *visited);
    return unnamed;
}

} // namespace accessiblenames

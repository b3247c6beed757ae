#pragma once

#include <QRect>
#include <QString>
#include <QStringList>
#include <QWidget>

namespace geometrycheck {

// The visible controls placed directly on `parent` (menus and other windows
// excluded).
inline QList<QWidget *> placedChildren(const QWidget *parent)
{
    QList<QWidget *> placed;
    for (QWidget *child : parent->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (!child->isWindow() && !child->objectName().isEmpty())
            placed.append(child);
    }
    return placed;
}

// Problems with the placement of `parent`'s controls: a control that leaves
// the parent's rectangle, or two shown controls that cover each other (a
// hidden notice may lie over controls it is meant to cover when shown).
inline QStringList placementProblems(const QWidget *parent)
{
    QStringList problems;
    const QList<QWidget *> children = placedChildren(parent);
    const QRect room(QPoint(0, 0), parent->size());
    for (int i = 0; i < children.size(); ++i) {
        const QRect here = children[i]->geometry();
        if (!room.contains(here))
            problems << QStringLiteral("%1 leaves %2").arg(children[i]->objectName(), parent->objectName());
        for (int j = i + 1; j < children.size(); ++j) {
            if (!children[i]->isVisibleTo(parent) || !children[j]->isVisibleTo(parent))
                continue;
            if (here.intersects(children[j]->geometry()))
                problems << QStringLiteral("%1 overlaps %2").arg(children[i]->objectName(),
                                                                 children[j]->objectName());
        }
    }
    return problems;
}

} // namespace geometrycheck

#include "support/WindowItems.h"

#include <QQuickItem>
#include <QQuickWindow>
#include <QTest>

namespace WindowItems {

QQuickItem *find(QQuickItem *root, const QString &objectName)
{
    if (root->objectName() == objectName)
        return root;
    const QList<QQuickItem *> children = root->childItems();
    for (QQuickItem *child : children) {
        if (QQuickItem *found = find(child, objectName))
            return found;
    }
    return nullptr;
}

QQuickItem *find(QQuickWindow *window, const QString &objectName)
{
    return find(window->contentItem(), objectName);
}

bool click(QQuickWindow *window, QQuickItem *target)
{
    if (!target)
        return false;
    const QPointF centre = target->mapToScene(QPointF(target->width() / 2, target->height() / 2));
    QTest::mouseClick(window, Qt::LeftButton, Qt::NoModifier, centre.toPoint());
    return true;
}

} // namespace WindowItems

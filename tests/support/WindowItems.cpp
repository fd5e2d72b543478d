#include "support/WindowItems.h"

#include <QAbstractItemModel>
#include <QDir>
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

QQuickItem *listItem(QQuickItem *list, int row)
{
    QQuickItem *item = nullptr;
    if (list)
        QMetaObject::invokeMethod(list, "itemAtIndex", Q_RETURN_ARG(QQuickItem *, item),
                                  Q_ARG(int, row));
    return item;
}

QVariant setupField(QQuickWindow *window, int row, const char *role)
{
    auto *rows = qobject_cast<QAbstractItemModel *>(
        find(window, QStringLiteral("setupView"))->property("preampSetupModel").value<QObject *>());
    return rows ? rows->data(rows->index(row, 0), rows->roleNames().key(role)) : QVariant();
}

bool saveShot(QQuickWindow *window, const QString &name)
{
    const QString folder = qEnvironmentVariable("OCTO_SCREENSHOT_DIR");
    return folder.isEmpty() || window->grabWindow().save(QDir(folder).filePath(name));
}

} // namespace WindowItems

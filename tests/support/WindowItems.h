#pragma once

class QQuickItem;
class QQuickWindow;
class QString;

// Finding and pressing the window's items as an operator would, for the suites and the
// benchmarks that drive the real window.
namespace WindowItems {

// Depth-first through the visual tree: items made by a Repeater have no object parent, so
// findChild does not reach them.
QQuickItem *find(QQuickItem *root, const QString &objectName);
QQuickItem *find(QQuickWindow *window, const QString &objectName);
// A left click in the item's centre; false (and nothing clicked) without an item.
bool click(QQuickWindow *window, QQuickItem *target);

} // namespace WindowItems

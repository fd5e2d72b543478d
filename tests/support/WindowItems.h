#pragma once

class QQuickItem;
class QQuickWindow;
class QString;
class QVariant;

// Finding and pressing the window's items as an operator would, for the suites and the
// benchmarks that drive the real window.
namespace WindowItems {

// Depth-first through the visual tree: items made by a Repeater have no object parent, so
// findChild does not reach them.
QQuickItem *find(QQuickItem *root, const QString &objectName);
QQuickItem *find(QQuickWindow *window, const QString &objectName);
// A left click in the item's centre; false (and nothing clicked) without an item.
bool click(QQuickWindow *window, QQuickItem *target);
// The delegate a list view (ListView) shows for this row; null without one.
QQuickItem *listItem(QQuickItem *list, int row);
// A field of a row of the setup list, by role name; invalid past the last row.
QVariant setupField(QQuickWindow *window, int row, const char *role);
// A picture of the window into the folder OCTO_SCREENSHOT_DIR names (scripts/screenshots.sh);
// true, and nothing saved, without that folder.
bool saveShot(QQuickWindow *window, const QString &name);

} // namespace WindowItems

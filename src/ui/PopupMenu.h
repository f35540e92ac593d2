#pragma once
// Shows a popup menu and waits for the choice. Tests replace the person with
// an answer function.

#include <QPoint>

#include <functional>

class QAction;
class QMenu;

namespace orv::ui {

// The chosen action, or nullptr when the menu was dismissed.
QAction* ExecPopupMenu(QMenu& menu, const QPoint& globalPos);

// While set, ExecPopupMenu calls `answer` instead of showing the menu.
void SetPopupMenuAnswer(std::function<QAction*(QMenu&)> answer);

} // namespace orv::ui

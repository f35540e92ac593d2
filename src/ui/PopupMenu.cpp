#include "PopupMenu.h"

#include <QMenu>

namespace orv::ui {
namespace {
std::function<QAction*(QMenu&)>& answerSlot() {
    static std::function<QAction*(QMenu&)> answer;
    return answer;
}
} // namespace

QAction* ExecPopupMenu(QMenu& menu, const QPoint& globalPos) {
    if (const auto& answer = answerSlot()) {
        return answer(menu);
    }
    return menu.exec(globalPos);
}

void SetPopupMenuAnswer(std::function<QAction*(QMenu&)> answer) {
    answerSlot() = std::move(answer);
}

} // namespace orv::ui

#include "LanguageMenuAdapter.h"

namespace orv {

LanguageMenuAdapter::LanguageMenuAdapter(QMenu& menu)
    : m_menu(menu), m_group(new QActionGroup(&menu)) {
    m_group->setExclusive(true);
    for (QAction* action : m_menu.actions()) {
        action->setCheckable(true);
        m_group->addAction(action);
    }
}

void LanguageMenuAdapter::ReplaceFirstItem(int command, const std::wstring& text) {
    const auto actions = m_menu.actions();
    if (actions.isEmpty()) {
        AppendItem(command, text);
        return;
    }
    actions.front()->setText(QString::fromStdWString(text));
    actions.front()->setData(command);
}

void LanguageMenuAdapter::AppendItem(int command, const std::wstring& text) {
    QAction* action = m_menu.addAction(QString::fromStdWString(text));
    action->setData(command);
    action->setCheckable(true);
    m_group->addAction(action);
}

void LanguageMenuAdapter::CheckRadioItem(int first, int last, int command) {
    for (QAction* action : m_menu.actions()) {
        const int c = CommandOf(action);
        if (c >= first && c <= last) {
            action->setChecked(c == command);
        }
    }
}

int LanguageMenuAdapter::CommandOf(const QAction* action) {
    return action != nullptr ? action->data().toInt() : 0;
}

} // namespace orv

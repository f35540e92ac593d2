#pragma once
// Lets the language logic fill a Qt popup menu. Each action carries its
// command number as data; the language items form one exclusive group.

#include "lang/Language.h"

#include <QActionGroup>
#include <QMenu>

namespace orv {

class LanguageMenuAdapter : public ILanguageMenu {
public:
    explicit LanguageMenuAdapter(QMenu& menu);

    void ReplaceFirstItem(int command, const std::wstring& text) override;
    void AppendItem(int command, const std::wstring& text) override;
    void CheckRadioItem(int first, int last, int command) override;

    static int CommandOf(const QAction* action);

private:
    QMenu& m_menu;
    QActionGroup* m_group;
};

} // namespace orv

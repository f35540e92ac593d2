#pragma once
// Window texts by text id, in the current language or the English default.

#include <QString>

#include "lang/Language.h"

namespace orv::ui {

inline QString LangText(const wchar_t* id, const wchar_t* defaultText) {
    return QString::fromStdWString(TheLanguage().Text(id, defaultText));
}

} // namespace orv::ui

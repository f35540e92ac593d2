#pragma once
// The windows lay their controls out in fixed pixel rectangles sized for a
// compact dialog font; the application uses that size everywhere.

#include <QApplication>
#include <QFont>

namespace orv::ui {

inline constexpr int kDialogFontPoints = 8;

inline void ApplyDialogFont(QApplication& app) {
    QFont font = app.font();
    font.setPointSize(kDialogFontPoints);
    app.setFont(font);
}

} // namespace orv::ui

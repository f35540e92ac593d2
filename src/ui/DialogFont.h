#pragma once
// The windows lay their controls out in fixed pixel rectangles sized for a
// compact dialog font; the application uses that size everywhere.

#include <QApplication>
#include <QFont>
#include <QPushButton>
#include <QStyle>
#include <QWidget>

#include <algorithm>

namespace orv::ui {

inline constexpr int kDialogFontPoints = 8;

inline void ApplyDialogFont(QApplication& app) {
    QFont font = app.font();
    font.setPointSize(kDialogFontPoints);
    app.setFont(font);
}

// The width a label, button or check box needs to show its whole text in
// the current language, and at least `width`: the fixed rectangles are
// sized for the English texts.
inline int WidthForText(const QWidget* control, int width) {
    int needed = control->sizeHint().width();
    if (const auto* button = qobject_cast<const QPushButton*>(control)) {
        // A push button's hint leaves its text no margin in some styles.
        const int margin = button->style()->pixelMetric(QStyle::PM_ButtonMargin, nullptr, button);
        needed = std::max(needed,
                          button->fontMetrics().horizontalAdvance(button->text()) + 2 * margin + 2);
    }
    return std::max(width, needed);
}

} // namespace orv::ui

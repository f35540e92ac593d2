#pragma once
// The windows use a compact dialog font unless the person chose a larger one
// for the desktop; the widths the pages were drawn with are for that compact
// font and grow with a larger one.

#include <QApplication>
#include <QFont>
#include <QFontMetrics>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace orv::ui {

inline constexpr int kDialogFontPoints = 8;
// From this size on the desktop's font is a person's choice (poor sight, a
// large screen far away) and stays.
inline constexpr int kLargeFontPoints = 12;

inline void ApplyDialogFont(QApplication& app) {
    QFont font = app.font();
    if (font.pointSize() >= kLargeFontPoints) {
        return;
    }
    font.setPointSize(kDialogFontPoints);
    app.setFont(font);
}

// How much wider `w`'s font writes than the dialog font.
inline double FontScale(const QWidget* w) {
    QFont dialog = w->font();
    dialog.setPointSize(kDialogFontPoints);
    const int designed = QFontMetrics(dialog).averageCharWidth();
    return std::max(1.0, static_cast<double>(w->fontMetrics().averageCharWidth()) /
                             std::max(1, designed));
}

// Fixes a field's width: `designWidth` pixels at the dialog font, grown with
// a larger font, and room for `longest` whole (an address, a port).
inline void FixWidth(QWidget* w, int designWidth, const QString& longest = {}) {
    const int grown = static_cast<int>(std::lround(designWidth * FontScale(w)));
    // The frame and the inner margins of an edit or a closed list.
    const int text = longest.isEmpty() ? 0 : w->fontMetrics().horizontalAdvance(longest) + 14;
    w->setFixedWidth(std::max(grown, text));
}

} // namespace orv::ui

#include "SortListRules.h"

#include <algorithm>

namespace orv::ui {

namespace {

const QString kEllipsis = QStringLiteral("...");

// The mark keeps this distance from the item's right edge when the item is
// wide enough, so it does not touch the divider.
constexpr int kMarkWidth = 8;
constexpr int kMarkHeight = 7;
constexpr int kMarkRightMargin = 6;

} // namespace

QString CutTextToWidth(const QString& text, int width,
                       const std::function<int(const QString&)>& measure) {
    if (measure(text) <= width) {
        return text;
    }
    // A longer beginning is never narrower than a shorter one, so the longest
    // beginning that fits is found by halving instead of trying every length.
    qsizetype fits = 0;
    qsizetype tooLong = text.size();
    while (tooLong - fits > 1) {
        const qsizetype mid = fits + (tooLong - fits) / 2;
        if (measure(text.left(mid) + kEllipsis) <= width) {
            fits = mid;
        } else {
            tooLong = mid;
        }
    }
    if (fits > 0 && text.at(fits - 1).isHighSurrogate()) {
        --fits;
    }
    return text.left(fits) + kEllipsis;
}

QRect SortMarkRect(const QRect& section) {
    if (section.width() < kMarkWidth) {
        return {};
    }
    const int left = std::max(section.left(), section.right() - kMarkRightMargin - kMarkWidth + 1);
    const int top = section.top() + (section.height() - kMarkHeight) / 2;
    return {left, top, kMarkWidth, kMarkHeight};
}

int HeaderWidthFor(int textWidth) {
    // The text ends 2 pixels before the mark.
    return kHeaderTextIndent + textWidth + 2 + kMarkWidth + kMarkRightMargin;
}

} // namespace orv::ui

#pragma once
// Drawing rules of the sortable list that need no window: how a cell text
// is cut to its column and where the header draws its sort mark.

#include <QRect>
#include <QString>

#include <functional>

namespace orv::ui {

// The text as it fits into width pixels: unchanged when it fits, otherwise
// its longest beginning that still fits with "..." appended (only "..." when
// nothing does). measure gives a text's width in pixels. A surrogate pair is
// never split.
QString CutTextToWidth(const QString& text, int width,
                       const std::function<int(const QString&)>& measure);

// Where the header draws the sort mark inside a header item: an 8x7 box at
// the item's right end, vertically centred; an empty rectangle when the item
// is narrower than the mark.
QRect SortMarkRect(const QRect& section);

// The header's text keeps this distance from the item's edges.
inline constexpr int kHeaderTextIndent = 6;
// The width a header item needs to show a title `textWidth` pixels wide
// whole beside its sort mark.
int HeaderWidthFor(int textWidth);

} // namespace orv::ui

#pragma once
// Rules of the sortable list that need no window: how a cell text is cut to
// its column, how two cell texts compare and in which order rows end up.
// The list control applies them; tests drive them directly.

#include <QCollator>
#include <QRect>
#include <QString>

#include <functional>
#include <vector>

namespace orv::ui {

// The form in which a cell text takes part in a text comparison: blanks at
// both ends removed, upper case.
QString SortKeyText(const QString& text);

// Locale-aware comparison of two cell texts in their sort-key form; -1, 0 or 1.
// "abc" and "ABC " compare equal.
int CompareSortTexts(const QString& left, const QString& right, const QCollator& collator);

// Row order after a sort: the row indices 0..rowCount-1 rearranged so that
// compare(a, b) < 0 puts a before b. Descending swaps the operands rather
// than reversing the result, so rows that compare equal keep their relative
// order in both directions.
std::vector<int> SortedRowOrder(int rowCount, bool ascending,
                                const std::function<int(int, int)>& compare);

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

} // namespace orv::ui

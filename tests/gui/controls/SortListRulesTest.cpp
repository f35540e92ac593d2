// Rules of the sortable list that need no window: cutting texts to a width,
// comparing cell texts, the order of rows after a sort, where the sort mark goes.

#include "ui/controls/SortListRules.h"

#include <QFont>
#include <QFontMetrics>
#include <QLocale>

#include <gtest/gtest.h>

namespace orv::ui {
namespace {

// Every character 10 pixels wide, so widths are easy to reason about.
int TenPerChar(const QString& text) {
    return static_cast<int>(text.size()) * 10;
}

TEST(CutTextToWidth, KeepsFittingTextsAndCutsOthersToTheLongestBeginningThatFits) {
    EXPECT_EQ(CutTextToWidth("abcd", 40, TenPerChar), "abcd");
    EXPECT_EQ(CutTextToWidth("", 0, TenPerChar), "");
    EXPECT_EQ(CutTextToWidth("abcdefgh", 79, TenPerChar), "abcd...");
    EXPECT_EQ(CutTextToWidth("abcdefgh", 60, TenPerChar), "abc...");
    // Room for the dots only, or not even for them.
    EXPECT_EQ(CutTextToWidth("abcdefgh", 35, TenPerChar), "...");
    EXPECT_EQ(CutTextToWidth("abcdefgh", 5, TenPerChar), "...");
    EXPECT_EQ(CutTextToWidth("abcdefgh", -3, TenPerChar), "...");
}

TEST(CutTextToWidth, NeverSplitsASurrogatePair) {
    // "ab", one emoji (two UTF-16 units), "cdef": 60 pixels would end the
    // beginning in the middle of the emoji.
    const QString text = QStringLiteral("ab") + QString::fromUcs4(U"\U0001F600") + "cdef";
    EXPECT_EQ(CutTextToWidth(text, 60, TenPerChar), "ab...");
    EXPECT_EQ(CutTextToWidth(text, 70, TenPerChar), text.left(4) + "...");
}

TEST(CutTextToWidth, WithARealFontTheResultFitsAndOneMoreCharacterWouldNot) {
    const QFontMetrics metrics{QFont("DejaVu Sans", 9)};
    const auto measure = [&](const QString& t) { return metrics.horizontalAdvance(t); };
    const QString text = "Wide and iiiiiii narrow letters MMMM in one long camera name";
    for (int width = 10; width < measure(text); width += 7) {
        const QString cut = CutTextToWidth(text, width, measure);
        ASSERT_TRUE(cut.endsWith("...")) << width;
        const QString kept = cut.chopped(3);
        ASSERT_TRUE(text.startsWith(kept)) << width;
        if (measure("...") <= width) {
            EXPECT_LE(measure(cut), width) << width;
        }
        EXPECT_GT(measure(text.left(kept.size() + 1) + "..."), width) << width;
    }
}

TEST(CompareSortTexts, IgnoresCaseAndSurroundingBlanksAndAnswersMinusOneZeroOrOne) {
    const QCollator collator{QLocale::c()};
    EXPECT_EQ(CompareSortTexts("abc", "ABC ", collator), 0);
    EXPECT_EQ(CompareSortTexts("  Camera\t", "camera", collator), 0);
    EXPECT_EQ(CompareSortTexts("a", "zzzz", collator), -1);
    EXPECT_EQ(CompareSortTexts("zzzz", " a", collator), 1);
    // Inner blanks count.
    EXPECT_NE(CompareSortTexts("a b", "ab", collator), 0);
    EXPECT_EQ(SortKeyText("  mixed Case "), "MIXED CASE");
}

TEST(CompareSortTexts, FollowsTheCollationOfTheLocale) {
    // In German, A with umlaut sorts with A; by code point it comes after Z.
    const QString umlaut = QString::fromUtf8("\xC3\xA4pfel");
    EXPECT_LT(CompareSortTexts(umlaut, "Birne", QCollator{QLocale(QLocale::German)}), 0);
    EXPECT_GT(CompareSortTexts(umlaut, "Zebra", QCollator{QLocale::c()}), 0);
    // Swedish puts it after Z.
    EXPECT_GT(CompareSortTexts(umlaut, "Zebra", QCollator{QLocale(QLocale::Swedish)}), 0);
}

TEST(SortedRowOrder, AscendingDescendingAndTies) {
    const std::vector<int> keys{30, 10, 20, 10, 40};
    const auto compare = [&](int a, int b) {
        return (keys[static_cast<std::size_t>(a)] > keys[static_cast<std::size_t>(b)]) -
               (keys[static_cast<std::size_t>(a)] < keys[static_cast<std::size_t>(b)]);
    };
    EXPECT_EQ(SortedRowOrder(5, true, compare), (std::vector<int>{1, 3, 2, 0, 4}));
    // Equal rows keep their order in both directions.
    EXPECT_EQ(SortedRowOrder(5, false, compare), (std::vector<int>{4, 0, 2, 1, 3}));
    EXPECT_TRUE(SortedRowOrder(0, true, compare).empty());
}

TEST(SortMarkRect, SitsAtTheRightEndVerticallyCentredAndNeedsEightPixels) {
    EXPECT_TRUE(SortMarkRect(QRect(0, 0, 7, 20)).isNull());
    const QRect narrow = SortMarkRect(QRect(50, 0, 8, 20));
    EXPECT_EQ(narrow, QRect(50, 6, 8, 7));

    const QRect section(100, 2, 120, 21);
    const QRect mark = SortMarkRect(section);
    EXPECT_EQ(mark.size(), QSize(8, 7));
    EXPECT_TRUE(section.contains(mark));
    EXPECT_GT(mark.left(), section.center().x());
    EXPECT_LE(section.right() - mark.right(), 8);
    EXPECT_LE(std::abs(mark.center().y() - section.center().y()), 1);
}

} // namespace
} // namespace orv::ui

// The sortable check-box list as a user meets it: clicks on rows and header
// items, Ctrl+A and the space bar, the colours of selected rows, the sort mark,
// and sorting with the text rule and with a derived list's own column rule.

#include "ui/controls/SortListCtrl.h"
#include "ModelTesterGuard.h"
#include "ui/controls/SortListRules.h"

#include <QDir>
#include <QImage>
#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace orv::ui {
namespace {

const QColor kSelectedRow(132, 192, 252);
const QColor kHighlightedCell(115, 186, 226);

// A list whose column 1 holds numbers, as a device list's IP column does, and
// whose header clicks sort through that rule and then renumber column 2.
class CNumberedListCtrl : public CSortListCtrl {
public:
    CNumberedListCtrl() {
        connect(this, &CSortListCtrl::sorted, this, [this] {
            for (int row = 0; row < GetItemCount(); ++row) {
                SetItemText(row, 2, QString::number(row + 1));
            }
        });
    }

protected:
    int CompareColumn(int column, const QString& left, const QString& right) const override {
        if (column != 1) {
            return CSortListCtrl::CompareColumn(column, left, right);
        }
        return (left.trimmed().toInt() > right.trimmed().toInt()) -
               (left.trimmed().toInt() < right.trimmed().toInt());
    }
    void OnHeaderClick(int column) override {
        const bool ascending =
            column != GetHeaderCtrl()->GetSortColumn() || !GetHeaderCtrl()->IsSortAscending();
        SortByColumnWithRule(column, ascending);
    }
};

template <class List>
class ListFixture : public ::testing::Test {
protected:
    void SetUp() override {
        m_list->InsertColumn(0, "", Qt::AlignHCenter, 24);
        m_list->InsertColumn(1, "Name", Qt::AlignLeft, 110);
        m_list->InsertColumn(2, "No.", Qt::AlignRight, 50);
        m_list->InsertColumn(3, "Model", Qt::AlignLeft, 90);
        m_list->resize(320, 200);
        m_list->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(m_list.get()));
    }
    void TearDown() override {
        EXPECT_TRUE(test::ModelTesterGuard::Reports().isEmpty())
            << test::ModelTesterGuard::Reports().join('\n').toStdString();
    }

    void AddRows(const QStringList& names) {
        for (const QString& name : names) {
            const int row = m_list->InsertItem(m_list->GetItemCount(), "");
            m_list->SetItemText(row, 1, name);
            m_list->SetItemText(row, 2, QString::number(row + 1));
        }
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < m_list->GetItemCount(); ++row) {
            texts.append(m_list->GetItemText(row, column));
        }
        return texts;
    }
    QPoint CellCentre(int row, int column) const {
        return m_list->visualRect(m_list->GetModel()->index(row, column)).center();
    }
    void Click(int row, int column, Qt::MouseButton button = Qt::LeftButton,
               Qt::KeyboardModifiers modifiers = {}) {
        QTest::mouseClick(m_list->viewport(), button, modifiers, CellCentre(row, column));
    }
    void ClickHeader(int column) {
        CFlatHeaderCtrl* header = m_list->GetHeaderCtrl();
        const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                        header->height() / 2);
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, at);
    }
    QImage Viewport() const { return m_list->viewport()->grab().toImage(); }

    std::unique_ptr<List> m_list = std::make_unique<List>();
    test::ModelTesterGuard m_guard{m_list->GetModel()};
};

using SortListCtrlTest = ListFixture<CSortListCtrl>;
using NumberedListTest = ListFixture<CNumberedListCtrl>;

TEST_F(SortListCtrlTest, AClickAnywhereOnARowTogglesItsCheckBoxAndSelectsIt) {
    m_list->SetCheckBoxes(true);
    AddRows({"alpha", "bravo", "charlie"});
    QSignalSpy checks(m_list.get(), &CSortListCtrl::checkChanged);
    for (int column = 0; column < m_list->GetColumnCount(); ++column) {
        Click(1, column);
        EXPECT_TRUE(m_list->GetCheck(1)) << "column " << column;
        EXPECT_TRUE(m_list->IsItemSelected(1));
        Click(1, column);
        EXPECT_FALSE(m_list->GetCheck(1)) << "column " << column;
    }
    EXPECT_EQ(checks.count(), 8);
    EXPECT_EQ(m_list->GetClickedColumn(), 3);

    // The page sees the check first, then the selection, then the click.
    QStringList order;
    QObject::connect(m_list.get(), &CSortListCtrl::checkChanged, [&](int row, bool on, bool user) {
        order << QString("check %1 %2 %3").arg(row).arg(on).arg(user);
    });
    QObject::connect(m_list.get(), &CSortListCtrl::rowSelectionChanged,
                     [&](int row, bool on) { order << QString("select %1 %2").arg(row).arg(on); });
    QObject::connect(m_list.get(), &CSortListCtrl::itemClicked, [&](int row, int column) {
        order << QString("click %1 %2").arg(row).arg(column);
    });
    const QRect last = m_list->visualRect(m_list->GetModel()->index(2, 3));
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {}, last.topRight() + QPoint(-1, 1));
    QTest::keyClick(m_list.get(), Qt::Key_Space);
    m_list->SetCheck(0, true);
    EXPECT_EQ(order, (QStringList{"check 2 1 1", "select 1 0", "select 2 1", "click 2 3",
                                  "check 2 0 1", "check 0 1 0"}));
}

TEST_F(SortListCtrlTest, RightClicksDoubleClicksAndEmptySpaceChangeNoCheckBox) {
    m_list->SetCheckBoxes(true);
    AddRows({"alpha", "bravo"});
    QSignalSpy checks(m_list.get(), &CSortListCtrl::checkChanged);
    QSignalSpy rightClicks(m_list.get(), &CSortListCtrl::itemRightClicked);
    QSignalSpy clicks(m_list.get(), &CSortListCtrl::itemClicked);
    QSignalSpy doubleClicks(m_list.get(), &CSortListCtrl::itemDoubleClicked);

    Click(1, 2, Qt::RightButton);
    EXPECT_FALSE(m_list->GetCheck(1));
    EXPECT_TRUE(m_list->IsItemSelected(1));
    ASSERT_EQ(rightClicks.count(), 1);
    EXPECT_EQ(rightClicks.at(0).at(1).toInt(), 2);

    // Below the last row: nothing is hit.
    QTest::mouseClick(m_list->viewport(), Qt::LeftButton, {},
                      QPoint(40, m_list->viewport()->height() - 3));
    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks.at(0).at(0).toInt(), -1);
    EXPECT_EQ(m_list->GetClickedColumn(), -1);

    // The double-click event itself only reports; its first press has toggled.
    const QPoint at = CellCentre(0, 3);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, m_list->viewport()->mapToGlobal(at),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(m_list->viewport(), &dbl);
    EXPECT_EQ(checks.count(), 0);
    ASSERT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(doubleClicks.at(0).at(0).toInt(), 0);
    EXPECT_EQ(doubleClicks.at(0).at(1).toInt(), 3);

    // Without check boxes a left click only selects.
    m_list->SetCheckBoxes(false);
    Click(0, 1);
    EXPECT_TRUE(m_list->IsItemSelected(0));
    EXPECT_EQ(checks.count(), 0);
}

TEST_F(SortListCtrlTest, CtrlASelectsEveryRowUnlessOnlyOneRowMayBeSelected) {
    AddRows({"alpha", "bravo", "charlie"});
    Click(1, 1);
    QSignalSpy selection(m_list.get(), &CSortListCtrl::rowSelectionChanged);
    QTest::keyClick(m_list.get(), Qt::Key_A, Qt::ControlModifier);
    for (int row = 0; row < 3; ++row) {
        EXPECT_TRUE(m_list->IsItemSelected(row)) << row;
    }
    // Only the rows that were not selected before are reported.
    ASSERT_EQ(selection.count(), 2);
    EXPECT_EQ(selection.at(0).at(0).toInt() + selection.at(1).at(0).toInt(), 2);
    EXPECT_EQ(m_list->GetNextSelectedItem(0), 1);
    EXPECT_EQ(m_list->GetNextSelectedItem(2), -1);

    m_list->setSelectionMode(QAbstractItemView::SingleSelection);
    m_list->clearSelection();
    Click(2, 1);
    selection.clear();
    QTest::keyClick(m_list.get(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(selection.count(), 0);
    EXPECT_FALSE(m_list->IsItemSelected(0));
    EXPECT_EQ(m_list->GetNextSelectedItem(-1), 2);
}

TEST_F(SortListCtrlTest, HeaderClicksSortAscendingThenFlipAndSelectionFollowsTheRow) {
    AddRows({"bravo", "Alpha", "charlie"});
    Click(0, 1); // "bravo"
    QSignalSpy sorted(m_list.get(), &CSortListCtrl::sorted);
    CFlatHeaderCtrl* header = m_list->GetHeaderCtrl();

    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"Alpha", "bravo", "charlie"}));
    EXPECT_EQ(header->GetSortColumn(), 1);
    EXPECT_TRUE(header->IsSortAscending());
    EXPECT_TRUE(m_list->IsItemSelected(1));

    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"charlie", "bravo", "Alpha"}));
    EXPECT_FALSE(header->IsSortAscending());

    // Another column starts ascending again; the numbers were 1, 2, 3 in
    // insertion order, so this restores it.
    ClickHeader(2);
    EXPECT_EQ(Column(1), (QStringList{"bravo", "Alpha", "charlie"}));
    EXPECT_EQ(header->GetSortColumn(), 2);
    EXPECT_TRUE(header->IsSortAscending());
    EXPECT_TRUE(m_list->IsItemSelected(0));
    ASSERT_EQ(sorted.count(), 3);
    EXPECT_EQ(sorted.at(1).at(0).toInt(), 1);
    EXPECT_FALSE(sorted.at(1).at(1).toBool());
}

TEST_F(SortListCtrlTest, TextSortIgnoresCaseAndBlanksKeepsEqualRowsTogetherAndIgnoresBadColumns) {
    AddRows({"b", "ABC ", " a", "abc", "B2"});
    m_list->SortByColumn(1, true);
    EXPECT_EQ(Column(1), (QStringList{" a", "ABC ", "abc", "b", "B2"}));
    m_list->SortByColumn(1, false);
    EXPECT_EQ(Column(1), (QStringList{"B2", "b", "ABC ", "abc", " a"}));

    QSignalSpy sorted(m_list.get(), &CSortListCtrl::sorted);
    QSignalSpy layout(m_list->GetModel(), &QAbstractItemModel::layoutChanged);
    m_list->SortByColumn(12, true);
    m_list->SortByColumn(-1, true);
    EXPECT_EQ(sorted.count(), 0);
    EXPECT_EQ(m_list->GetHeaderCtrl()->GetSortColumn(), 1);
    EXPECT_FALSE(m_list->GetHeaderCtrl()->IsSortAscending());

    // Sorting rows that are already in order moves nothing on screen.
    m_list->Resort();
    EXPECT_EQ(sorted.count(), 1);
    EXPECT_EQ(layout.count(), 0);
}

TEST_F(SortListCtrlTest, TextSortFollowsTheDefaultLocale) {
    struct RestoreLocale {
        QLocale saved;
        ~RestoreLocale() { QLocale::setDefault(saved); }
    } restore{QLocale()};
    const QString umlaut = QString::fromUtf8("\xC3\x84pfel");
    AddRows({"Zebra", umlaut, "Birne"});
    QLocale::setDefault(QLocale(QLocale::German));
    m_list->SortByColumn(1, true);
    EXPECT_EQ(Column(1), (QStringList{umlaut, "Birne", "Zebra"}));
    QLocale::setDefault(QLocale(QLocale::Swedish));
    m_list->Resort();
    EXPECT_EQ(Column(1), (QStringList{"Birne", "Zebra", umlaut}));
}

TEST_F(NumberedListTest, ADerivedColumnRuleSortsNumbersAndRowsAreRenumberedAfterEverySort) {
    // Column 1 holds numbers here; column 2 is the row number.
    AddRows({"10", " 9", "100", "9"});
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{" 9", "9", "10", "100"}));
    EXPECT_EQ(Column(2), (QStringList{"1", "2", "3", "4"}));
    ClickHeader(1);
    EXPECT_EQ(Column(1), (QStringList{"100", "10", " 9", "9"}));
    EXPECT_EQ(Column(2), (QStringList{"1", "2", "3", "4"}));

    // The text rule stays available beside it: by text "100" precedes "9".
    m_list->SortByColumn(1, true);
    EXPECT_EQ(Column(1), (QStringList{"10", "100", " 9", "9"}));
    m_list->SortByColumnWithRule(3, true); // other columns fall back to text
    EXPECT_EQ(m_list->GetHeaderCtrl()->GetSortColumn(), 3);
    m_list->SortByColumnWithRule(4, true);
    EXPECT_EQ(m_list->GetHeaderCtrl()->GetSortColumn(), 3);
}

TEST_F(SortListCtrlTest, SelectedRowsAreBlueAndTheClickedCellStandsOutPastTheFirstHighlightColumn) {
    AddRows({"", "", ""}); // empty cells: only the fills are painted
    m_list->SetFirstHighlightColumn(0);
    Click(1, 3);
    QImage image = Viewport();
    const auto inside = [&](int row, int column) {
        const QRect cell = m_list->visualRect(m_list->GetModel()->index(row, column));
        return image.pixelColor(cell.center());
    };
    EXPECT_EQ(inside(1, 1), kSelectedRow);
    EXPECT_EQ(inside(1, 3), kHighlightedCell);
    EXPECT_EQ(inside(0, 3), m_list->palette().color(QPalette::Base));
    EXPECT_EQ(inside(2, 1), m_list->palette().color(QPalette::Base));

    // Column 0 is not past the first highlight column: the row is plain blue.
    Click(1, 0);
    image = Viewport();
    EXPECT_EQ(inside(1, 0), kSelectedRow);
    EXPECT_EQ(inside(1, 3), kSelectedRow);

    // With cell highlighting off, no cell stands out.
    m_list->SetFirstHighlightColumn(-1);
    m_list->SetCellHighlight(false);
    Click(1, 2);
    image = Viewport();
    EXPECT_EQ(inside(1, 2), kSelectedRow);
}

// Counts the pixels of one row of the mark's box that the mark's pens drew.
int MarkPixels(const QImage& image, const QRect& mark, int y, const CFlatHeaderCtrl& header) {
    const QRgb shadow = header.palette().color(QPalette::Dark).rgb();
    const QRgb lit = header.palette().color(QPalette::Light).rgb();
    int count = 0;
    for (int x = mark.left(); x <= mark.right(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        count += pixel == shadow || pixel == lit ? 1 : 0;
    }
    return count;
}

TEST_F(SortListCtrlTest, TheHeaderMarksOnlyTheSortColumnApexUpWhenAscending) {
    CFlatHeaderCtrl* header = m_list->GetHeaderCtrl();
    const auto markOf = [&](int column) {
        return SortMarkRect(QRect(header->sectionViewportPosition(column), 0,
                                  header->sectionSize(column), header->height()));
    };
    const auto grab = [&] { return header->viewport()->grab().toImage(); };
    const QRect mark = markOf(1);
    const QRect other = markOf(3);

    header->SetSortColumn(1);
    header->SetSortAscending(true);
    QImage image = grab();
    // Apex up: one point on top, the full base below.
    EXPECT_EQ(MarkPixels(image, mark, mark.top(), *header), 1);
    EXPECT_EQ(MarkPixels(image, mark, mark.bottom(), *header), mark.width());
    for (int y = other.top(); y <= other.bottom(); ++y) {
        EXPECT_EQ(MarkPixels(image, other, y, *header), 0);
    }

    header->SetSortAscending(false);
    image = grab();
    EXPECT_EQ(MarkPixels(image, mark, mark.top(), *header), mark.width());
    EXPECT_EQ(MarkPixels(image, mark, mark.bottom(), *header), 1);

    header->SetSortColumn(3);
    image = grab();
    EXPECT_EQ(MarkPixels(image, mark, mark.top(), *header), 0);
    EXPECT_EQ(MarkPixels(image, other, other.top(), *header), other.width());
}

TEST_F(SortListCtrlTest, Screenshot) {
    m_list->setShowGrid(true);
    m_list->SetCheckBoxes(true);
    m_list->SetFirstHighlightColumn(0);
    m_list->SetColumnTitle(3, "Model of the camera");
    AddRows(
        {"Front door", "Warehouse north entrance with a very long name", "Lobby & stairs", "yard"});
    for (int row = 0; row < m_list->GetItemCount(); ++row) {
        m_list->SetItemText(row, 3, row == 2 ? "QV-IPC-8000-ULTRA-WIDE-ANGLE" : "QV-IPC-200");
    }
    m_list->resize(300, 140);
    m_list->SortByColumn(1, true);
    Click(1, 3); // selects and checks row 1, highlights its Model cell
    m_list->SetCheck(3, true);
    const QString dir = QStringLiteral(ORVANTIX_SCREENSHOT_DIR);
    ASSERT_TRUE(QDir().mkpath(dir));
    const QImage image = m_list->grab().toImage();
    ASSERT_TRUE(image.save(dir + "/sort_list.png"));
    EXPECT_EQ(Column(1).first(), "Front door");
}

} // namespace
} // namespace orv::ui

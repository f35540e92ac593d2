// The row store of the sortable list, run through Qt's model tester, with the
// signals a view relies on to repaint only what changed.

#include "ui/controls/SortListModel.h"
#include "ModelTesterGuard.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace orv::ui {
namespace {

class SortListModelTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_model.InsertColumn(0, "", Qt::AlignHCenter);
        m_model.InsertColumn(1, "Name", Qt::AlignLeft);
        m_model.InsertColumn(2, "IP", Qt::AlignRight);
    }
    void TearDown() override {
        EXPECT_TRUE(test::ModelTesterGuard::Reports().isEmpty())
            << test::ModelTesterGuard::Reports().join('\n').toStdString();
    }
    QStringList Column(int column) const {
        QStringList texts;
        for (int row = 0; row < m_model.rowCount(); ++row) {
            texts.append(m_model.Text(row, column));
        }
        return texts;
    }
    static QList<int> Roles(const QSignalSpy& spy, int i) {
        return spy.at(i).at(2).value<QList<int>>();
    }

    CSortListModel m_model;
    test::ModelTesterGuard m_guard{&m_model};
};

TEST_F(SortListModelTest, RowsGoWhereAskedAndLeaveWithoutTouchingTheCallersData) {
    QSignalSpy inserted(&m_model, &QAbstractItemModel::rowsInserted);
    QSignalSpy removed(&m_model, &QAbstractItemModel::rowsRemoved);
    EXPECT_EQ(m_model.InsertRow(0, "b"), 0);
    EXPECT_EQ(m_model.InsertRow(0, "a"), 0);
    EXPECT_EQ(m_model.InsertRow(99, "d"), 2); // past the end appends
    EXPECT_EQ(m_model.InsertRow(2, "c"), 2);
    EXPECT_EQ(m_model.InsertRow(-1, "x"), -1);
    EXPECT_EQ(Column(0), (QStringList{"a", "b", "c", "d"}));
    EXPECT_EQ(inserted.count(), 4);
    EXPECT_TRUE(m_model.data(m_model.index(1, 2)).isValid()); // empty, not missing

    int device = 7;
    m_model.SetUserData(3, &device);
    EXPECT_TRUE(m_model.RemoveRow(1));
    EXPECT_EQ(m_model.UserData(2), &device);
    EXPECT_EQ(m_model.UserData(0), nullptr);
    m_model.RemoveAllRows();
    m_model.RemoveAllRows(); // already empty: no signal
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(1).at(2).toInt(), 2); // rows 0..2 in one step
    EXPECT_EQ(m_model.UserData(0), nullptr);
}

TEST_F(SortListModelTest, ACellChangeIsOneDataChangedAndOnlyWhenTheTextDiffers) {
    m_model.InsertRow(0, "r0");
    m_model.InsertRow(1, "r1");
    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
    QSignalSpy layout(&m_model, &QAbstractItemModel::layoutChanged);
    QSignalSpy reset(&m_model, &QAbstractItemModel::modelReset);

    EXPECT_TRUE(m_model.SetText(1, 2, "192.168.1.9"));
    EXPECT_TRUE(m_model.SetText(1, 2, "192.168.1.9")); // a refresh with the same text
    EXPECT_FALSE(m_model.SetText(0, 3, "no such column"));
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toModelIndex(), m_model.index(1, 2));
    EXPECT_EQ(changed.at(0).at(1).toModelIndex(), m_model.index(1, 2));
    EXPECT_TRUE(Roles(changed, 0).contains(Qt::DisplayRole));
    EXPECT_EQ(layout.count() + reset.count(), 0);
}

TEST_F(SortListModelTest, CheckStatesExistOnlyWithCheckBoxesAndReportEveryChange) {
    m_model.InsertRow(0, "");
    m_model.InsertRow(1, "");
    EXPECT_FALSE(m_model.SetChecked(0, true));
    EXPECT_FALSE(m_model.data(m_model.index(0, 0), Qt::CheckStateRole).isValid());

    QSignalSpy changed(&m_model, &QAbstractItemModel::dataChanged);
    QSignalSpy checks(&m_model, &CSortListModel::checkChanged);
    m_model.SetCheckable(true);
    ASSERT_EQ(changed.count(), 1); // every row's box appears
    EXPECT_TRUE(Roles(changed, 0).contains(Qt::CheckStateRole));
    EXPECT_FALSE(m_model.data(m_model.index(1, 1), Qt::CheckStateRole).isValid());

    EXPECT_TRUE(m_model.setData(m_model.index(1, 0), Qt::Checked, Qt::CheckStateRole));
    EXPECT_TRUE(m_model.SetChecked(1, true)); // no change, no signal
    EXPECT_TRUE(m_model.IsChecked(1));
    EXPECT_FALSE(m_model.IsChecked(0));
    ASSERT_EQ(changed.count(), 2);
    EXPECT_EQ(changed.at(1).at(0).toModelIndex(), m_model.index(1, 0));
    EXPECT_EQ(Roles(changed, 1), QList<int>{Qt::CheckStateRole});
    ASSERT_EQ(checks.count(), 1);
    EXPECT_EQ(checks.at(0).at(0).toInt(), 1);

    // Hiding the boxes hides the states without losing them.
    m_model.SetCheckable(false);
    EXPECT_FALSE(m_model.IsChecked(1));
    m_model.SetCheckable(true);
    EXPECT_TRUE(m_model.IsChecked(1));
}

TEST_F(SortListModelTest, AColumnInsertedLaterShiftsTheTextsOfEveryRow) {
    m_model.InsertRow(0, "");
    m_model.SetText(0, 1, "cam");
    m_model.SetText(0, 2, "10.0.0.1");
    EXPECT_EQ(m_model.InsertColumn(1, "No.", Qt::AlignRight), 1);
    EXPECT_EQ(Column(1), QStringList{""});
    EXPECT_EQ(Column(2), QStringList{"cam"});
    EXPECT_EQ(Column(3), QStringList{"10.0.0.1"});
    EXPECT_EQ(m_model.headerData(3, Qt::Horizontal).toString(), "IP");
    EXPECT_EQ(m_model.ColumnFormat(1), Qt::AlignRight);
}

TEST_F(SortListModelTest, RowOrderMovesRecordsAndPersistentIndexesTogether) {
    m_model.SetCheckable(true);
    int devices[3] = {0, 1, 2};
    for (int row = 0; row < 3; ++row) {
        m_model.InsertRow(row, "");
        m_model.SetText(row, 1, QString("n%1").arg(row));
        m_model.SetUserData(row, &devices[row]);
    }
    m_model.SetChecked(2, true);
    const QPersistentModelIndex follow(m_model.index(2, 1));

    QSignalSpy layout(&m_model, &QAbstractItemModel::layoutChanged);
    m_model.ApplyRowOrder({2, 0, 1});
    EXPECT_EQ(Column(1), (QStringList{"n2", "n0", "n1"}));
    EXPECT_EQ(m_model.UserData(0), &devices[2]);
    EXPECT_TRUE(m_model.IsChecked(0));
    EXPECT_FALSE(m_model.IsChecked(2));
    EXPECT_EQ(follow.row(), 0);

    // Anything that is not a rearrangement is refused as a whole.
    m_model.ApplyRowOrder({0, 0, 1});
    m_model.ApplyRowOrder({0, 1});
    m_model.ApplyRowOrder({0, 1, 3});
    EXPECT_EQ(layout.count(), 1);
    EXPECT_EQ(Column(1), (QStringList{"n2", "n0", "n1"}));
}

} // namespace
} // namespace orv::ui

// The device list on screen as a person meets it: a left click anywhere on a
// row toggles its check box, right clicks and double clicks do not, header
// clicks sort through the list's rules and the header shows the order, and
// selected rows wear the program's own colours.

#include "DeviceRecords.h"
#include "GuiTestBase.h"

#include "devicelist/DeviceListCtrl.h"

#include <QHeaderView>
#include <QSignalSpy>

namespace orv {
namespace {

class DeviceListCtrlTest : public GuiTestBase {
protected:
    CDeviceList list{DeviceListKind::BatchSet};
    std::unique_ptr<CDeviceListCtrl> view;

    void SetUp() override {
        GuiTestBase::SetUp();
        for (unsigned char i = 1; i <= 3; ++i) {
            list.AddOrRefreshDevice(
                Found(Camera(i, ("192.168.1." + std::to_string(i)).c_str(),
                             std::string(1, static_cast<char>('a' + 3 - i)).c_str())));
        }
        view = std::make_unique<CDeviceListCtrl>(list);
        view->resize(480, 200);
        view->show();
    }
    QPoint cell(int row, int column) const {
        return view->visualRect(view->model()->index(row, column)).center();
    }
    void click(int row, int column, Qt::MouseButton button = Qt::LeftButton) {
        QTest::mouseClick(view->viewport(), button, {}, cell(row, column));
    }
    static device::DeviceId key(unsigned char id) { return qv::IdOf(Camera(id, "")); }
};

TEST_F(DeviceListCtrlTest, AClickAnywhereOnARowTogglesItsCheckAndNamesTheCamera) {
    QStringList order;
    QObject::connect(view.get(), &CDeviceListCtrl::deviceCheckToggled,
                     [&](const device::DeviceId& k, bool on) {
                         order << QString("check %1 %2").arg(k.Mac()[5]).arg(on);
                     });
    QObject::connect(view.get(), &CDeviceListCtrl::deviceSelected, [&](const device::DeviceId& k) {
        order << QString("select %1").arg(k.Mac()[5]);
    });
    QObject::connect(view.get(), &CDeviceListCtrl::deviceClicked,
                     [&](const device::DeviceId& k, int c) {
                         order << QString("click %1 %2").arg(k.Mac()[5]).arg(c);
                     });
    for (int column = 0; column < 6; ++column) {
        click(1, column);
        EXPECT_TRUE(list.IsChecked(key(2))) << "column " << column;
        click(1, column);
        EXPECT_FALSE(list.IsChecked(key(2))) << "column " << column;
    }
    EXPECT_EQ(order.mid(0, 3), (QStringList{"check 2 1", "select 2", "click 2 0"}));
    EXPECT_EQ(view->GetClickedColumn(), 5);

    QSignalSpy checks(view.get(), &CDeviceListCtrl::deviceCheckToggled);
    QSignalSpy doubleClicks(view.get(), &CDeviceListCtrl::deviceDoubleClicked);
    click(0, 2, Qt::RightButton);
    EXPECT_TRUE(view->IsItemSelected(0));
    const QPoint at = cell(2, 3);
    QMouseEvent dbl(QEvent::MouseButtonDblClick, at, view->viewport()->mapToGlobal(at),
                    Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(view->viewport(), &dbl);
    EXPECT_EQ(checks.count(), 0) << "right clicks and the double-click event toggle nothing";
    ASSERT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(doubleClicks.at(0).at(0).value<device::DeviceId>(), key(3));

    view->setCurrentIndex(view->model()->index(0, 2));
    QTest::keyClick(view.get(), Qt::Key_Space);
    EXPECT_TRUE(list.IsChecked(key(1))) << "the space bar toggles the current row";
}

TEST_F(DeviceListCtrlTest, HeaderClicksSortAndTheSelectionStaysWithItsCamera) {
    click(0, 2, Qt::RightButton); // camera 1, named "c"
    const auto clickHeader = [&](int column) {
        QHeaderView* header = view->horizontalHeader();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {},
                          QPoint(header->sectionViewportPosition(column) + 10, 5));
    };
    clickHeader(2);
    EXPECT_EQ(view->GetHeaderCtrl()->GetSortColumn(), 2);
    EXPECT_TRUE(view->GetHeaderCtrl()->IsSortAscending());
    EXPECT_EQ(view->SelectedDevice(), key(1));
    EXPECT_EQ(list.RowOf(key(1)), 2);
    EXPECT_EQ(view->model()->index(0, 1).data().toString(), "1");
    clickHeader(2);
    EXPECT_FALSE(view->GetHeaderCtrl()->IsSortAscending());
    EXPECT_EQ(list.RowOf(key(1)), 0);
    clickHeader(1);
    EXPECT_EQ(view->GetHeaderCtrl()->GetSortColumn(), 2) << "the number column does not sort";
}

TEST_F(DeviceListCtrlTest, SelectedRowsWearTheProgramsBlue) {
    click(0, 3, Qt::RightButton);
    const QImage image = view->viewport()->grab().toImage();
    const QRect row0 = view->visualRect(view->model()->index(0, 5));
    EXPECT_EQ(image.pixelColor(row0.center() + QPoint(row0.width() / 2 - 3, 0)),
              QColor(132, 192, 252));
    const QRect clicked = view->visualRect(view->model()->index(0, 3));
    EXPECT_EQ(image.pixelColor(clicked.topLeft() + QPoint(3, 3)), QColor(115, 186, 226));
    SaveScreenshot(*view, QStringLiteral("device-list"));
}

} // namespace
} // namespace orv

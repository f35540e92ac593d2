#include "DeviceListCtrl.h"

#include "ui/DialogFont.h"
#include "ui/LangText.h"

namespace orv {

static_assert(CDeviceTableModel::kOfflineRole == ui::CSortListCtrl::kDimmedRole,
              "offline rows are drawn dimmed");

CDeviceListCtrl::CDeviceListCtrl(CDeviceList& list, QWidget* parent)
    : ui::CSortListCtrl(parent), m_list(list) {
    setModel(&list.View());
    const auto& columns = list.Profile().columns;
    for (std::size_t i = 0; i < columns.size(); ++i) {
        // The widths are for the dialog font; a larger font widens them.
        GetHeaderCtrl()->resizeSection(static_cast<int>(i),
                                       static_cast<int>(columns[i].width * ui::FontScale(this)));
    }
    setSelectionMode(QAbstractItemView::SingleSelection);
    setShowGrid(true);
    SetExtraRowHeight(3);
    SetFirstHighlightColumn(0);
    SetHeaderTexts();
    const auto showSort = [this](int column, bool ascending) {
        GetHeaderCtrl()->SetSortColumn(column);
        GetHeaderCtrl()->SetSortAscending(ascending);
    };
    showSort(list.Proxy().CurrentOrder().column, list.Proxy().CurrentOrder().ascending);
    connect(&list, &CDeviceList::sorted, this, showSort);
    connect(this, &ui::CSortListCtrl::headerClicked, &list, &CDeviceList::SortByHeader);

    const auto forRow = [this](int row, auto then) {
        if (const std::optional<device::DeviceId> key = m_list.KeyAt(row)) {
            then(*key);
        }
    };
    connect(this, &ui::CSortListCtrl::checkToggled, this, [this, forRow](int row, bool checked) {
        forRow(row, [&](const device::DeviceId& key) { emit deviceCheckToggled(key, checked); });
    });
    connect(this, &ui::CSortListCtrl::rowSelected, this, [this, forRow](int row) {
        forRow(row, [&](const device::DeviceId& key) { emit deviceSelected(key); });
    });
    connect(this, &ui::CSortListCtrl::itemClicked, this, [this, forRow](int row, int column) {
        forRow(row, [&](const device::DeviceId& key) { emit deviceClicked(key, column); });
    });
    connect(this, &ui::CSortListCtrl::itemDoubleClicked, this, [this, forRow](int row, int) {
        forRow(row, [&](const device::DeviceId& key) { emit deviceDoubleClicked(key); });
    });
}

void CDeviceListCtrl::SetHeaderTexts() {
    std::vector<QString> titles;
    for (const DeviceColumn& column : m_list.Profile().columns) {
        titles.push_back(column.headerId != nullptr
                             ? ui::LangText(column.headerId, column.headerText)
                             : QString());
    }
    m_list.Model().SetHeaderTexts(titles);
    m_list.Model().SetOfflineText(ui::LangText(L"20043", L"offline since %1"));
}

std::optional<device::DeviceId> CDeviceListCtrl::SelectedDevice() const {
    return m_list.KeyAt(GetNextSelectedItem(-1));
}

bool CDeviceListCtrl::SelectDevice(const device::DeviceId& key) {
    return SelectItem(m_list.RowOf(key), true);
}

} // namespace orv

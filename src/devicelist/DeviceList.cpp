#include "DeviceList.h"

#include "log/LogFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace orv {

CDeviceList::CDeviceList(CDeviceListCtrl& list, Clock clock)
    : m_list(list), m_clock(std::move(clock)) {
    if (!m_clock) {
        m_clock = [] { return static_cast<std::int32_t>(std::time(nullptr)); };
    }
    QObject::connect(&m_list, &ui::CSortListCtrl::sorted, &m_list,
                     [this] { m_order.valid = false; });
}

CDeviceList::~CDeviceList() {
    ++busy;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        m_list.SetItemUserData(row, nullptr);
    }
    m_copies.clear();
    --busy;
    m_list.DeleteAllItems();
}

DeviceRow* CDeviceList::rowData(int row) const {
    return static_cast<DeviceRow*>(m_list.GetItemUserData(row));
}

const DeviceRow* CDeviceList::Row(int row) const {
    return rowData(row);
}

int CDeviceList::FindByKey(const tagQvIpcInfo& record) const {
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const DeviceRow* data = rowData(row);
        if (data != nullptr && std::memcmp(data->record.Mac, record.Mac, sizeof record.Mac) == 0) {
            return row;
        }
    }
    return -1;
}

void CDeviceList::writeCells(int row, const tagQvIpcInfo& record, bool withMac) {
    const auto& columns = m_list.Profile().columns;
    for (size_t c = 0; c < columns.size(); ++c) {
        const DeviceField field = columns[c].field;
        if (field == DeviceField::CheckBox || field == DeviceField::Number ||
            (field == DeviceField::Mac && !withMac)) {
            continue;
        }
        m_list.SetItemText(
            row, static_cast<int>(c),
            QString::fromStdWString(CellText(field, record, m_list.Profile().modelOnly)));
    }
}

int CDeviceList::firstSelectedRow() const {
    return m_list.GetNextSelectedItem(-1);
}

int CDeviceList::AddOrRefreshDevice(const tagQvIpcInfo& record) {
    ++busy;
    if (const int row = FindByKey(record); row >= 0) {
        rowData(row)->lastSeen = m_clock();
        RefreshDevice(record);
        --busy;
        return -1;
    }

    // The row goes where sorting would put it; rows that are already in
    // order take it in place, anything else is sorted as a whole.
    const bool byIp = m_list.Profile().sortAfterAdd == SortAfterAdd::IpAscending;
    auto* header = m_list.GetHeaderCtrl();
    const int sortColumn = byIp ? m_list.IpColumn() : header->GetSortColumn();
    const bool ascending = byIp || header->IsSortAscending();
    QString sortText;
    if (sortColumn >= 0 && sortColumn < static_cast<int>(m_list.Profile().columns.size())) {
        sortText = QString::fromStdWString(
            CellText(m_list.Profile().columns[static_cast<size_t>(sortColumn)].field, record,
                     m_list.Profile().modelOnly));
    }
    const bool known = m_order.valid && m_order.column == sortColumn &&
                       m_order.ascending == ascending && m_order.byRule == byIp;
    const int position = known ? m_list.SortedPosition(sortColumn, ascending, sortText, byIp)
                               : m_list.SortedInsertPosition(sortColumn, ascending, sortText, byIp);
    const int row = m_list.InsertItem(position >= 0 ? position : m_list.GetItemCount(), QString());
    writeCells(row, record, true);
    auto copy = std::make_unique<DeviceRow>();
    copy->record = record;
    copy->lastSeen = m_clock();
    DeviceRow* key = copy.get();
    m_copies.emplace(key, std::move(copy));
    m_list.SetItemUserData(row, key);

    int renumberFrom = row;
    if (position >= 0) {
        if (sortColumn >= 0) {
            header->SetSortColumn(sortColumn);
            header->SetSortAscending(ascending);
        }
    } else if (byIp) {
        m_list.SortByIp();
        renumberFrom = 0;
    } else {
        m_list.Resort();
        renumberFrom = 0;
    }
    m_order = {sortColumn >= 0, sortColumn, ascending, byIp};
    RenumberRows(renumberFrom);
    --busy;
    if (currentRow != -1) {
        currentRow = firstSelectedRow();
    }
    // The sort moved the new row; report where it ended up.
    for (int r = 0; r < m_list.GetItemCount(); ++r) {
        if (rowData(r) == key) {
            return r;
        }
    }
    return row;
}

int CDeviceList::RefreshDevice(const tagQvIpcInfo& record) {
    const int row = FindByKey(record);
    if (row < 0) {
        return 0;
    }
    rowData(row)->record = record;
    const int sortColumn = m_list.GetHeaderCtrl()->GetSortColumn();
    const QString before = sortColumn >= 0 ? m_list.GetItemText(row, sortColumn) : QString();
    writeCells(row, record, false);
    if (sortColumn >= 0 && m_list.GetItemText(row, sortColumn) != before) {
        m_order.valid = false;
    }
    return 1;
}

int CDeviceList::DropStaleDevice() {
    const std::int32_t now = m_clock();
    int stale = -1;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        const DeviceRow* data = rowData(row);
        if (data != nullptr && now - data->lastSeen >= kSilenceSeconds) {
            stale = row;
            break;
        }
    }
    if (stale < 0 || busy != 0) {
        return 0;
    }
    ++busy;
    DeviceRow* data = rowData(stale);
    WriteLog(m_list.Profile().dropLogLevel, "Item(%d) Disconnect IPC:%.31s now:%d ipctime:%d (%d)",
             stale, data->record.IpAddr, now, data->lastSeen, now - data->lastSeen);
    m_list.SetItemUserData(stale, nullptr);
    m_copies.erase(data);
    m_list.DeleteItem(stale);
    currentRow = firstSelectedRow();
    --busy;
    RenumberRows(stale);
    return 1;
}

int CDeviceList::RenumberRows(int from) {
    const int count = m_list.GetItemCount();
    for (int row = std::max(from, 0); row < count; ++row) {
        m_list.SetItemText(row, m_list.NumberColumn(), QString::number(row + 1));
    }
    return count;
}

bool CDeviceList::AnyRowChecked() const {
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        if (m_list.GetCheck(row)) {
            return true;
        }
    }
    return false;
}

void CDeviceList::SetAllChecks(bool checked) {
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        m_list.SetCheck(row, checked);
    }
}

std::vector<tagQvIpcInfo> CDeviceList::CheckedDevices() const {
    std::vector<tagQvIpcInfo> devices;
    for (int row = 0; row < m_list.GetItemCount(); ++row) {
        if (m_list.GetCheck(row) && rowData(row) != nullptr) {
            devices.push_back(rowData(row)->record);
        }
    }
    return devices;
}

} // namespace orv

#include "DeviceList.h"

#include "log/LogFile.h"

#include <algorithm>
#include <cstring>
#include <ctime>

namespace orv {

CDeviceList::CDeviceList(DeviceListKind kind, Clock clock, QObject* parent)
    : QObject(parent), m_model(ProfileFor(kind)), m_proxy(m_model), m_view(m_proxy, m_model),
      m_clock(std::move(clock)) {
    if (!m_clock) {
        m_clock = [] { return static_cast<std::int32_t>(std::time(nullptr)); };
    }
    sort({Profile().initialSortColumn, true, false});
}

void CDeviceList::sort(const CDeviceSortProxy::Order& order) {
    m_proxy.Sort(order);
    m_orderStale = false;
    emit sorted(order.column, order.ascending);
}

int CDeviceList::AddOrRefreshDevices(std::span<const device::DeviceInfo> devices) {
    // A camera that has told its MAC since it was listed by another
    // identity: the old row goes, its check mark and selection move on.
    std::vector<int> formerRows;
    std::vector<std::pair<device::DeviceId, device::DeviceId>> moved;
    std::vector<device::DeviceId> checkAfter;
    for (const device::DeviceInfo& d : devices) {
        if (d.formerId.IsNull() || d.formerId == d.id) {
            continue;
        }
        // Most often the camera has no other row: its row takes the new
        // identity where it stands (a thousand cameras telling their MACs
        // move no row).
        if (m_model.Rekey(d.formerId, d.id)) {
            moved.emplace_back(d.formerId, d.id);
            continue;
        }
        const int row = m_model.RowOf(d.formerId);
        if (row >= 0) {
            formerRows.push_back(row);
            moved.emplace_back(d.formerId, d.id);
            if (m_model.At(row).checked) {
                checkAfter.push_back(d.id);
            }
        }
    }
    if (!formerRows.empty()) {
        m_model.RemoveRows(std::move(formerRows));
    }
    const int added = addOrRefresh(devices);
    for (const device::DeviceId& key : checkAfter) {
        SetChecked(key, true);
    }
    for (const auto& [former, now] : moved) {
        emit deviceRekeyed(former, now);
    }
    return added;
}

int CDeviceList::addOrRefresh(std::span<const device::DeviceInfo> devices) {
    const auto isNew = [this](const device::DeviceInfo& d) { return m_model.RowOf(d.id) < 0; };
    if (std::any_of(devices.begin(), devices.end(), isNew)) {
        // New rows go where a sort after appending them would put them: the
        // rows already listed are brought into that order first, then each
        // new one is placed by binary search.
        const CDeviceSortProxy::Order& now = m_proxy.CurrentOrder();
        const CDeviceSortProxy::Order wanted =
            Profile().sortAfterAdd == SortAfterAdd::IpAscending
                ? CDeviceSortProxy::Order{Profile().ipColumn, true, true}
                : CDeviceSortProxy::Order{now.column, now.ascending, false};
        if (wanted != now || m_orderStale) {
            sort(wanted);
        }
    }
    const CDeviceTableModel::Update update = m_model.AddOrRefresh(devices, m_clock());
    const int sortColumn = m_proxy.CurrentOrder().column;
    if (std::find(update.changedColumns.begin(), update.changedColumns.end(), sortColumn) !=
        update.changedColumns.end()) {
        m_orderStale = true;
    }
    if (update.refused > 0 && !m_fullReported) {
        m_fullReported = true;
        emit full(CDeviceTableModel::kMaxDevices);
    }
    return update.added;
}

int CDeviceList::RefreshDevice(const device::DeviceInfo& changed) {
    const int row = m_model.RowOf(changed.id);
    if (row < 0) {
        return 0;
    }
    // An IP change carries what was changed; the camera's model, version and
    // the rest stay as its last answer gave them until the next answer.
    device::DeviceInfo merged = m_model.At(row).device.info;
    merged.name = changed.name;
    merged.address = changed.address;
    merged.ports.http = changed.ports.http;
    merged.netmask = changed.netmask;
    merged.gateway = changed.gateway;
    merged.dns = changed.dns;
    // Where the camera is reached moves with its address.
    for (const device::ServiceAddress& service : changed.services) {
        for (device::ServiceAddress& own : merged.services) {
            if (own.protocol == service.protocol) {
                own.address = service.address;
            }
        }
    }
    const CDeviceTableModel::Update update = m_model.AddOrRefresh({&merged, 1}, std::nullopt);
    const int sortColumn = m_proxy.CurrentOrder().column;
    if (std::find(update.changedColumns.begin(), update.changedColumns.end(), sortColumn) !=
        update.changedColumns.end()) {
        m_orderStale = true;
    }
    return 1;
}

int CDeviceList::DropStaleDevices(int limit) {
    const std::int32_t now = m_clock();
    // Chosen in the model's order, where the cameras of one burst of answers
    // stand together: they leave as a few runs of rows, each cheap for the
    // sorted view, however the list is sorted.
    std::vector<int> sources;
    std::vector<bool> leaving(static_cast<std::size_t>(m_model.rowCount()), false);
    for (int source = 0; source < m_model.rowCount() && static_cast<int>(sources.size()) < limit;
         ++source) {
        const DeviceRow& row = m_model.At(source).device;
        if (!row.offline && now - row.lastSeen >= kSilenceSeconds) {
            sources.push_back(source);
            leaving[static_cast<std::size_t>(source)] = true;
        }
    }
    if (sources.empty()) {
        return 0;
    }
    // Logged and reported in the list's order, numbered as if they left one
    // by one.
    std::vector<device::DeviceId> keys;
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        const int source = sourceRow(row);
        if (!leaving[static_cast<std::size_t>(source)]) {
            continue;
        }
        const DeviceRow& device = m_model.At(source).device;
        const int shownAt = row - static_cast<int>(keys.size());
        WriteLog(Profile().dropLogLevel, "Item(%d) Disconnect IPC:%.31s now:%d ipctime:%d (%d)",
                 shownAt, device.info.AddressText().toLatin1().constData(), now, device.lastSeen,
                 now - device.lastSeen);
        keys.push_back(device.info.id);
    }
    if (m_keepsSilent) {
        m_model.SetOffline(sources);
        return 0;
    }
    m_model.RemoveRows(std::move(sources));
    for (const device::DeviceId& key : keys) {
        emit deviceDropped(key);
    }
    return static_cast<int>(keys.size());
}

void CDeviceList::SortByHeader(int column) {
    if (column <= 0 || column == Profile().numberColumn || column >= m_model.columnCount()) {
        return;
    }
    const CDeviceSortProxy::Order& now = m_proxy.CurrentOrder();
    sort({column, column != now.column || !now.ascending, true});
}

int CDeviceList::sourceRow(int row) const {
    return m_proxy.mapToSource(m_proxy.index(row, 0)).row();
}

const DeviceRow* CDeviceList::Find(const device::DeviceId& key) const {
    const int row = m_model.RowOf(key);
    return row < 0 ? nullptr : &m_model.At(row).device;
}

std::optional<device::DeviceId> CDeviceList::KeyAt(int row) const {
    if (row < 0 || row >= m_view.rowCount()) {
        return std::nullopt;
    }
    const int sorted = m_view.mapToSource(m_view.index(row, 0)).row();
    return m_model.At(sourceRow(sorted)).device.info.id;
}

int CDeviceList::RowOf(const device::DeviceId& key) const {
    const int source = m_model.RowOf(key);
    if (source < 0) {
        return -1;
    }
    const QModelIndex shown = m_view.mapFromSource(m_proxy.mapFromSource(m_model.index(source, 0)));
    return shown.isValid() ? shown.row() : -1;
}

std::vector<device::DeviceId> CDeviceList::Keys() const {
    std::vector<device::DeviceId> keys;
    keys.reserve(static_cast<std::size_t>(m_proxy.rowCount()));
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        keys.push_back(m_model.At(sourceRow(row)).device.info.id);
    }
    return keys;
}

bool CDeviceList::IsChecked(const device::DeviceId& key) const {
    const int row = m_model.RowOf(key);
    return row >= 0 && m_model.At(row).checked;
}

void CDeviceList::SetChecked(const device::DeviceId& key, bool checked) {
    m_model.SetChecked(m_model.RowOf(key), checked);
}

bool CDeviceList::AnyChecked() const {
    for (int row = 0; row < m_model.rowCount(); ++row) {
        if (m_model.At(row).checked) {
            return true;
        }
    }
    return false;
}

void CDeviceList::SetAllChecks(bool checked) {
    if (!checked) {
        m_model.SetAllChecked(false);
        return;
    }
    m_model.CheckWhere([this](const CDeviceTableModel::Entry& entry) {
        return !entry.device.offline && m_view.Shows(entry.device.info);
    });
}

int CDeviceList::AddOffline(std::span<const DeviceRow> rows) {
    const int added = m_model.AddOffline(rows);
    if (added > 0) {
        m_orderStale = true;
        sort(m_proxy.CurrentOrder());
    }
    return added;
}

int CDeviceList::RemoveOffline() {
    std::vector<int> rows;
    std::vector<device::DeviceId> keys;
    for (int source = 0; source < m_model.rowCount(); ++source) {
        if (m_model.At(source).device.offline) {
            rows.push_back(source);
            keys.push_back(m_model.At(source).device.info.id);
        }
    }
    m_model.RemoveRows(std::move(rows));
    for (const device::DeviceId& key : keys) {
        emit deviceDropped(key);
    }
    return static_cast<int>(keys.size());
}

std::vector<device::DeviceInfo> CDeviceList::Devices() const {
    std::vector<device::DeviceInfo> devices;
    devices.reserve(static_cast<std::size_t>(m_proxy.rowCount()));
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        const DeviceRow& device = m_model.At(sourceRow(row)).device;
        if (!device.offline) {
            devices.push_back(device.info);
        }
    }
    return devices;
}

std::vector<device::DeviceInfo> CDeviceList::ShownDevices() const {
    std::vector<device::DeviceInfo> devices = Devices();
    std::erase_if(devices, [this](const device::DeviceInfo& d) { return !m_view.Shows(d); });
    return devices;
}

std::vector<device::DeviceInfo> CDeviceList::CheckedDevices() const {
    std::vector<device::DeviceInfo> devices;
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        const CDeviceTableModel::Entry& entry = m_model.At(sourceRow(row));
        if (entry.checked && !entry.device.offline) {
            devices.push_back(entry.device.info);
        }
    }
    return devices;
}

std::vector<DeviceRow> CDeviceList::OfflineDevices() const {
    std::vector<DeviceRow> rows;
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        const DeviceRow& device = m_model.At(sourceRow(row)).device;
        if (device.offline) {
            rows.push_back(device);
        }
    }
    return rows;
}

std::optional<device::Capabilities> CDeviceList::CheckedCapabilities() const {
    std::optional<device::Capabilities> any;
    for (int row = 0; row < m_proxy.rowCount(); ++row) {
        const CDeviceTableModel::Entry& entry = m_model.At(sourceRow(row));
        if (entry.checked) {
            any = any.value_or(device::Capabilities{}) | entry.device.info.capabilities;
        }
    }
    return any;
}

} // namespace orv

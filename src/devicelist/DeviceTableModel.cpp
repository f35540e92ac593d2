#include "DeviceTableModel.h"

#include "text/DottedNumbers.h"

#include <QDateTime>

#include <algorithm>
#include <cstring>
#include <deque>
#include <unordered_set>

namespace orv {

CDeviceTableModel::CDeviceTableModel(const DeviceListProfile& profile, QObject* parent)
    : QAbstractTableModel(parent), m_profile(profile), m_titles(profile.columns.size()) {}

int CDeviceTableModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CDeviceTableModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_profile.columns.size());
}

QVariant CDeviceTableModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Entry& entry = At(index.row());
    const DeviceField field = m_profile.columns[static_cast<std::size_t>(index.column())].field;
    switch (role) {
    case Qt::DisplayRole:
        if (entry.device.offline && field == DeviceField::DeviceName) {
            return cellText(entry.device.info, index.column()) + QStringLiteral(" \u2014 ") +
                   offlineText(entry.device);
        }
        return cellText(entry.device.info, index.column());
    case Qt::ToolTipRole:
        return entry.device.offline ? QVariant(offlineText(entry.device)) : QVariant();
    case kOfflineRole:
        return entry.device.offline;
    case Qt::CheckStateRole:
        if (field == DeviceField::CheckBox) {
            return entry.checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(alignment(index.column()));
    default:
        return {};
    }
}

bool CDeviceTableModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != 0 ||
        !m_profile.checkBoxes) {
        return false;
    }
    return SetChecked(index.row(), value.value<Qt::CheckState>() != Qt::Unchecked);
}

QVariant CDeviceTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    if (role == Qt::DisplayRole) {
        return m_titles[static_cast<std::size_t>(section)];
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(alignment(section));
    }
    return {};
}

Qt::Alignment CDeviceTableModel::alignment(int column) const {
    const DeviceField field = m_profile.columns[static_cast<std::size_t>(column)].field;
    return (field == DeviceField::CheckBox ? Qt::AlignHCenter : Qt::AlignLeft) | Qt::AlignVCenter;
}

Qt::ItemFlags CDeviceTableModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_profile.checkBoxes && index.column() == 0) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

bool CDeviceTableModel::Rekey(const device::DeviceId& former, const device::DeviceId& now) {
    const auto it = m_index.find(former);
    if (it == m_index.end() || m_index.count(now) != 0) {
        return false;
    }
    const int row = it->second;
    m_index.erase(it);
    m_index.emplace(now, row);
    m_rows[static_cast<std::size_t>(row)].device.info.id = now;
    return true;
}

int CDeviceTableModel::RowOf(const device::DeviceId& key) const {
    const auto it = m_index.find(key);
    return it == m_index.end() ? -1 : it->second;
}

QString CDeviceTableModel::cellText(const device::DeviceInfo& device, int column) const {
    return CellText(m_profile.columns[static_cast<std::size_t>(column)].field, device,
                    m_profile.modelOnly);
}

void CDeviceTableModel::takeSortValues(Entry& entry) const {
    if (m_sortColumn < 0) {
        return;
    }
    entry.sortText = cellText(entry.device.info, m_sortColumn).trimmed().toUpper();
    entry.sortKey = m_collator.sortKey(entry.sortText);
    const std::uint32_t a = entry.device.info.address;
    entry.sortIp = m_sortColumn == m_profile.ipColumn
                       ? std::optional(std::array<int, 4>{
                             static_cast<int>(a >> 24), static_cast<int>(a >> 16 & 0xff),
                             static_cast<int>(a >> 8 & 0xff), static_cast<int>(a & 0xff)})
                       : std::nullopt;
}

void CDeviceTableModel::SetSortBasis(int column) {
    m_sortColumn = column >= 0 && column < columnCount() ? column : -1;
    m_collator = QCollator(); // the locale as it is now
    for (Entry& entry : m_rows) {
        takeSortValues(entry);
    }
}

CDeviceTableModel::Update
CDeviceTableModel::AddOrRefresh(std::span<const device::DeviceInfo> devices,
                                std::optional<std::int32_t> seenAt) {
    Update update;
    // New cameras in the order of their first answer in the batch, each with
    // its latest answer. Their rows are made only once they are inserted:
    // a batch of rows built aside and moved in would cost every page a
    // fresh block of memory per batch.
    std::vector<const device::DeviceInfo*> added;
    std::unordered_map<device::DeviceId, std::size_t, device::DeviceIdHash> addedIndex;
    // Answers of one new camera through two protocols in one batch, merged.
    std::deque<device::DeviceInfo> mergedNew;
    for (const device::DeviceInfo& answer : devices) {
        const device::DeviceId& key = answer.id;
        if (const int row = RowOf(key); row >= 0) {
            Entry& entry = m_rows[static_cast<std::size_t>(row)];
            if (seenAt) {
                entry.device.lastSeen = *seenAt;
                if (entry.device.offline) {
                    entry.device.offline = false; // it answers again
                    emit dataChanged(index(row, 0), index(row, columnCount() - 1));
                }
            }
            const device::DeviceInfo info = device::MergeAnswer(entry.device.info, answer);
            // Most answers repeat what the camera told before.
            if (!device::SameValues(entry.device.info, info)) {
                const device::DeviceInfo before = entry.device.info;
                entry.device.info = info;
                int first = -1;
                int last = -1;
                for (int c = 0; c < columnCount(); ++c) {
                    if (cellText(before, c) != cellText(info, c)) {
                        first = first < 0 ? c : first;
                        last = c;
                        update.changedColumns.push_back(c);
                    }
                }
                if (first >= 0) {
                    // Only the display changed: the sort proxy keeps each
                    // row where it is until the list is sorted again.
                    emit dataChanged(index(row, first), index(row, last), {Qt::DisplayRole});
                }
            }
            ++update.refreshed;
        } else if (const auto it = addedIndex.find(key); it != addedIndex.end()) {
            // The same camera twice in one batch (answers on two adapters,
            // or through two protocols).
            added[it->second] =
                &mergedNew.emplace_back(device::MergeAnswer(*added[it->second], answer));
        } else if (rowCount() + static_cast<int>(added.size()) >= kMaxDevices) {
            ++update.refused;
        } else {
            addedIndex.emplace(key, added.size());
            added.push_back(&answer);
        }
    }
    if (!added.empty()) {
        const int first = rowCount();
        beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
        for (const device::DeviceInfo* info : added) {
            m_index.emplace(info->id, static_cast<int>(m_rows.size()));
            Entry& entry = m_rows.emplace_back();
            entry.device.info = *info;
            entry.device.lastSeen = seenAt.value_or(0);
            takeSortValues(entry);
        }
        endInsertRows();
        update.added = static_cast<int>(added.size());
    }
    std::sort(update.changedColumns.begin(), update.changedColumns.end());
    update.changedColumns.erase(
        std::unique(update.changedColumns.begin(), update.changedColumns.end()),
        update.changedColumns.end());
    return update;
}

QString CDeviceTableModel::offlineText(const DeviceRow& row) const {
    const QDateTime since = QDateTime::fromSecsSinceEpoch(row.lastSeen);
    // A camera gone since an earlier day says which day.
    const bool today = since.date() == QDate::currentDate();
    return m_offlineText.arg(
        since.toString(today ? QStringLiteral("HH:mm") : QStringLiteral("yyyy-MM-dd HH:mm")));
}

int CDeviceTableModel::AddOffline(std::span<const DeviceRow> rows) {
    std::vector<const DeviceRow*> added;
    std::unordered_set<device::DeviceId, device::DeviceIdHash> taken;
    for (const DeviceRow& row : rows) {
        if (RowOf(row.info.id) < 0 && !row.info.id.IsNull() &&
            rowCount() + static_cast<int>(added.size()) < kMaxDevices &&
            taken.insert(row.info.id).second) {
            added.push_back(&row);
        }
    }
    if (added.empty()) {
        return 0;
    }
    const int first = rowCount();
    beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
    for (const DeviceRow* row : added) {
        m_index.emplace(row->info.id, static_cast<int>(m_rows.size()));
        Entry& entry = m_rows.emplace_back();
        entry.device = *row;
        entry.device.offline = true;
        takeSortValues(entry);
    }
    endInsertRows();
    return static_cast<int>(added.size());
}

void CDeviceTableModel::SetOffline(const std::vector<int>& rows) {
    for (const int row : rows) {
        if (row >= 0 && row < rowCount()) {
            m_rows[static_cast<std::size_t>(row)].device.offline = true;
            emit dataChanged(index(row, 0), index(row, columnCount() - 1));
        }
    }
}

void CDeviceTableModel::RemoveRows(std::vector<int> rows) {
    std::sort(rows.begin(), rows.end());
    rows.erase(std::remove_if(rows.begin(), rows.end(),
                              [this](int row) { return row < 0 || row >= rowCount(); }),
               rows.end());
    if (rows.empty()) {
        return;
    }
    // From the back, so the rows still to go keep their numbers.
    for (std::size_t end = rows.size(); end > 0;) {
        std::size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] + 1 == rows[begin]) {
            --begin;
        }
        const int first = rows[begin];
        const int last = rows[end - 1];
        beginRemoveRows({}, first, last);
        for (int row = first; row <= last; ++row) {
            m_index.erase(At(row).device.info.id);
        }
        m_rows.erase(m_rows.begin() + first, m_rows.begin() + last + 1);
        endRemoveRows();
        end = begin;
    }
    for (std::size_t r = static_cast<std::size_t>(rows.front()); r < m_rows.size(); ++r) {
        m_index[m_rows[r].device.info.id] = static_cast<int>(r);
    }
}

bool CDeviceTableModel::SetChecked(int row, bool checked) {
    if (!m_profile.checkBoxes || row < 0 || row >= rowCount()) {
        return false;
    }
    bool& state = m_rows[static_cast<std::size_t>(row)].checked;
    if (state != checked) {
        state = checked;
        emit dataChanged(index(row, 0), index(row, 0), {Qt::CheckStateRole});
    }
    return true;
}

void CDeviceTableModel::SetAllChecked(bool checked) {
    if (!m_profile.checkBoxes || m_rows.empty()) {
        return;
    }
    for (Entry& entry : m_rows) {
        entry.checked = checked;
    }
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void CDeviceTableModel::CheckWhere(const std::function<bool(const Entry&)>& which) {
    if (!m_profile.checkBoxes || m_rows.empty()) {
        return;
    }
    for (Entry& entry : m_rows) {
        entry.checked = entry.checked || which(entry);
    }
    emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
}

void CDeviceTableModel::SetHeaderTexts(const std::vector<QString>& titles) {
    const std::size_t n = std::min(titles.size(), m_titles.size());
    for (std::size_t i = 0; i < n; ++i) {
        m_titles[i] = titles[i];
    }
    if (columnCount() > 0) {
        emit headerDataChanged(Qt::Horizontal, 0, columnCount() - 1);
    }
}

} // namespace orv

#pragma once
// The cameras of one page's list, in the order they first answered: each row
// owns its copy of what the camera told, the time of its last answer and its
// check mark. Rows are found by their key in constant time. The order the
// user sees is the sort proxy's business (DeviceSortProxy.h).

#include "DeviceListProfile.h"

#include <QAbstractTableModel>
#include <QCollator>
#include <QString>

#include <array>
#include <deque>
#include <functional>
#include <optional>
#include <span>
#include <unordered_map>
#include <vector>

namespace orv {

class CDeviceTableModel : public QAbstractTableModel {
    Q_OBJECT
public:
    // The most cameras one list holds; answers of further cameras are
    // refused (a station that invents MAC addresses must not exhaust memory).
    static constexpr int kMaxDevices = 10000;

    struct Entry {
        DeviceRow device;
        bool checked = false;
        // What the row was last sorted by: the sort column's cell as it was
        // then (trimmed, upper case), its collation key and, on the IP
        // column, its four numbers. A refresh leaves these alone, so a
        // camera that changes its address keeps its place until the next
        // sort, and rows can be placed by binary search against them.
        QString sortText;
        std::optional<QCollatorSortKey> sortKey;
        std::optional<std::array<int, 4>> sortIp;
    };

    explicit CDeviceTableModel(const DeviceListProfile& profile, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    const DeviceListProfile& Profile() const { return m_profile; }
    const Entry& At(int row) const { return m_rows[static_cast<std::size_t>(row)]; }
    // The row of a camera, or -1.
    int RowOf(const device::DeviceId& key) const;
    // The camera on `former`'s row is known as `now` from here on: the row
    // stays where it is. False when `former` is not listed or `now` is (that
    // row is the camera's, and `former`'s must go instead).
    bool Rekey(const device::DeviceId& former, const device::DeviceId& now);

    struct Update {
        int added = 0;
        int refreshed = 0;
        int refused = 0; // new cameras beyond kMaxDevices
        // A refresh changed a cell of this column (-1: none) or more.
        std::vector<int> changedColumns;
    };
    // New cameras are appended in one insertion; known ones take the answer
    // and, with `seenAt`, the time of the answer.
    Update AddOrRefresh(std::span<const device::DeviceInfo> devices,
                        std::optional<std::int32_t> seenAt);
    // Cameras the open site remembers that are not listed: added offline,
    // in one insertion.
    int AddOffline(std::span<const DeviceRow> rows);
    // Marks the rows offline, with one change notification per row.
    void SetOffline(const std::vector<int>& rows);
    // "offline since %1" in the current language; %1 is the time.
    void SetOfflineText(const QString& text) { m_offlineText = text; }
    // True on an offline row, for the view's colours.
    static constexpr int kOfflineRole = Qt::UserRole + 1;
    // Removes the rows (any order, no repeats), each run of neighbours at
    // once, so a thousand silent cameras leave in one pass.
    void RemoveRows(std::vector<int> rows);
    bool SetChecked(int row, bool checked);
    // Takes every row's sort values from `column` as it reads now; rows
    // added later take theirs from the same column.
    void SetSortBasis(int column);
    int SortBasis() const { return m_sortColumn; }
    void SetAllChecked(bool checked);
    // Ticks the rows `which` takes, with one change notification.
    void CheckWhere(const std::function<bool(const Entry&)>& which);
    // Column titles in the current language.
    void SetHeaderTexts(const std::vector<QString>& titles);

private:
    // A cell as shown: made from the camera's values when asked, since only the
    // rows on screen are ever asked.
    QString cellText(const device::DeviceInfo& device, int column) const;
    QString offlineText(const DeviceRow& row) const;
    void takeSortValues(Entry& entry) const;
    Qt::Alignment alignment(int column) const;

    const DeviceListProfile& m_profile;
    // Rows stay where they are while more are added. A vector would copy
    // every row each time it grows (a collation key can only be copied), on
    // every page in the same turn.
    std::deque<Entry> m_rows;
    std::unordered_map<device::DeviceId, int, device::DeviceIdHash> m_index;
    std::vector<QString> m_titles;
    QString m_offlineText = QStringLiteral("offline since %1");
    int m_sortColumn = -1;
    // Opened once per sort basis: opening a collator costs more than many
    // comparisons, and every key must come from the same collator.
    QCollator m_collator;
};

} // namespace orv

#pragma once
// The order a page's list shows its cameras in. The IP column can compare
// its four numbers; every other column, and the IP column when the list
// sorts by text, compares its cells trimmed and upper-cased, locale-aware.
// Descending swaps the operands, so rows that compare equal keep their order
// in both directions. New rows find their place by binary search; a refresh
// never moves a row (rows compare by what they were last sorted by). The
// row-number column shows each row's position, 1..n, without being stored.

#include "DeviceTableModel.h"

#include <QSortFilterProxyModel>

namespace orv {

class CDeviceSortProxy : public QSortFilterProxyModel {
    Q_OBJECT
public:
    struct Order {
        int column = -1;
        bool ascending = true;
        // The IP column compares its numbers (else its text like any column).
        bool numericIp = true;
        bool operator==(const Order&) const = default;
    };

    explicit CDeviceSortProxy(CDeviceTableModel& source, QObject* parent = nullptr);

    // Sorts every row by `order` with the cells as they read now.
    void Sort(const Order& order);
    const Order& CurrentOrder() const { return m_order; }

    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;

protected:
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

private:
    CDeviceTableModel& m_source;
    Order m_order;
};

} // namespace orv

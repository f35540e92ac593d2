#include "DeviceSortProxy.h"

namespace orv {

CDeviceSortProxy::CDeviceSortProxy(CDeviceTableModel& source, QObject* parent)
    : QSortFilterProxyModel(parent), m_source(source) {
    setSourceModel(&source);
    setDynamicSortFilter(true);
}

void CDeviceSortProxy::Sort(const Order& order) {
    m_order = order;
    m_source.SetSortBasis(order.column);
    const Qt::SortOrder direction = order.ascending ? Qt::AscendingOrder : Qt::DescendingOrder;
    if (sortColumn() != order.column || sortOrder() != direction) {
        sort(order.column, direction);
    } else {
        // sort() skips a key it already has; switching the dynamic order on
        // sorts again, stably from the present order, like a fresh sort.
        setDynamicSortFilter(true);
    }
}

QVariant CDeviceSortProxy::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole && index.isValid() &&
        index.column() == m_source.Profile().numberColumn) {
        return QString::number(index.row() + 1);
    }
    return QSortFilterProxyModel::data(index, role);
}

bool CDeviceSortProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const CDeviceTableModel::Entry& a = m_source.At(left.row());
    const CDeviceTableModel::Entry& b = m_source.At(right.row());
    if (m_order.numericIp && left.column() == m_source.Profile().ipColumn) {
        // Cells that read as four numbers come first, in numeric order; the
        // others follow among themselves by text.
        if (a.sortIp && b.sortIp) {
            return *a.sortIp < *b.sortIp;
        }
        if (a.sortIp.has_value() != b.sortIp.has_value()) {
            return a.sortIp.has_value();
        }
        return a.sortText < b.sortText;
    }
    return a.sortKey->compare(*b.sortKey) < 0;
}

} // namespace orv

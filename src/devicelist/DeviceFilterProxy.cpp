#include "DeviceFilterProxy.h"

#include <QRegularExpression>

#include <algorithm>
#include <iterator>

namespace orv {

CDeviceFilterProxy::CDeviceFilterProxy(CDeviceSortProxy& sorted, CDeviceTableModel& model,
                                       QObject* parent)
    : QSortFilterProxyModel(parent), m_sorted(sorted), m_model(model) {
    setSourceModel(&sorted);
    // A camera renamed or readdressed while the filter is on comes or goes.
    setDynamicSortFilter(true);
}

void CDeviceFilterProxy::SetFilter(const QString& text) {
    const QStringList words =
        text.split(QRegularExpression(QStringLiteral("\\s+")), Qt::SkipEmptyParts);
    if (words == m_words) {
        return;
    }
    m_words = words;
    invalidateFilter();
}

bool CDeviceFilterProxy::Shows(const device::DeviceInfo& device) const {
    if (m_words.isEmpty()) {
        return true;
    }
    const QString fields[] = {device.name, QString::fromStdString(device.MacText()),
                              device.AddressText(), device.model, device.firmware};
    for (const QString& word : m_words) {
        const bool found = std::any_of(std::begin(fields), std::end(fields), [&](const QString& f) {
            return f.contains(word, Qt::CaseInsensitive);
        });
        if (!found) {
            return false;
        }
    }
    return true;
}

bool CDeviceFilterProxy::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    if (m_words.isEmpty()) {
        return true;
    }
    const int row = m_sorted.mapToSource(m_sorted.index(sourceRow, 0)).row();
    return row >= 0 && row < m_model.rowCount() && Shows(m_model.At(row).device.info);
}

QVariant CDeviceFilterProxy::data(const QModelIndex& index, int role) const {
    if (role == Qt::DisplayRole && index.isValid() &&
        index.column() == m_model.Profile().numberColumn) {
        return QString::number(index.row() + 1);
    }
    return QSortFilterProxyModel::data(index, role);
}

} // namespace orv

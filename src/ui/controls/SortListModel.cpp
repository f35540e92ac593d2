#include "SortListModel.h"

#include <algorithm>

namespace orv::ui {

CSortListModel::CSortListModel(QObject* parent) : QAbstractTableModel(parent) {}

int CSortListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CSortListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_columns.size());
}

QVariant CSortListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
    case Qt::EditRole:
        return row.texts.at(index.column());
    case Qt::CheckStateRole:
        if (m_checkable && index.column() == 0) {
            return row.checked ? Qt::Checked : Qt::Unchecked;
        }
        return {};
    case Qt::TextAlignmentRole:
        return QVariant::fromValue(ColumnFormat(index.column()) | Qt::AlignVCenter);
    default:
        return {};
    }
}

bool CSortListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return false;
    }
    if (role == Qt::CheckStateRole) {
        if (!m_checkable || index.column() != 0) {
            return false;
        }
        return SetChecked(index.row(), value.value<Qt::CheckState>() != Qt::Unchecked);
    }
    if (role == Qt::EditRole || role == Qt::DisplayRole) {
        return SetText(index.row(), index.column(), value.toString());
    }
    return false;
}

QVariant CSortListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount()) {
        return QAbstractTableModel::headerData(section, orientation, role);
    }
    const Column& column = m_columns[static_cast<std::size_t>(section)];
    if (role == Qt::DisplayRole) {
        return column.title;
    }
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(column.format | Qt::AlignVCenter);
    }
    return {};
}

Qt::ItemFlags CSortListModel::flags(const QModelIndex& index) const {
    if (!index.isValid()) {
        return Qt::NoItemFlags;
    }
    Qt::ItemFlags result = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (m_checkable && index.column() == 0) {
        result |= Qt::ItemIsUserCheckable;
    }
    return result;
}

int CSortListModel::InsertColumn(int index, const QString& title, Qt::Alignment format) {
    const int count = columnCount();
    if (index < 0 || index > count) {
        index = count;
    }
    beginInsertColumns({}, index, index);
    m_columns.insert(m_columns.begin() + index, Column{title, format & Qt::AlignHorizontal_Mask});
    for (Row& row : m_rows) {
        row.texts.insert(index, QString());
    }
    endInsertColumns();
    return index;
}

bool CSortListModel::SetColumnTitle(int column, const QString& title) {
    if (column < 0 || column >= columnCount()) {
        return false;
    }
    m_columns[static_cast<std::size_t>(column)].title = title;
    emit headerDataChanged(Qt::Horizontal, column, column);
    return true;
}

Qt::Alignment CSortListModel::ColumnFormat(int column) const {
    if (column < 0 || column >= columnCount()) {
        return Qt::AlignLeft;
    }
    return m_columns[static_cast<std::size_t>(column)].format;
}

int CSortListModel::InsertRow(int index, const QString& firstText) {
    if (index < 0) {
        return -1;
    }
    index = std::min(index, rowCount());
    Row row;
    for (std::size_t i = 0; i < m_columns.size(); ++i) {
        row.texts.append(QString());
    }
    if (!row.texts.isEmpty()) {
        row.texts[0] = firstText;
    }
    beginInsertRows({}, index, index);
    m_rows.insert(m_rows.begin() + index, std::move(row));
    endInsertRows();
    return index;
}

bool CSortListModel::RemoveRow(int row) {
    if (!IsValidRow(row)) {
        return false;
    }
    beginRemoveRows({}, row, row);
    m_rows.erase(m_rows.begin() + row);
    endRemoveRows();
    return true;
}

void CSortListModel::RemoveAllRows() {
    if (m_rows.empty()) {
        return;
    }
    beginRemoveRows({}, 0, rowCount() - 1);
    m_rows.clear();
    endRemoveRows();
}

QString CSortListModel::Text(int row, int column) const {
    if (!IsValidRow(row) || column < 0 || column >= columnCount()) {
        return {};
    }
    return m_rows[static_cast<std::size_t>(row)].texts.at(column);
}

bool CSortListModel::SetText(int row, int column, const QString& text) {
    if (!IsValidRow(row) || column < 0 || column >= columnCount()) {
        return false;
    }
    QString& cell = m_rows[static_cast<std::size_t>(row)].texts[column];
    if (cell != text) {
        cell = text;
        const QModelIndex changed = index(row, column);
        emit dataChanged(changed, changed, {Qt::DisplayRole, Qt::EditRole});
    }
    return true;
}

void* CSortListModel::UserData(int row) const {
    return IsValidRow(row) ? m_rows[static_cast<std::size_t>(row)].userData : nullptr;
}

bool CSortListModel::SetUserData(int row, void* userData) {
    if (!IsValidRow(row)) {
        return false;
    }
    m_rows[static_cast<std::size_t>(row)].userData = userData;
    return true;
}

void CSortListModel::SetCheckable(bool checkable) {
    if (checkable == m_checkable) {
        return;
    }
    m_checkable = checkable;
    if (!m_rows.empty() && !m_columns.empty()) {
        emit dataChanged(index(0, 0), index(rowCount() - 1, 0), {Qt::CheckStateRole});
    }
}

bool CSortListModel::IsChecked(int row) const {
    return m_checkable && IsValidRow(row) && m_rows[static_cast<std::size_t>(row)].checked;
}

bool CSortListModel::SetChecked(int row, bool checked) {
    if (!m_checkable || !IsValidRow(row)) {
        return false;
    }
    bool& state = m_rows[static_cast<std::size_t>(row)].checked;
    if (state != checked) {
        state = checked;
        if (!m_columns.empty()) {
            const QModelIndex changed = index(row, 0);
            emit dataChanged(changed, changed, {Qt::CheckStateRole});
        }
        emit checkChanged(row, checked);
    }
    return true;
}

void CSortListModel::ApplyRowOrder(const std::vector<int>& order) {
    if (order.size() != m_rows.size()) {
        return;
    }
    std::vector<bool> seen(order.size(), false);
    for (const int from : order) {
        if (from < 0 || from >= rowCount() || seen[static_cast<std::size_t>(from)]) {
            return; // not a rearrangement of the rows
        }
        seen[static_cast<std::size_t>(from)] = true;
    }
    emit layoutAboutToBeChanged({}, QAbstractItemModel::VerticalSortHint);
    std::vector<int> newRowOf(order.size());
    std::vector<Row> sorted;
    sorted.reserve(m_rows.size());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const auto from = static_cast<std::size_t>(order[i]);
        sorted.push_back(std::move(m_rows[from]));
        newRowOf[from] = static_cast<int>(i);
    }
    m_rows = std::move(sorted);
    const QModelIndexList before = persistentIndexList();
    QModelIndexList after;
    after.reserve(before.size());
    for (const QModelIndex& old : before) {
        after.append(index(newRowOf[static_cast<std::size_t>(old.row())], old.column()));
    }
    changePersistentIndexList(before, after);
    emit layoutChanged({}, QAbstractItemModel::VerticalSortHint);
}

bool CSortListModel::IsValidRow(int row) const {
    return row >= 0 && row < rowCount();
}

} // namespace orv::ui

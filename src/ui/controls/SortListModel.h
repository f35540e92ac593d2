#pragma once
// The rows of a CSortListCtrl: one record per row with a text per column, the
// row's check state and one caller pointer. Every change reaches the view as
// a fine-grained signal (one cell's dataChanged, a row inserted or removed, a
// layout change for a sort), never as a reset, so a list refreshed many times
// a second repaints only what changed.

#include <QAbstractTableModel>
#include <QStringList>

#include <vector>

namespace orv::ui {

class CSortListModel : public QAbstractTableModel {
    Q_OBJECT
public:
    explicit CSortListModel(QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // Columns. format is the horizontal alignment of the column's texts and
    // title (Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter). An index
    // outside 0..ColumnCount() appends. Returns the new column's index.
    int InsertColumn(int index, const QString& title, Qt::Alignment format);
    bool SetColumnTitle(int column, const QString& title);
    Qt::Alignment ColumnFormat(int column) const;

    // Rows. InsertRow returns the new row's index (an index past the end
    // appends) or -1 for a negative index.
    int InsertRow(int index, const QString& firstText);
    bool RemoveRow(int row);
    void RemoveAllRows();

    QString Text(int row, int column) const;
    // Emits dataChanged for that one cell, and only when the text differs.
    bool SetText(int row, int column, const QString& text);

    void* UserData(int row) const;
    bool SetUserData(int row, void* userData);

    // Check boxes exist only while the list shows them; without them no row
    // reports a check state.
    void SetCheckable(bool checkable);
    bool IsCheckable() const { return m_checkable; }
    bool IsChecked(int row) const;
    bool SetChecked(int row, bool checked);

    // Rearranges the rows: order[i] is the current index of the row that
    // becomes row i. Selection and other persistent indexes follow the rows.
    void ApplyRowOrder(const std::vector<int>& order);

signals:
    void checkChanged(int row, bool checked);

private:
    struct Column {
        QString title;
        Qt::Alignment format;
    };
    struct Row {
        QStringList texts;
        bool checked = false;
        void* userData = nullptr;
    };

    bool IsValidRow(int row) const;

    std::vector<Column> m_columns;
    std::vector<Row> m_rows;
    bool m_checkable = false;
};

} // namespace orv::ui

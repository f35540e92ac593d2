#pragma once
// The report-style list under every device list: columns of texts, an
// optional check box per row, sorting by any column through its flat header,
// and rows drawn by the list itself. Because the list draws the rows, the
// whole row is the check box: a left click anywhere on a row toggles it. A
// selected row is painted in the program's own blue, and the cell that was
// clicked last stands out in a second blue with a dotted focus frame.
//
// Notifications, in the order they arrive for one left click on a row:
// checkChanged (when the row has a check box), rowSelectionChanged (when the
// selection changes), itemClicked. A double click arrives as a left click
// followed by itemDoubleClicked; the double click itself changes no check.

#include "FlatHeaderCtrl.h"
#include "SortListModel.h"

#include <QCollator>
#include <QTableView>

#include <functional>

namespace orv::ui {

class CSortListCtrl : public QTableView {
    Q_OBJECT
public:
    // Compares the texts of two cells of one column: negative, 0 or positive.
    using CellCompare = std::function<int(const QString& left, const QString& right)>;

    explicit CSortListCtrl(QWidget* parent = nullptr);

    CFlatHeaderCtrl* GetHeaderCtrl() const { return m_header; }
    CSortListModel* GetModel() const { return m_model; }

    // Columns. format: Qt::AlignLeft, Qt::AlignRight or Qt::AlignHCenter.
    int InsertColumn(int index, const QString& title, Qt::Alignment format = Qt::AlignLeft,
                     int width = 100);
    bool SetColumnTitle(int column, const QString& title);
    int GetColumnCount() const { return m_model->columnCount(); }

    // Rows.
    int InsertItem(int index, const QString& text);
    bool SetItemText(int row, int column, const QString& text);
    QString GetItemText(int row, int column) const { return m_model->Text(row, column); }
    bool SetItemUserData(int row, void* userData) { return m_model->SetUserData(row, userData); }
    // The list never frees the pointer, also not when the row is deleted.
    void* GetItemUserData(int row) const { return m_model->UserData(row); }
    bool DeleteItem(int row) { return m_model->RemoveRow(row); }
    void DeleteAllItems() { m_model->RemoveAllRows(); }
    int GetItemCount() const { return m_model->rowCount(); }

    // Check boxes.
    void SetCheckBoxes(bool shown);
    bool HasCheckBoxes() const { return m_model->IsCheckable(); }
    bool GetCheck(int row) const { return m_model->IsChecked(row); }
    bool SetCheck(int row, bool checked) { return m_model->SetChecked(row, checked); }

    // Selection.
    bool IsItemSelected(int row) const;
    // The first selected row after row, or from row 0 on when row is negative;
    // -1 when there is none.
    int GetNextSelectedItem(int row) const;
    bool SelectItem(int row, bool selected);

    // Sorting. SortByColumn always compares the cells as text; it stores the
    // state in the header and does nothing for a column outside the header.
    // SortByColumnWithRule compares the given column through CompareColumn,
    // which a derived list overrides for columns that are not plain text.
    void SortByColumn(int column, bool ascending);
    void SortByColumnWithRule(int column, bool ascending);
    // Sorts again with the stored state, as text.
    void Resort();
    // Where a new row whose cell in `column` reads `text` ends up when it is
    // appended and the rows are then sorted by that column (through
    // CompareColumn with `withRule`, as text otherwise), provided the rows
    // already are in that order; -1 when they are not. Lets a list that
    // grows one row at a time insert in place instead of sorting again.
    int SortedInsertPosition(int column, bool ascending, const QString& text, bool withRule) const;
    // The same place for rows the caller knows to be in that order.
    int SortedPosition(int column, bool ascending, const QString& text, bool withRule) const;

    void SetFirstHighlightColumn(int column);
    void SetCellHighlight(bool on);
    int GetClickedColumn() const { return m_clickedColumn; }
    void SetExtraRowHeight(int pixels);

signals:
    // byUser: the change came from a click or the space bar, not from SetCheck.
    void checkChanged(int row, bool checked, bool byUser);
    void rowSelectionChanged(int row, bool selected);
    // row is -1 when the click hit no row; column is the hit column or -1.
    void itemClicked(int row, int column);
    void itemRightClicked(int row, int column);
    void itemDoubleClicked(int row, int column);
    // After every sort, whatever started it: rows have moved, row numbers are stale.
    void sorted(int column, bool ascending);

protected:
    // The comparison SortByColumnWithRule uses; the default is the text rule.
    virtual int CompareColumn(int column, const QString& left, const QString& right) const;
    // The text rule, with the collation of the sort in progress.
    int CompareTexts(const QString& left, const QString& right) const;
    // A click on a header item. The default: ascending for a new sort column,
    // the reverse direction for the current one, then SortByColumn.
    virtual void OnHeaderClick(int column);

    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    using QTableView::edit;
    // Cells are never edited in place, and no delegate toggles check boxes
    // behind the list's back.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    bool RowPrecedes(int column, bool ascending, bool withRule, const QString& a,
                     const QString& b) const;
    void SortRows(int column, bool ascending, const CellCompare& compare);
    void UpdateRowHeight();
    void ToggleCheckByUser(int row);
    QRect RowRect(int row) const;
    QRect CheckBoxRect(const QRect& firstCell) const;
    void PaintRow(QPainter& painter, int row, const QRect& rowRect) const;

    CSortListModel* m_model = nullptr;
    CFlatHeaderCtrl* m_header = nullptr;
    int m_clickedColumn = -1;
    bool m_cellHighlight = true;
    int m_firstHighlightColumn = -1;
    int m_extraRowHeight = 0;
    bool m_userToggle = false;
    // Opened once per sort: opening a collator costs more than many comparisons.
    QCollator m_collator;
};

} // namespace orv::ui

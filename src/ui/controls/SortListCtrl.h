#pragma once
// The report-style list under every device list: a view of a table model
// that draws its rows itself, so the whole row is the check box (a left click
// anywhere on a row toggles it), a selected row is painted in the program's
// own blue, and the cell clicked last stands out in a second blue with a
// dotted focus frame. Its flat header shows the sort state; what a header
// click sorts is the model's business.
//
// The model gives each cell's text (DisplayRole), alignment
// (TextAlignmentRole) and, in column 0, the check state (CheckStateRole,
// only where the row has one). Notifications, in the order they arrive for
// one left click on a row: checkToggled (when the row has a check box),
// rowSelected (when the selection moves to the row), itemClicked. A double
// click arrives as a left click followed by itemDoubleClicked; the double
// click itself changes no check.

#include "FlatHeaderCtrl.h"

#include <QBasicTimer>
#include <QFontMetrics>
#include <QHash>
#include <QTableView>

#include <optional>

namespace orv::ui {

class CSortListCtrl : public QTableView {
    Q_OBJECT
public:
    explicit CSortListCtrl(QWidget* parent = nullptr);
    // A row whose first cell is true under this role is drawn in the
    // disabled text colour (a camera that does not answer now).
    static constexpr int kDimmedRole = Qt::UserRole + 1;

    CFlatHeaderCtrl* GetHeaderCtrl() const { return m_header; }
    void setModel(QAbstractItemModel* model) override;

    int GetItemCount() const;
    QString GetItemText(int row, int column) const;
    // The first selected row after row, or from row 0 on when row is
    // negative; -1 when there is none.
    int GetNextSelectedItem(int row) const;
    bool IsItemSelected(int row) const;
    bool SelectItem(int row, bool selected);
    bool HasCheckBox(int row) const;
    bool GetCheck(int row) const;

    void SetFirstHighlightColumn(int column);
    void SetCellHighlight(bool on);
    int GetClickedColumn() const { return m_clickedColumn; }
    void SetExtraRowHeight(int pixels);
    // Widens, soon after, the columns that are too narrow for their
    // header's text or for the text of a row in view.
    void FitColumns();

signals:
    // A person toggled the row's check box (a click or the space bar).
    void checkToggled(int row, bool checked);
    void rowSelected(int row);
    // row is -1 when the click hit no row; column is the hit column or -1.
    void itemClicked(int row, int column);
    void itemRightClicked(int row, int column);
    void itemDoubleClicked(int row, int column);
    void headerClicked(int column);

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void changeEvent(QEvent* event) override;
    void timerEvent(QTimerEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    using QTableView::edit;
    // Cells are never edited in place, and no delegate toggles check boxes
    // behind the list's back.
    bool edit(const QModelIndex& index, EditTrigger trigger, QEvent* event) override;

private:
    void UpdateRowHeight();
    void ToggleCheckByUser(int row);
    QString Text(int row, int column) const;
    QRect RowRect(int row) const;
    QRect CheckBoxRect(const QRect& firstCell) const;
    void PaintRow(QPainter& painter, int row, const QRect& rowRect) const;
    // A text's width in the list's font, measured once: measuring shapes the
    // text, and while cameras arrive the same cells are painted turn after
    // turn.
    int TextWidth(const QFontMetrics& metrics, const QString& text) const;

    CFlatHeaderCtrl* m_header = nullptr;
    int m_clickedColumn = -1;
    bool m_cellHighlight = true;
    int m_firstHighlightColumn = -1;
    int m_extraRowHeight = 0;
    // Widths by text, for the font of m_widthMetrics.
    mutable QHash<QString, int> m_widths;
    mutable std::optional<QFontMetrics> m_widthMetrics;
    // The rows in view measured for the columns' widths, once per turn.
    void fitToView();
    QBasicTimer m_fitTimer;
};

} // namespace orv::ui

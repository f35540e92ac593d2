#pragma once
// The column header of CSortListCtrl: flat items on a grey gradient, and the
// list's sort state, which it keeps and shows as a small triangle at the
// right end of the sort column (apex up ascending, apex down descending).
// Setting the state only changes what is shown; sorting is the list's job.

#include <QColor>
#include <QHeaderView>

namespace orv::ui {

class CFlatHeaderCtrl : public QHeaderView {
    Q_OBJECT
public:
    explicit CFlatHeaderCtrl(QWidget* parent = nullptr);

    int GetSortColumn() const { return m_sortColumn; }
    bool IsSortAscending() const { return m_ascending; }
    void SetSortColumn(int column);
    void SetSortAscending(bool ascending);

protected:
    void paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const override;
    void paintEvent(QPaintEvent* event) override;

private:
    void PaintBackground(QPainter* painter, const QRect& rect) const;
    void PaintSortMark(QPainter* painter, const QRect& section) const;

    int m_sortColumn = -1;
    bool m_ascending = false;
    // The mark is drawn as an etched outline: lit edges and shaded edges.
    QColor m_highlightPen;
    QColor m_shadowPen;
};

} // namespace orv::ui

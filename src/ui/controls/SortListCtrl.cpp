#include "SortListCtrl.h"

#include "SortListRules.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QScopedValueRollback>
#include <QStyleOptionViewItem>

#include <algorithm>
#include <set>

namespace orv::ui {

namespace {

const QColor kSelectedRow(132, 192, 252);
const QColor kHighlightedCell(115, 186, 226);
constexpr int kTextIndent = 4;
constexpr int kCheckBoxMargin = 3;

bool IsIdentity(const std::vector<int>& order) {
    for (std::size_t i = 0; i < order.size(); ++i) {
        if (order[i] != static_cast<int>(i)) {
            return false;
        }
    }
    return true;
}

} // namespace

CSortListCtrl::CSortListCtrl(QWidget* parent) : QTableView(parent) {
    m_model = new CSortListModel(this);
    m_header = new CFlatHeaderCtrl(this);
    setHorizontalHeader(m_header);
    setModel(m_model);

    setSelectionBehavior(SelectRows);
    setSelectionMode(ExtendedSelection);
    setEditTriggers(NoEditTriggers);
    setSortingEnabled(false);
    setShowGrid(false);
    setWordWrap(false);
    setHorizontalScrollMode(ScrollPerPixel);
    verticalHeader()->hide();
    verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    verticalHeader()->setMinimumSectionSize(1);
    // Rows cover their own area completely; Qt must not clear it first.
    viewport()->setAttribute(Qt::WA_OpaquePaintEvent);
    UpdateRowHeight();

    connect(m_header, &QHeaderView::sectionClicked, this,
            [this](int column) { OnHeaderClick(column); });
    connect(m_model, &CSortListModel::checkChanged, this,
            [this](int row, bool checked) { emit checkChanged(row, checked, m_userToggle); });
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected, const QItemSelection& deselected) {
                const auto rowsOf = [](const QItemSelection& selection) {
                    std::set<int> rows;
                    for (const QItemSelectionRange& range : selection) {
                        for (int row = range.top(); row <= range.bottom(); ++row) {
                            rows.insert(row);
                        }
                    }
                    return rows;
                };
                for (const int row : rowsOf(deselected)) {
                    emit rowSelectionChanged(row, false);
                }
                for (const int row : rowsOf(selected)) {
                    emit rowSelectionChanged(row, true);
                }
            });
}

int CSortListCtrl::InsertColumn(int index, const QString& title, Qt::Alignment format, int width) {
    const int column = m_model->InsertColumn(index, title, format);
    m_header->resizeSection(column, width);
    return column;
}

bool CSortListCtrl::SetColumnTitle(int column, const QString& title) {
    return m_model->SetColumnTitle(column, title);
}

int CSortListCtrl::InsertItem(int index, const QString& text) {
    return m_model->InsertRow(index, text);
}

bool CSortListCtrl::SetItemText(int row, int column, const QString& text) {
    return m_model->SetText(row, column, text);
}

void CSortListCtrl::SetCheckBoxes(bool shown) {
    m_model->SetCheckable(shown);
    viewport()->update();
}

bool CSortListCtrl::IsItemSelected(int row) const {
    return row >= 0 && row < GetItemCount() && selectionModel()->isRowSelected(row, {});
}

int CSortListCtrl::GetNextSelectedItem(int row) const {
    for (int next = row < 0 ? 0 : row + 1; next < GetItemCount(); ++next) {
        if (IsItemSelected(next)) {
            return next;
        }
    }
    return -1;
}

bool CSortListCtrl::SelectItem(int row, bool selected) {
    if (row < 0 || row >= GetItemCount() || GetColumnCount() == 0) {
        return false;
    }
    QItemSelectionModel::SelectionFlags command = QItemSelectionModel::Rows;
    if (!selected) {
        command |= QItemSelectionModel::Deselect;
    } else if (selectionMode() == SingleSelection) {
        command |= QItemSelectionModel::ClearAndSelect;
    } else {
        command |= QItemSelectionModel::Select;
    }
    selectionModel()->select(m_model->index(row, 0), command);
    return true;
}

void CSortListCtrl::SortByColumn(int column, bool ascending) {
    if (column < 0 || column >= GetColumnCount()) {
        return;
    }
    SortRows(column, ascending, [this](const QString& left, const QString& right) {
        return CompareTexts(left, right);
    });
}

void CSortListCtrl::SortByColumnWithRule(int column, bool ascending) {
    if (column < 0 || column >= GetColumnCount()) {
        return;
    }
    SortRows(column, ascending, [this, column](const QString& left, const QString& right) {
        return CompareColumn(column, left, right);
    });
}

void CSortListCtrl::Resort() {
    SortByColumn(m_header->GetSortColumn(), m_header->IsSortAscending());
}

int CSortListCtrl::SortedInsertPosition(int column, bool ascending, const QString& text,
                                        bool withRule) const {
    const int rows = GetItemCount();
    if (column < 0 || column >= GetColumnCount()) {
        return rows;
    }
    for (int row = 1; row < rows; ++row) {
        if (RowPrecedes(column, ascending, withRule, m_model->Text(row, column),
                        m_model->Text(row - 1, column))) {
            return -1;
        }
    }
    return SortedPosition(column, ascending, text, withRule);
}

int CSortListCtrl::SortedPosition(int column, bool ascending, const QString& text,
                                  bool withRule) const {
    const int rows = GetItemCount();
    if (column < 0 || column >= GetColumnCount()) {
        return rows;
    }
    // A stable sort leaves an appended row behind every row it does not
    // precede: the first row that compares greater.
    int lo = 0;
    int hi = rows;
    while (lo < hi) {
        const int mid = lo + (hi - lo) / 2;
        if (RowPrecedes(column, ascending, withRule, text, m_model->Text(mid, column))) {
            hi = mid;
        } else {
            lo = mid + 1;
        }
    }
    return lo;
}

bool CSortListCtrl::RowPrecedes(int column, bool ascending, bool withRule, const QString& a,
                                const QString& b) const {
    // The same strict order a stable sort uses: descending swaps operands.
    const QString& left = ascending ? a : b;
    const QString& right = ascending ? b : a;
    return (withRule ? CompareColumn(column, left, right) : CompareTexts(left, right)) < 0;
}

int CSortListCtrl::CompareColumn(int, const QString& left, const QString& right) const {
    return CompareTexts(left, right);
}

int CSortListCtrl::CompareTexts(const QString& left, const QString& right) const {
    return CompareSortTexts(left, right, m_collator);
}

void CSortListCtrl::OnHeaderClick(int column) {
    const bool ascending =
        column != m_header->GetSortColumn() ? true : !m_header->IsSortAscending();
    SortByColumn(column, ascending);
}

void CSortListCtrl::SortRows(int column, bool ascending, const CellCompare& compare) {
    m_header->SetSortColumn(column);
    m_header->SetSortAscending(ascending);
    m_collator = QCollator(); // the default locale as it is now
    const int rows = GetItemCount();
    std::vector<QString> texts;
    texts.reserve(static_cast<std::size_t>(rows));
    for (int row = 0; row < rows; ++row) {
        texts.push_back(m_model->Text(row, column));
    }
    const std::vector<int> order = SortedRowOrder(rows, ascending, [&](int a, int b) {
        return compare(texts[static_cast<std::size_t>(a)], texts[static_cast<std::size_t>(b)]);
    });
    // An order that is already right leaves the rows, and the screen, alone.
    if (!IsIdentity(order)) {
        m_model->ApplyRowOrder(order);
    }
    emit sorted(column, ascending);
}

void CSortListCtrl::SetFirstHighlightColumn(int column) {
    m_firstHighlightColumn = column;
    viewport()->update();
}

void CSortListCtrl::SetCellHighlight(bool on) {
    m_cellHighlight = on;
    viewport()->update();
}

void CSortListCtrl::SetExtraRowHeight(int pixels) {
    m_extraRowHeight = pixels;
    UpdateRowHeight();
}

void CSortListCtrl::UpdateRowHeight() {
    const QFontMetrics metrics(font());
    verticalHeader()->setDefaultSectionSize(metrics.height() + metrics.leading() +
                                            m_extraRowHeight);
}

void CSortListCtrl::ToggleCheckByUser(int row) {
    const QScopedValueRollback<bool> byUser(m_userToggle, true);
    SetCheck(row, !GetCheck(row));
}

QRect CSortListCtrl::RowRect(int row) const {
    return {-horizontalOffset(), rowViewportPosition(row), m_header->length(), rowHeight(row)};
}

QRect CSortListCtrl::CheckBoxRect(const QRect& firstCell) const {
    // The box shrinks with a small font rather than spill into the next row.
    const int side = std::min({style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, this),
                               style()->pixelMetric(QStyle::PM_IndicatorHeight, nullptr, this),
                               firstCell.height() - 2});
    return {firstCell.left() + kCheckBoxMargin, firstCell.top() + (firstCell.height() - side) / 2,
            side, side};
}

void CSortListCtrl::paintEvent(QPaintEvent* event) {
    QPainter painter(viewport());
    const QRect area = event->rect();
    const int rows = GetItemCount();
    int rowsBottom = -1;
    int rowsRight = -1;
    if (rows > 0 && GetColumnCount() > 0) {
        const QRect last = RowRect(rows - 1);
        rowsBottom = last.bottom();
        rowsRight = last.right();
        const int first = rowAt(area.top());
        if (first >= 0) {
            int end = rowAt(area.bottom());
            if (end < 0) {
                end = rows - 1;
            }
            for (int row = first; row <= end; ++row) {
                PaintRow(painter, row, RowRect(row));
            }
        }
    }
    // Only what no row covers is erased, so refreshed rows never blink.
    const QColor background = palette().color(QPalette::Base);
    if (rowsRight < area.right()) {
        painter.fillRect(QRect(QPoint(rowsRight + 1, area.top()), area.bottomRight()), background);
    }
    if (rowsBottom < area.bottom()) {
        painter.fillRect(QRect(QPoint(area.left(), rowsBottom + 1), area.bottomRight()),
                         background);
    }
}

void CSortListCtrl::PaintRow(QPainter& painter, int row, const QRect& rowRect) const {
    const bool selected = IsItemSelected(row);
    painter.fillRect(rowRect, selected ? kSelectedRow : palette().color(QPalette::Base));

    const int grid = showGrid() ? 1 : 0;
    const auto cellRect = [&](int column) {
        return QRect(columnViewportPosition(column), rowRect.top(), columnWidth(column) - grid,
                     rowRect.height() - grid);
    };

    if (selected && m_cellHighlight && m_clickedColumn > m_firstHighlightColumn &&
        m_clickedColumn < GetColumnCount() && !isColumnHidden(m_clickedColumn)) {
        const QRect cell = cellRect(m_clickedColumn);
        painter.fillRect(cell, kHighlightedCell);
        QPen dotted(palette().color(QPalette::Text), 1, Qt::DotLine);
        dotted.setCosmetic(true);
        painter.setPen(dotted);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
    }

    // The check box goes on top, so a highlighted first cell never hides it.
    QRect checkBox;
    if (HasCheckBoxes() && !isColumnHidden(0)) {
        checkBox = CheckBoxRect(cellRect(0));
        QStyleOptionViewItem option;
        option.initFrom(this);
        option.rect = checkBox;
        option.state =
            QStyle::State_Enabled | (GetCheck(row) ? QStyle::State_On : QStyle::State_Off);
        style()->drawPrimitive(QStyle::PE_IndicatorItemViewItemCheck, &option, &painter, this);
    }

    QStyleOptionViewItem gridOption;
    gridOption.initFrom(this);
    const QColor gridColor = QColor::fromRgba(
        static_cast<QRgb>(style()->styleHint(QStyle::SH_Table_GridLineColor, &gridOption, this)));
    if (grid != 0) {
        painter.setPen(gridColor);
        painter.drawLine(rowRect.bottomLeft(), rowRect.bottomRight());
    }

    const QFontMetrics metrics(font());
    const auto measure = [&metrics](const QString& text) {
        return metrics.horizontalAdvance(text);
    };
    painter.setFont(font());
    for (int column = 0; column < GetColumnCount(); ++column) {
        if (isColumnHidden(column)) {
            continue;
        }
        const QRect cell = cellRect(column);
        if (grid != 0) {
            painter.setPen(gridColor);
            painter.drawLine(cell.right() + 1, rowRect.top(), cell.right() + 1, rowRect.bottom());
        }
        QRect label = cell.adjusted(kTextIndent, 0, -kTextIndent, 0);
        if (column == 0 && !checkBox.isNull()) {
            label.setLeft(checkBox.right() + 1 + kTextIndent);
        }
        const QString text = m_model->Text(row, column);
        if (text.isEmpty() || label.width() <= 0) {
            continue;
        }
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(
            label,
            static_cast<int>(m_model->ColumnFormat(column) | Qt::AlignVCenter | Qt::TextSingleLine),
            CutTextToWidth(text, label.width(), measure));
    }
}

void CSortListCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex hit = indexAt(event->position().toPoint());
    const int row = hit.isValid() ? hit.row() : -1;
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    if (left || right) {
        m_clickedColumn = hit.isValid() ? hit.column() : -1;
        if (left && row >= 0 && HasCheckBoxes()) {
            ToggleCheckByUser(row);
        }
        if (row >= 0) {
            viewport()->update(RowRect(row));
        }
    }
    QTableView::mousePressEvent(event);
    if (left) {
        emit itemClicked(row, m_clickedColumn);
    } else if (right) {
        emit itemRightClicked(row, m_clickedColumn);
    }
}

void CSortListCtrl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) {
        mousePressEvent(event);
        return;
    }
    // The press that began the double click has already toggled the check;
    // the double click itself is only reported.
    const QModelIndex hit = indexAt(event->position().toPoint());
    m_clickedColumn = hit.isValid() ? hit.column() : -1;
    event->accept();
    emit itemDoubleClicked(hit.isValid() ? hit.row() : -1, m_clickedColumn);
}

void CSortListCtrl::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_A && event->modifiers().testFlag(Qt::ControlModifier)) {
        if (selectionMode() != SingleSelection && selectionMode() != NoSelection) {
            selectAll();
        }
        event->accept();
        return;
    }
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier && HasCheckBoxes() &&
        currentIndex().isValid()) {
        ToggleCheckByUser(currentIndex().row());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CSortListCtrl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        UpdateRowHeight();
    }
    QTableView::changeEvent(event);
}

bool CSortListCtrl::edit(const QModelIndex&, EditTrigger, QEvent*) {
    return false;
}

} // namespace orv::ui

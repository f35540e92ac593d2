#include "SortListCtrl.h"

#include "SortListRules.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QScrollBar>
#include <QShowEvent>
#include <QStyleOptionViewItem>
#include <QTimerEvent>

#include <algorithm>

namespace orv::ui {

namespace {

const QColor kSelectedRow(132, 192, 252);
const QColor kHighlightedCell(115, 186, 226);
constexpr int kTextIndent = 4;
constexpr int kCheckBoxMargin = 3;
// Texts whose width is kept; beyond that the widths are measured afresh.
constexpr qsizetype kMaxKnownWidths = 4096;
// A column grows for values up to about this many characters.
constexpr int kFitMaxChars = 48;

} // namespace

CSortListCtrl::CSortListCtrl(QWidget* parent) : QTableView(parent) {
    m_header = new CFlatHeaderCtrl(this);
    setHorizontalHeader(m_header);

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

    connect(m_header, &QHeaderView::sectionClicked, this, &CSortListCtrl::headerClicked);
}

void CSortListCtrl::setModel(QAbstractItemModel* model) {
    QTableView::setModel(model);
    connect(selectionModel(), &QItemSelectionModel::selectionChanged, this,
            [this](const QItemSelection& selected) {
                for (const QItemSelectionRange& range : selected) {
                    for (int row = range.top(); row <= range.bottom(); ++row) {
                        emit rowSelected(row);
                    }
                }
            });
    // A column grows to show every value in view whole as rows arrive,
    // change, sort or scroll into view; it never narrows behind the
    // person's back. Only the rows in view are measured: a flood of
    // thousands of invented cameras with names in every script would
    // otherwise cost the window the time and the fonts to measure them all.
    connect(model, &QAbstractItemModel::rowsInserted, this, &CSortListCtrl::FitColumns);
    connect(model, &QAbstractItemModel::dataChanged, this, &CSortListCtrl::FitColumns);
    connect(model, &QAbstractItemModel::headerDataChanged, this, &CSortListCtrl::FitColumns);
    connect(model, &QAbstractItemModel::modelReset, this, &CSortListCtrl::FitColumns);
    connect(model, &QAbstractItemModel::layoutChanged, this, &CSortListCtrl::FitColumns);
    connect(verticalScrollBar(), &QScrollBar::valueChanged, this, &CSortListCtrl::FitColumns);
}

void CSortListCtrl::FitColumns() {
    // A list out of sight is fitted when it shows.
    if (isVisible() && !m_fitTimer.isActive()) {
        m_fitTimer.start(0, this);
    }
}

void CSortListCtrl::fitToView() {
    m_fitTimer.stop();
    if (model() == nullptr) {
        return;
    }
    const int count = GetItemCount();
    const int first = count == 0 ? 0 : std::max(rowAt(0), 0);
    const int bottom = rowAt(viewport()->height() - 1);
    const int last = bottom < 0 ? count - 1 : bottom;

    const QFontMetrics metrics = fontMetrics();
    // A cell's text keeps its margins inside the grid line.
    const int room = 2 * kTextIndent + (showGrid() ? 1 : 0);
    // Beyond this a value is cut: a camera's name may be hundreds of
    // characters of junk.
    const int widest = kFitMaxChars * metrics.averageCharWidth() + room;
    for (int column = 0; column < model()->columnCount(); ++column) {
        if (isColumnHidden(column)) {
            continue;
        }
        const int width = m_header->sectionSize(column);
        int need = HeaderWidthFor(
            metrics.horizontalAdvance(model()->headerData(column, Qt::Horizontal).toString()));
        for (int row = first; row <= last && std::max(need, width) < widest; ++row) {
            const QString text = Text(row, column);
            // Most values are short: no need to measure what cannot be wider.
            if ((text.size() * metrics.maxWidth()) + room <= std::max(need, width)) {
                continue;
            }
            need = std::max(need, TextWidth(metrics, text) + room);
        }
        need = std::min(need, std::max(widest, width));
        if (need > width) {
            m_header->resizeSection(column, need);
        }
    }
}

QString CSortListCtrl::Text(int row, int column) const {
    return model()->index(row, column).data(Qt::DisplayRole).toString();
}

int CSortListCtrl::GetItemCount() const {
    return model() != nullptr ? model()->rowCount() : 0;
}

QString CSortListCtrl::GetItemText(int row, int column) const {
    return model() != nullptr ? Text(row, column) : QString();
}

bool CSortListCtrl::HasCheckBox(int row) const {
    return model() != nullptr && model()->index(row, 0).data(Qt::CheckStateRole).isValid();
}

bool CSortListCtrl::GetCheck(int row) const {
    return model() != nullptr &&
           model()->index(row, 0).data(Qt::CheckStateRole).value<Qt::CheckState>() == Qt::Checked;
}

bool CSortListCtrl::IsItemSelected(int row) const {
    return model() != nullptr && row >= 0 && row < model()->rowCount() &&
           selectionModel()->isRowSelected(row, {});
}

int CSortListCtrl::GetNextSelectedItem(int row) const {
    if (model() == nullptr) {
        return -1;
    }
    // The selection holds one row on every device list; walking its ranges
    // costs nothing where walking every row would cost a thousand checks.
    int next = -1;
    for (const QItemSelectionRange& range : selectionModel()->selection()) {
        const int candidate = std::max(range.top(), row < 0 ? 0 : row + 1);
        if (candidate <= range.bottom() && (next < 0 || candidate < next)) {
            next = candidate;
        }
    }
    return next;
}

bool CSortListCtrl::SelectItem(int row, bool selected) {
    if (model() == nullptr || row < 0 || row >= model()->rowCount() ||
        model()->columnCount() == 0) {
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
    selectionModel()->select(model()->index(row, 0), command);
    return true;
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
    const bool checked = !GetCheck(row);
    if (model()->setData(model()->index(row, 0), checked ? Qt::Checked : Qt::Unchecked,
                         Qt::CheckStateRole)) {
        emit checkToggled(row, checked);
    }
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
    const int rows = model() != nullptr ? model()->rowCount() : 0;
    int rowsBottom = -1;
    int rowsRight = -1;
    if (rows > 0 && model()->columnCount() > 0) {
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

    const int columns = model()->columnCount();
    if (selected && m_cellHighlight && m_clickedColumn > m_firstHighlightColumn &&
        m_clickedColumn < columns && !isColumnHidden(m_clickedColumn)) {
        const QRect cell = cellRect(m_clickedColumn);
        painter.fillRect(cell, kHighlightedCell);
        QPen dotted(palette().color(QPalette::Text), 1, Qt::DotLine);
        dotted.setCosmetic(true);
        painter.setPen(dotted);
        painter.drawRect(cell.adjusted(0, 0, -1, -1));
    }

    // The check box goes on top, so a highlighted first cell never hides it.
    QRect checkBox;
    if (HasCheckBox(row) && !isColumnHidden(0)) {
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
    const auto measure = [this, &metrics](const QString& text) { return TextWidth(metrics, text); };
    painter.setFont(font());
    const QColor textColor = palette().color(
        model()->index(row, 0).data(kDimmedRole).toBool() ? QPalette::Disabled : QPalette::Active,
        QPalette::Text);
    for (int column = 0; column < columns; ++column) {
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
        const QString text = Text(row, column);
        if (text.isEmpty() || label.width() <= 0) {
            continue;
        }
        painter.setPen(textColor);
        painter.drawText(
            label,
            static_cast<int>(
                (model()->index(row, column).data(Qt::TextAlignmentRole).value<Qt::Alignment>() &
                 Qt::AlignHorizontal_Mask) |
                Qt::AlignVCenter | Qt::TextSingleLine),
            CutTextToWidth(text, label.width(), measure));
    }
}

int CSortListCtrl::TextWidth(const QFontMetrics& metrics, const QString& text) const {
    if (!m_widthMetrics || !(*m_widthMetrics == metrics)) {
        m_widths.clear();
        m_widthMetrics = metrics;
    }
    if (const auto it = m_widths.constFind(text); it != m_widths.cend()) {
        return *it;
    }
    if (m_widths.size() >= kMaxKnownWidths) {
        m_widths.clear();
    }
    const int width = metrics.horizontalAdvance(text);
    m_widths.insert(text, width);
    return width;
}

void CSortListCtrl::mousePressEvent(QMouseEvent* event) {
    const QModelIndex hit = indexAt(event->position().toPoint());
    const int row = hit.isValid() ? hit.row() : -1;
    const bool left = event->button() == Qt::LeftButton;
    const bool right = event->button() == Qt::RightButton;
    if (left || right) {
        m_clickedColumn = hit.isValid() ? hit.column() : -1;
        if (left && row >= 0 && HasCheckBox(row)) {
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
    if (event->key() == Qt::Key_Space && event->modifiers() == Qt::NoModifier &&
        currentIndex().isValid() && HasCheckBox(currentIndex().row())) {
        ToggleCheckByUser(currentIndex().row());
        event->accept();
        return;
    }
    QTableView::keyPressEvent(event);
}

void CSortListCtrl::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_fitTimer.timerId()) {
        fitToView();
        return;
    }
    QTableView::timerEvent(event);
}

void CSortListCtrl::showEvent(QShowEvent* event) {
    QTableView::showEvent(event);
    FitColumns();
}

void CSortListCtrl::resizeEvent(QResizeEvent* event) {
    QTableView::resizeEvent(event);
    FitColumns(); // more rows in view
}

void CSortListCtrl::changeEvent(QEvent* event) {
    if (event->type() == QEvent::FontChange) {
        UpdateRowHeight();
        FitColumns();
    }
    QTableView::changeEvent(event);
}

bool CSortListCtrl::edit(const QModelIndex&, EditTrigger, QEvent*) {
    return false;
}

} // namespace orv::ui

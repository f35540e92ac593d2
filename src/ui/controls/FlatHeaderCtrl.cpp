#include "FlatHeaderCtrl.h"

#include "SortListRules.h"

#include <QLinearGradient>
#include <QPaintEvent>
#include <QPainter>

namespace orv::ui {

namespace {

// Dark enough at the middle that the lit edges of the sort mark stand out.
const QColor kGradientTop(246, 246, 246);
const QColor kGradientBottom(196, 196, 196);
const QColor kDivider(150, 150, 150);

} // namespace

CFlatHeaderCtrl::CFlatHeaderCtrl(QWidget* parent) : QHeaderView(Qt::Horizontal, parent) {
    m_highlightPen = palette().color(QPalette::Light);
    m_shadowPen = palette().color(QPalette::Dark);
    setSectionsClickable(true);
    setSectionsMovable(false);
    setHighlightSections(false);
    setSortIndicatorShown(false);
    setStretchLastSection(false);
    setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
}

void CFlatHeaderCtrl::SetSortColumn(int column) {
    if (column != m_sortColumn) {
        m_sortColumn = column;
        viewport()->update();
    }
}

void CFlatHeaderCtrl::SetSortAscending(bool ascending) {
    if (ascending != m_ascending) {
        m_ascending = ascending;
        viewport()->update();
    }
}

void CFlatHeaderCtrl::paintEvent(QPaintEvent* event) {
    // Every pixel is painted here, the area beyond the last item included, so
    // the strip looks the same whatever the platform style draws there.
    QPainter painter(viewport());
    const QRect area = event->rect();
    int right = -1;
    for (int visual = 0; visual < count(); ++visual) {
        const int logical = logicalIndex(visual);
        if (isSectionHidden(logical)) {
            continue;
        }
        const QRect section(sectionViewportPosition(logical), 0, sectionSize(logical),
                            viewport()->height());
        right = section.right();
        if (section.intersects(area)) {
            painter.save();
            painter.setClipRect(section);
            paintSection(&painter, section, logical);
            painter.restore();
        }
    }
    if (right < area.right()) {
        PaintBackground(&painter,
                        QRect(right + 1, 0, viewport()->width() - right - 1, viewport()->height()));
    }
}

void CFlatHeaderCtrl::paintSection(QPainter* painter, const QRect& rect, int logicalIndex) const {
    PaintBackground(painter, rect);
    painter->setPen(kDivider);
    painter->drawLine(rect.topRight(), rect.bottomRight());

    QRect textRect = rect.adjusted(kHeaderTextIndent, 0, -kHeaderTextIndent, 0);
    const bool marked = logicalIndex == m_sortColumn && !SortMarkRect(rect).isNull();
    if (marked) {
        textRect.setRight(SortMarkRect(rect).left() - 2);
    }
    if (model() != nullptr) {
        const QString title = model()->headerData(logicalIndex, Qt::Horizontal).toString();
        const QVariant align =
            model()->headerData(logicalIndex, Qt::Horizontal, Qt::TextAlignmentRole);
        const auto alignment = align.isValid() ? align.value<Qt::Alignment>()
                                               : Qt::Alignment(Qt::AlignLeft | Qt::AlignVCenter);
        const QFontMetrics metrics(font());
        const QString shown = CutTextToWidth(title, textRect.width(), [&](const QString& t) {
            return metrics.horizontalAdvance(t);
        });
        painter->setPen(palette().color(QPalette::ButtonText));
        painter->setFont(font());
        painter->drawText(textRect, static_cast<int>(alignment | Qt::TextSingleLine), shown);
    }
    if (marked) {
        PaintSortMark(painter, rect);
    }
}

void CFlatHeaderCtrl::PaintBackground(QPainter* painter, const QRect& rect) const {
    QLinearGradient gradient(0, rect.top(), 0, rect.bottom());
    gradient.setColorAt(0, kGradientTop);
    gradient.setColorAt(1, kGradientBottom);
    painter->fillRect(rect, gradient);
    painter->setPen(kDivider);
    painter->drawLine(rect.bottomLeft(), rect.bottomRight());
}

void CFlatHeaderCtrl::PaintSortMark(QPainter* painter, const QRect& section) const {
    const QRect mark = SortMarkRect(section);
    const int l = mark.left();
    const int r = mark.right();
    const int t = mark.top();
    const int b = mark.bottom();
    const int mid = l + mark.width() / 2;
    painter->setRenderHint(QPainter::Antialiasing, false);
    if (m_ascending) {
        // Apex up: lit from the lower right, the left slope in shadow.
        painter->setPen(m_shadowPen);
        painter->drawLine(mid, t, l, b);
        painter->setPen(m_highlightPen);
        painter->drawLine(l, b, r, b);
        painter->drawLine(r, b, mid, t);
    } else {
        // Apex down: the top edge and the left slope in shadow.
        painter->setPen(m_shadowPen);
        painter->drawLine(l, t, r, t);
        painter->drawLine(l, t, mid, b);
        painter->setPen(m_highlightPen);
        painter->drawLine(r, t, mid, b);
    }
}

} // namespace orv::ui

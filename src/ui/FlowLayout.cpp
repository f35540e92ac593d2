#include "FlowLayout.h"

#include <QWidget>

#include <algorithm>
#include <vector>

namespace orv::ui {

CFlowLayout::CFlowLayout(QWidget* parent, int hSpacing, int vSpacing)
    : QLayout(parent), m_hSpacing(hSpacing), m_vSpacing(vSpacing) {
    setContentsMargins(0, 0, 0, 0);
}

CFlowLayout::~CFlowLayout() {
    while (QLayoutItem* item = takeAt(0)) {
        delete item;
    }
}

void CFlowLayout::addItem(QLayoutItem* item) {
    m_items.append(item);
}

QLayoutItem* CFlowLayout::takeAt(int index) {
    return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
}

int CFlowLayout::heightForWidth(int width) const {
    return arrange(QRect(0, 0, width, 0), false);
}

QSize CFlowLayout::minimumSize() const {
    // Every item on a row of its own.
    QSize size;
    for (const QLayoutItem* item : m_items) {
        size = size.expandedTo(item->minimumSize());
    }
    const QMargins m = contentsMargins();
    return size + QSize(m.left() + m.right(), m.top() + m.bottom());
}

QSize CFlowLayout::sizeHint() const {
    // Every item on one row.
    int width = 0;
    int height = 0;
    int shown = 0;
    for (const QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            continue;
        }
        width += item->sizeHint().width() + (shown++ > 0 ? m_hSpacing : 0);
        height = std::max(height, item->sizeHint().height());
    }
    const QMargins m = contentsMargins();
    return {width + m.left() + m.right(), height + m.top() + m.bottom()};
}

void CFlowLayout::setGeometry(const QRect& rect) {
    QLayout::setGeometry(rect);
    arrange(rect, true);
}

int CFlowLayout::arrange(const QRect& rect, bool apply) const {
    const QRect area = rect.marginsRemoved(contentsMargins());
    struct Row {
        std::vector<QLayoutItem*> items;
        int height = 0;
    };
    std::vector<Row> rows(1);
    int x = 0;
    for (QLayoutItem* item : m_items) {
        if (item->isEmpty()) {
            continue;
        }
        const QSize hint = item->sizeHint();
        if (!rows.back().items.empty() && x + m_hSpacing + hint.width() > area.width()) {
            rows.emplace_back();
            x = 0;
        }
        x += (rows.back().items.empty() ? 0 : m_hSpacing) + hint.width();
        rows.back().items.push_back(item);
        rows.back().height = std::max(rows.back().height, hint.height());
    }
    int y = area.top();
    for (const Row& row : rows) {
        if (row.items.empty()) {
            continue;
        }
        int left = area.left();
        for (QLayoutItem* item : row.items) {
            const QSize hint = item->sizeHint();
            const int width = std::min(hint.width(), area.right() + 1 - left);
            if (apply) {
                item->setGeometry(
                    QRect(left, y + (row.height - hint.height()) / 2, width, hint.height()));
            }
            left += width + m_hSpacing;
        }
        y += row.height + m_vSpacing;
    }
    const int used = y - area.top() - (y > area.top() ? m_vSpacing : 0);
    const QMargins m = contentsMargins();
    return used + m.top() + m.bottom();
}

} // namespace orv::ui

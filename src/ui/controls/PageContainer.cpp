#include "PageContainer.h"

#include <algorithm>

namespace orv::ui {

void CPageTabBar::SetMinTabWidth(int width) {
    m_minWidth = width;
    updateGeometry();
    update();
}

QSize CPageTabBar::tabSizeHint(int index) const {
    QSize size = QTabBar::tabSizeHint(index);
    size.setWidth(std::max(size.width(), m_minWidth));
    return size;
}

QSize CPageTabBar::minimumTabSizeHint(int index) const {
    QSize size = QTabBar::minimumTabSizeHint(index);
    size.setWidth(std::max(size.width(), m_minWidth));
    return size;
}

CPageContainer::CPageContainer(QWidget* parent)
    : QTabWidget(parent), m_tabBar(new CPageTabBar(this)) {
    setTabBar(m_tabBar);
    setDocumentMode(false);
    // Every page's title shows: the window is never narrower than its tabs.
    setUsesScrollButtons(false);
    setElideMode(Qt::ElideNone);
}

void CPageContainer::SetMinTabWidth(int width) {
    m_tabBar->SetMinTabWidth(width);
}

} // namespace orv::ui

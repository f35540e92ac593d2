#include "VideoWnd.h"

#include <QPainter>

CVideoWnd::CVideoWnd(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("videoArea"));
    setAttribute(Qt::WA_NativeWindow);
    setAttribute(Qt::WA_DontCreateNativeAncestors);
}

void CVideoWnd::SetLive(bool live) {
    m_live = live;
    setAttribute(Qt::WA_PaintOnScreen, live);
    setAttribute(Qt::WA_NoSystemBackground, live);
    setUpdatesEnabled(!live);
    if (!live) {
        update();
    }
}

QPaintEngine* CVideoWnd::paintEngine() const {
    return m_live ? nullptr : QWidget::paintEngine();
}

void CVideoWnd::paintEvent(QPaintEvent* /*event*/) {
    if (m_live) {
        return;
    }
    QPainter painter(this);
    painter.fillRect(rect(), QColor(0x20, 0x20, 0x20));
}

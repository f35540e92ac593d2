#include "PictureCtrl.h"

#include <QPainter>

namespace orv::ui {

CPictureCtrl::CPictureCtrl(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CPictureCtrl::SetPixmap(const QPixmap& pixmap) {
    m_pixmap = pixmap;
    update();
}

void CPictureCtrl::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_pixmap.isNull()) {
        painter.fillRect(rect(), palette().window());
        return;
    }
    const qreal dpr = m_pixmap.devicePixelRatio();
    const int w = static_cast<int>(m_pixmap.width() / dpr);
    const int h = static_cast<int>(m_pixmap.height() / dpr);
    painter.drawPixmap(0, 0, m_pixmap);
    if (width() > w) {
        const QPixmap edge = m_pixmap.copy(m_pixmap.width() - 1, 0, 1, m_pixmap.height());
        painter.drawPixmap(QRect(w, 0, width() - w, h), edge);
    }
    if (height() > h) {
        painter.fillRect(QRect(0, h, width(), height() - h), palette().window());
    }
}

} // namespace orv::ui

#include "FrameView.h"

#include <QPainter>

#include <cstring>

namespace orv::ui {
namespace {

// How far back the frame and bit rates look.
constexpr qint64 kRateWindowMs = 2000;

} // namespace

void CFrameView::CMailbox::Put(int width, int height, int stride, const std::uint8_t* pixels,
                               std::uint64_t streamBytes) {
    if (width <= 0 || height <= 0 || stride < width * 4 || pixels == nullptr) {
        return;
    }
    std::lock_guard hold(m_lock);
    if (m_view == nullptr || m_ended) {
        return;
    }
    // The copy is made here, on the stream's thread; the window thread only
    // swaps it in. A picture not yet taken is overwritten, never queued.
    if (m_latest.width() != width || m_latest.height() != height || !m_latest.isDetached()) {
        m_latest = QImage(width, height, QImage::Format_RGB32);
    }
    for (int row = 0; row < height; ++row) {
        std::memcpy(m_latest.scanLine(row), pixels + static_cast<std::ptrdiff_t>(row) * stride,
                    static_cast<std::size_t>(width) * 4);
    }
    m_fresh = true;
    m_streamBytes = streamBytes;
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(m_view, &CFrameView::take, Qt::QueuedConnection);
    }
}

void CFrameView::CMailbox::End(const QString& why) {
    std::lock_guard hold(m_lock);
    if (m_view == nullptr || m_ended) {
        return;
    }
    m_ended = true;
    m_why = why;
    if (!m_posted) {
        m_posted = true;
        QMetaObject::invokeMethod(m_view, &CFrameView::take, Qt::QueuedConnection);
    }
}

CFrameView::CFrameView(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    m_clock.start();
}

CFrameView::~CFrameView() {
    detach();
}

void CFrameView::detach() {
    if (m_mailbox) {
        std::lock_guard hold(m_mailbox->m_lock);
        m_mailbox->m_view = nullptr;
    }
    m_mailbox.reset();
}

std::shared_ptr<CFrameView::CMailbox> CFrameView::Begin(const QString& waiting) {
    detach();
    m_mailbox = std::make_shared<CMailbox>();
    m_mailbox->m_view = this;
    m_picture = QImage();
    m_text = waiting;
    m_samples.clear();
    update();
    return m_mailbox;
}

void CFrameView::Show(const QString& text) {
    detach();
    m_picture = QImage();
    m_text = text;
    m_samples.clear();
    update();
}

void CFrameView::take() {
    if (!m_mailbox) {
        return;
    }
    bool fresh = false;
    std::uint64_t bytes = 0;
    bool over = false;
    QString why;
    {
        std::lock_guard hold(m_mailbox->m_lock);
        m_mailbox->m_posted = false;
        fresh = m_mailbox->m_fresh;
        if (fresh) {
            // The picture on show goes back as the buffer for the next one.
            m_picture.swap(m_mailbox->m_latest);
            m_mailbox->m_fresh = false;
        }
        bytes = m_mailbox->m_streamBytes;
        over = m_mailbox->m_ended;
        why = m_mailbox->m_why;
    }
    if (over) {
        Show(why);
        emit ended(why);
        return;
    }
    if (!fresh) {
        return;
    }
    const qint64 now = m_clock.elapsed();
    m_samples.push_back({now, bytes});
    while (!m_samples.empty() && now - m_samples.front().ms > kRateWindowMs) {
        m_samples.pop_front();
    }
    update();
    emit pictureShown();
}

double CFrameView::FramesPerSecond() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const qint64 span = m_samples.back().ms - m_samples.front().ms;
    return span > 0 ? (m_samples.size() - 1) * 1000.0 / static_cast<double>(span) : 0;
}

double CFrameView::KilobitsPerSecond() const {
    if (m_samples.size() < 2) {
        return 0;
    }
    const qint64 span = m_samples.back().ms - m_samples.front().ms;
    const auto bytes = m_samples.back().bytes - m_samples.front().bytes;
    return span > 0 ? static_cast<double>(bytes) * 8.0 / static_cast<double>(span) : 0;
}

void CFrameView::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), QColor(24, 24, 24));
    if (!m_picture.isNull()) {
        // The whole picture, its shape kept, centred.
        const QSize fitted = m_picture.size().scaled(size(), Qt::KeepAspectRatio);
        const QRect target(QPoint((width() - fitted.width()) / 2, (height() - fitted.height()) / 2),
                           fitted);
        painter.setRenderHint(QPainter::SmoothPixmapTransform, fitted.width() < m_picture.width());
        painter.drawImage(target, m_picture);
        return;
    }
    if (!m_text.isEmpty()) {
        painter.setPen(QColor(230, 230, 230));
        painter.drawText(rect().adjusted(8, 8, -8, -8), Qt::AlignCenter | Qt::TextWordWrap, m_text);
    }
}

void CFrameView::mouseDoubleClickEvent(QMouseEvent*) {
    emit doubleClicked();
}

} // namespace orv::ui

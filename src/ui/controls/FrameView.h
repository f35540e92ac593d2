#pragma once
// Live video drawn by Qt itself, so it shows under Wayland, X11 and with no
// display at all, and a test or a snapshot can take the picture. Pictures
// arrive from any thread through the view's mailbox; the newest is drawn on
// the window thread's next turn and any between are dropped. While no
// picture has come, or once the stream ended, the view shows a line of
// text ("no video: ...") on a dark ground, never a frozen last picture.

#include <QElapsedTimer>
#include <QImage>
#include <QWidget>

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

namespace orv::ui {

class CFrameView : public QWidget {
    Q_OBJECT
public:
    // What the streaming side holds: safe from any thread, and harmless
    // once the view is gone or has begun another stream.
    class CMailbox {
    public:
        // A picture of 32-bit pixels (0xffRRGGBB words), rows `stride`
        // bytes apart; `streamBytes` the encoded bytes since the start.
        void Put(int width, int height, int stride, const std::uint8_t* pixels,
                 std::uint64_t streamBytes);
        // The stream ended by itself; `why` is shown in its place.
        void End(const QString& why);

    private:
        friend class CFrameView;
        std::mutex m_lock;
        CFrameView* m_view = nullptr; // cleared by the view
        // The newest picture, and (once one was drawn) the buffer of the one
        // before, which the next picture is copied into.
        QImage m_latest;
        bool m_fresh = false;
        std::uint64_t m_streamBytes = 0;
        bool m_posted = false;
        bool m_ended = false;
        QString m_why;
    };

    explicit CFrameView(QWidget* parent = nullptr);
    ~CFrameView() override;

    // A new stream: the old picture goes, `waiting` shows until the first
    // picture comes, and pictures still on their way from the stream before
    // are never shown. Returns its mailbox.
    std::shared_ptr<CMailbox> Begin(const QString& waiting = {});
    // No stream: `text` on the dark ground (empty: nothing).
    void Show(const QString& text);
    const QString& Text() const { return m_text; }

    // The picture on show; null when none.
    const QImage& Picture() const { return m_picture; }
    bool Playing() const { return !m_picture.isNull(); }
    // Over the last two seconds; 0 when nothing played.
    double FramesPerSecond() const;
    double KilobitsPerSecond() const;

signals:
    void pictureShown();
    // The stream ended by itself; the view shows `why` already.
    void ended(const QString& why);
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void take();
    void detach();

    std::shared_ptr<CMailbox> m_mailbox;
    QImage m_picture;
    QString m_text;
    // When each recent picture was drawn and the stream's bytes then.
    struct Sample {
        qint64 ms = 0;
        std::uint64_t bytes = 0;
    };
    std::deque<Sample> m_samples;
    QElapsedTimer m_clock;
};

} // namespace orv::ui

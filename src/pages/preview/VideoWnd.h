#pragma once
// The video area: a native child window whose handle the device SDK draws
// the live view into. While no view runs, Qt paints its background; while
// one runs, Qt leaves the window alone so that it never paints over frames.

#include <QWidget>

class CVideoWnd : public QWidget {
    Q_OBJECT
public:
    explicit CVideoWnd(QWidget* parent = nullptr);

    void SetLive(bool live);
    bool IsLive() const { return m_live; }
    QPaintEngine* paintEngine() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    bool m_live = false;
};

#pragma once
// A picture control: draws its pixmap at the top left at its own size and
// continues the pixmap's right-hand column across any wider area, so a banner
// stretches without distorting its artwork.

#include <QPixmap>
#include <QWidget>

namespace orv::ui {

class CPictureCtrl : public QWidget {
    Q_OBJECT
public:
    explicit CPictureCtrl(QWidget* parent = nullptr);
    void SetPixmap(const QPixmap& pixmap);
    const QPixmap& Pixmap() const { return m_pixmap; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QPixmap m_pixmap;
};

} // namespace orv::ui

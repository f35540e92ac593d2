#pragma once
// A label that acts as a link: hand cursor, underlined link colour on the
// button-face background, and a signal on a left click.

#include <QLabel>

namespace orv::ui {

class CLinkLabel : public QLabel {
    Q_OBJECT
public:
    explicit CLinkLabel(QWidget* parent = nullptr);

signals:
    void clicked();

protected:
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
};

} // namespace orv::ui

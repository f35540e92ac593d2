#include "BatchSubPage.h"

#include <QKeyEvent>

void CBatchSubPage::LoadFromDevice(const tagQvIpcInfo&, int) {}

void CBatchSubPage::CheckedSetChanged(const std::vector<tagQvIpcInfo>&) {}

void CBatchSubPage::SetSaveEnabled(bool) {}

void CBatchSubPage::SetCheckedMode(bool) {}

void CBatchSubPage::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Escape:
        event->accept();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

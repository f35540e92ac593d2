#include "BatchSubPage.h"

#include <QKeyEvent>

void CBatchSubPage::ShowDevice(const orv::device::DeviceInfo&) {}

void CBatchSubPage::ShowSettings(const orv::batchset::DeviceSettings&) {}

void CBatchSubPage::CheckedSetChanged(const std::vector<orv::device::DeviceInfo>&) {}

void CBatchSubPage::SetSaveEnabled(bool) {}

void CBatchSubPage::SetCheckedMode(bool) {}

void CBatchSubPage::SetJobRunning(bool) {}

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

#include "BatchSetDlg.h"

CBatchSetDlg::CBatchSetDlg(QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::BatchSet, parent, std::move(clock)) {
    setObjectName(QStringLiteral("batchSetPage"));
}

void CBatchSetDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

#include "BatchUpgradeDlg.h"

CBatchUpgradeDlg::CBatchUpgradeDlg(QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::BatchUpgrade, parent, std::move(clock)) {
    setObjectName(QStringLiteral("batchUpgradePage"));
}

void CBatchUpgradeDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

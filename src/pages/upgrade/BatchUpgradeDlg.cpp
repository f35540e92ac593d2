#include "BatchUpgradeDlg.h"

CBatchUpgradeDlg::CBatchUpgradeDlg(orv::IAppServices& app, QWidget* parent,
                                   orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::BatchUpgrade, parent, std::move(clock)), m_app(app) {
    setObjectName(QStringLiteral("batchUpgradePage"));
}

void CBatchUpgradeDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

#include "OemDlg.h"

COemDlg::COemDlg(orv::IAppServices& app, QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::Oem, parent, std::move(clock)), m_app(app) {
    setObjectName(QStringLiteral("oemPage"));
}

void COemDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

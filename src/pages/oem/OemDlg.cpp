#include "OemDlg.h"

COemDlg::COemDlg(QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::Oem, parent, std::move(clock)) {
    setObjectName(QStringLiteral("oemPage"));
}

void COemDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

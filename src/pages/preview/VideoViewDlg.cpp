#include "VideoViewDlg.h"

CVideoViewDlg::CVideoViewDlg(QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::VideoPreviews, parent, std::move(clock)) {
    setObjectName(QStringLiteral("videoPreviewsPage"));
}

void CVideoViewDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

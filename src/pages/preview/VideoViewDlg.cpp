#include "VideoViewDlg.h"

CVideoViewDlg::CVideoViewDlg(orv::IAppServices& app, QWidget* parent, orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::VideoPreviews, parent, std::move(clock)), m_app(app) {
    setObjectName(QStringLiteral("videoPreviewsPage"));
}

void CVideoViewDlg::resizeEvent(QResizeEvent* event) {
    CDeviceListPage::resizeEvent(event);
    m_listCtrl->setGeometry(rect());
}

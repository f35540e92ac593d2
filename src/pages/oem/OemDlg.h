#pragma once

#include "pages/DeviceListPage.h"

namespace orv {
class IAppServices;
}

class COemDlg : public CDeviceListPage {
    Q_OBJECT
public:
    explicit COemDlg(orv::IAppServices& app, QWidget* parent = nullptr,
                     orv::CDeviceList::Clock clock = {});

protected:
    void resizeEvent(QResizeEvent* event) override;

    orv::IAppServices& m_app;
};

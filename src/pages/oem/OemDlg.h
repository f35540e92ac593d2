#pragma once

#include "pages/DeviceListPage.h"

class COemDlg : public CDeviceListPage {
    Q_OBJECT
public:
    explicit COemDlg(QWidget* parent = nullptr, orv::CDeviceList::Clock clock = {});

protected:
    void resizeEvent(QResizeEvent* event) override;
};

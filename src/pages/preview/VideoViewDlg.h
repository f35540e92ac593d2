#pragma once

#include "pages/DeviceListPage.h"

class CVideoViewDlg : public CDeviceListPage {
    Q_OBJECT
public:
    explicit CVideoViewDlg(QWidget* parent = nullptr, orv::CDeviceList::Clock clock = {});

protected:
    void resizeEvent(QResizeEvent* event) override;
};

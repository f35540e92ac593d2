#pragma once

#include "pages/DeviceListPage.h"

class CBatchUpgradeDlg : public CDeviceListPage {
    Q_OBJECT
public:
    explicit CBatchUpgradeDlg(QWidget* parent = nullptr, orv::CDeviceList::Clock clock = {});

protected:
    void resizeEvent(QResizeEvent* event) override;
};

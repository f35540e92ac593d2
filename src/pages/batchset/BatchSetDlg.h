#pragma once

#include "pages/DeviceListPage.h"

class CBatchSetDlg : public CDeviceListPage {
    Q_OBJECT
public:
    explicit CBatchSetDlg(QWidget* parent = nullptr, orv::CDeviceList::Clock clock = {});

protected:
    void resizeEvent(QResizeEvent* event) override;
};

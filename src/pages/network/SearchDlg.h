#pragma once
// The Network Settings page: every discovered camera with its network
// settings; changes the address, netmask, gateway, HTTP port and name of one
// camera, or the network settings of every checked camera at once.

#include "pages/common/DeviceListPage.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv::ui {
class CNameEdit;
}

class CSearchDlg : public CDeviceListPage {
    Q_OBJECT
public:
    CSearchDlg(orv::IAppServices& app, QWidget* parent = nullptr,
               orv::CDeviceList::Clock clock = {});

    void SetLanguageText() override;
    // Checks the fields and sends the modify requests of one run.
    void Modify();
    void OnModifyDone(const tagQvIpcInfo& record) override;

protected:
    void resizeEvent(QResizeEvent* event) override;
    void OnPageTick(int tick) override;
    void EnterCheckedMode(bool on) override;
    void PickDevice(const orv::DeviceKey& key) override;

private:
    void createControls();
    void layoutControls();
    void updateIpLabel();

    QCheckBox* m_sameIp = nullptr;
    QLabel* m_nameLabel = nullptr;
    orv::ui::CNameEdit* m_nameEdit = nullptr;
    QLabel* m_ipLabel = nullptr;
    QLineEdit* m_ipEdit = nullptr;
    QLabel* m_maskLabel = nullptr;
    QLineEdit* m_maskEdit = nullptr;
    QLabel* m_gatewayLabel = nullptr;
    QLineEdit* m_gatewayEdit = nullptr;
    QLabel* m_dnsLabel = nullptr;
    QLineEdit* m_dnsEdit = nullptr;
    QLabel* m_portLabel = nullptr;
    QLineEdit* m_portEdit = nullptr;
    QPushButton* m_modify = nullptr;
};

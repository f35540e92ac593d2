#pragma once
// The Network Settings page: every discovered camera with its network
// settings; changes the address, netmask, gateway, HTTP port and name of one
// camera, or the network settings of every checked camera at once.

#include "operations/network/ModifyWaiter.h"
#include "operations/network/NetworkRules.h"
#include "pages/common/DeviceListPage.h"

class QAction;
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
    CSearchDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent = nullptr,
               orv::CDeviceList::Clock clock = {});
    ~CSearchDlg() override;

    void SetLanguageText() override;
    // Checks the fields and sends the modify requests of one run.
    void Modify();
    void OnModifyDone(const orv::device::DeviceInfo& device) override;
    void OnModifyFailed(const orv::device::DeviceInfo& device, orv::device::Fault fault) override;
    // An address plan (CSV keyed by MAC) against the list: shown, and on
    // Apply its changes go out as one run.
    void ImportAddressPlan();
    // The list as CSV, in its present order; it reads back as a plan.
    void ExportList();
    // A job of the site's history (an undo, a backup, a restore): its
    // settings first, then its address changes through the checked address
    // path (the cameras are reached at the addresses they have now).
    void RunSiteJob(orv::jobs::JobSpec settings,
                    std::vector<orv::network::ModifyRequest> addresses = {});

protected:
    void OnPageTick(int tick) override;
    void EnterCheckedMode(bool on) override;
    void PickDevice(const orv::device::DeviceId& key) override;
    void JobRunningChanged(bool running) override;

private:
    void createControls();
    void layoutControls();
    void updateIpLabel();
    // A checked-mode run: the requests go out now; a job waits for each
    // camera's outcome.
    void runChecked(std::vector<orv::network::ModifyRequest> requests,
                    std::string name = "Network Settings", std::int64_t undoes = 0);
    void JobFinished(orv::jobs::JobId job) override;
    // An undo's address changes, after its settings job.
    std::vector<orv::network::ModifyRequest> m_undoAddresses;
    std::int64_t m_undoing = 0;
    // A single camera's address change, waiting for its outcome.
    orv::jobs::JobId m_singleModify = 0;

    orv::network::CModifyWaiter m_waiter;

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
    QPushButton* m_plan = nullptr;
    QAction* m_importPlan = nullptr;
    QAction* m_exportList = nullptr;
};

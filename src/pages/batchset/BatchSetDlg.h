#pragma once
// The Batch Set page: the discovered cameras beside three sub-pages (System,
// Network, Video/Image). Selecting a camera logs in to it and fills the
// sub-pages; their Save buttons apply the settings to that camera or to
// every checked one. A worker thread makes queued reboots and opens a
// double-clicked camera's web page.

#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/PasswordRotation.h"
#include "pages/common/DeviceListPage.h"

#include <memory>

class CBatchSubPage;
class CNetworkParamDlg;
class CSystemParamDlg;
class QLabel;

namespace orv::ui {
class CPageContainer;
}

class CBatchSetDlg : public CDeviceListPage, private orv::batchset::IBatchHost {
    Q_OBJECT
public:
    // `timing`: the worker's cycle and restore pause (tests shorten them).
    CBatchSetDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent = nullptr,
                 orv::CDeviceList::Clock clock = {});
    ~CBatchSetDlg() override;

    void SetLanguageText() override;
    void DefaultCredentialsChanged() override;
    // For the OEM page, whose uploads end with a reboot through this queue.
    orv::batchset::CBatchOperations& Operations() { return *m_operations; }
    orv::jobs::CRebootQueue& Reboots() { return m_jobs.Reboots(); }

    CSystemParamDlg* SystemPage() const { return m_systemPage; }
    CNetworkParamDlg* NetworkPage() const { return m_networkPage; }
    CBatchSubPage* VideoImagePage() const { return m_videoPage; }

    // Gives each camera the page's work goes to its own new random
    // administrator password, each kept with `keep` before its camera
    // changes; asks first. False when nothing started.
    bool RotatePasswords(orv::batchset::KeepPassword keep);

    // Makes the camera current, logs in to it and fills the sub-pages (once
    // the reads are back; a newer pick drops an older one's).
    void LoadDevice(const orv::device::DeviceId& key);
    bool LoadRunning() const;

protected:
    void EnterCheckedMode(bool on) override;
    void PickDevice(const orv::device::DeviceId& key) override;
    void ChecksChanged() override;
    void OnSelectAll(bool checked) override;
    void JobRunningChanged(bool running) override;
    void JobFinished(orv::jobs::JobId job) override;

private:
    // IBatchHost
    bool CheckedMode() const override { return IsCheckedMode(); }
    std::vector<orv::device::DeviceInfo> CheckedDevices() const override;
    std::optional<orv::device::DeviceInfo> CurrentDevice() const override;
    orv::device::Credentials DefaultCredentials() const override;
    void ShowMessage(const orv::Message& message) override;
    bool Ask(const orv::Message& question) override;
    bool ConfirmChange(const std::wstring& what, int cameras) override;
    bool KnownEncrypted(const orv::device::DeviceInfo& device) const override;
    bool ConfirmPlainSecret(const std::vector<orv::device::DeviceInfo>& cameras,
                            bool inClear) override;
    void RunOperations(orv::jobs::JobSpec order, bool oneCamera) override;

    void createControls();
    void layoutControls();
    std::vector<CBatchSubPage*> subPages() const;
    void showConflict(bool conflict);
    void updateSaveButtons();
    // Reads `device` on the engine; `show` gets what came back, unless a
    // newer read of the same kind took its place.
    void read(const orv::device::DeviceInfo& device, orv::batchset::ReadScope scope,
              orv::jobs::JobId& slot,
              std::function<void(const orv::batchset::DeviceSettings&)> show);

    std::unique_ptr<orv::batchset::CBatchOperations> m_operations;

    orv::ui::CPageContainer* m_pages = nullptr;
    CSystemParamDlg* m_systemPage = nullptr;
    CNetworkParamDlg* m_networkPage = nullptr;
    CBatchSubPage* m_videoPage = nullptr;
    QLabel* m_conflictLabel = nullptr;
    bool m_conflict = false;
    // The job of a Save that sends a new password, and that password: once
    // a camera took it, the page offers to make it the default.
    orv::jobs::JobId m_passwordJob = 0;
    QString m_newPassword;
    orv::jobs::JobId m_loadJob = 0;
    orv::jobs::JobId m_referenceJob = 0;
};

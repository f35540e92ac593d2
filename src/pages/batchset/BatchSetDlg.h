#pragma once
// The Batch Set page: the discovered cameras beside three sub-pages (System,
// Network, Video/Image). Selecting a camera logs in to it and fills the
// sub-pages; their Save buttons apply the settings to that camera or to
// every checked one. A worker thread makes queued reboots and opens a
// double-clicked camera's web page.

#include "BatchOperations.h"
#include "BatchWorker.h"
#include "pages/DeviceListPage.h"

#include <memory>

class CBatchSubPage;
class CNetworkParamDlg;
class CSystemParamDlg;
class QCheckBox;
class QLabel;

namespace orv {
class IAppServices;
namespace ui {
class CPageContainer;
}
} // namespace orv

namespace orv::batchset {
// What tests replace: the device calls (nullptr: the real SDK) and the
// worker's cycle and restore pause.
struct BatchSetOptions {
    IDeviceSdk* sdk = nullptr;
    WorkerTiming timing;
};
} // namespace orv::batchset

class CBatchSetDlg : public CDeviceListPage, private orv::batchset::IBatchHost {
    Q_OBJECT
public:
    using Options = orv::batchset::BatchSetOptions;

    static constexpr const char* kLoginFailedLine =
        "Login Failed.Please check your username and password.";

    CBatchSetDlg(orv::IAppServices& app, QWidget* parent = nullptr,
                 orv::CDeviceList::Clock clock = {}, Options options = {});
    ~CBatchSetDlg() override;

    void SetLanguageText() override;
    bool IsCheckedMode() const { return Devices().checkedMode; }
    // For the OEM page, whose uploads end with a reboot through this queue.
    void AppendReboot(int handle);
    orv::batchset::CBatchOperations& Operations() { return *m_operations; }
    orv::batchset::CBatchWorker& Worker() { return *m_worker; }

    CSystemParamDlg* SystemPage() const { return m_systemPage; }
    CNetworkParamDlg* NetworkPage() const { return m_networkPage; }
    CBatchSubPage* VideoImagePage() const { return m_videoPage; }
    // Puts the Video/Image sub-page in place of the placeholder; the page
    // takes ownership.
    void SetVideoImagePage(CBatchSubPage* page);

    // Makes the row current, logs in to its camera and fills the sub-pages.
    void LoadDevice(int row);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void OnRowDoubleClicked(int row) override;

private:
    // IBatchHost
    bool CheckedMode() const override { return Devices().checkedMode; }
    std::vector<tagQvIpcInfo> CheckedDevices() const override;
    std::optional<tagQvIpcInfo> CurrentDevice() const override;
    void DefaultUser(char* buffer, int size) const override;
    void DefaultPassword(char* buffer, int size) const override;
    void ShowMessage(const orv::network::Message& message) override;
    bool Ask(const orv::network::Message& question) override;
    void AddResultLine(const std::string& line) override;

    void createControls();
    void layoutControls();
    std::vector<CBatchSubPage*> subPages() const;
    void setCheckedMode(bool on);
    void EnterCheckedMode(bool on) override;
    void PickRow(int row) override;
    void showConflict(bool conflict);
    bool rowConflicts(int row) const;
    bool checkedSetConflicts() const;
    void onRowCheckChanged(int row, bool checked);
    void onItemClicked(int row, int column);
    void onRowSelectionChanged(int row, bool selected);
    void onSelectAll(bool checked);

    orv::IAppServices& m_app;
    orv::batchset::IDeviceSdk& m_sdk;
    std::unique_ptr<orv::batchset::CBatchWorker> m_worker;
    std::unique_ptr<orv::batchset::CBatchOperations> m_operations;

    orv::ui::CPageContainer* m_pages = nullptr;
    CSystemParamDlg* m_systemPage = nullptr;
    CNetworkParamDlg* m_networkPage = nullptr;
    CBatchSubPage* m_videoPage = nullptr;
    QCheckBox* m_selectAll = nullptr;
    QLabel* m_conflictLabel = nullptr;
    // Set from a mouse press on the list until its click is handled: the
    // selection that press makes is left to the click rule, so a click
    // loads a camera once.
    bool m_pressInProgress = false;
    bool m_saveEnabled = false;
};

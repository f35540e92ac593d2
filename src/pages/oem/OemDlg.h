#pragma once
// The OEM page (OEM mode only): writes the OEM information file beside the
// program and uploads it with up to ten image files to the current camera
// or to every checked one; each camera that took the information file is
// then rebooted through the Batch Set page's reboot queue.

#include "OemRules.h"
#include "pages/DeviceListPage.h"
#include "pages/upgrade/UpgradeRules.h"

#include <functional>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;

namespace orv {
class IAppServices;
namespace ui {
class CNameEdit;
}
} // namespace orv

namespace orv::oem {
struct OemOptions {
    // nullptr: the real device SDK.
    batchset::IDeviceSdk* sdk = nullptr;
    // Receives the login handle of every camera that took the information
    // file; the Batch Set page's reboot queue in the program.
    std::function<void(int handle)> queueReboot;
};
} // namespace orv::oem

class COemDlg : public CDeviceListPage {
    Q_OBJECT
public:
    using Options = orv::oem::OemOptions;

    explicit COemDlg(orv::IAppServices& app, QWidget* parent = nullptr,
                     orv::CDeviceList::Clock clock = {}, Options options = {});

    // The list headers only: the page's own texts are fixed.
    void SetLanguageText() override {}
    bool IsCheckedMode() const { return Devices().checkedMode; }

    void Browse();
    void Upload();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void OnRowDoubleClicked(int row) override;

private:
    void createControls();
    void layoutControls();
    std::vector<orv::upgrade::ListRow> listRows() const;
    void showConflict(bool conflict);
    void selectCurrentRow(int row);
    void PickRow(int row) override;
    void onChecksChanged(bool nowChecked);
    void onItemClicked(int row, int column);
    void onRowSelectionChanged(int row, bool selected);
    void onSelectAll(bool checked);

    orv::IAppServices& m_app;
    orv::batchset::IDeviceSdk& m_sdk;
    std::function<void(int)> m_queueReboot;
    QCheckBox* m_selectAll = nullptr;
    QLabel* m_conflictLabel = nullptr;
    QGroupBox* m_group = nullptr;
    QLabel* m_companyLabel = nullptr;
    orv::ui::CNameEdit* m_companyEdit = nullptr;
    QLabel* m_websiteLabel = nullptr;
    orv::ui::CNameEdit* m_websiteEdit = nullptr;
    QLabel* m_modelLabel = nullptr;
    orv::ui::CNameEdit* m_modelEdit = nullptr;
    QLabel* m_versionLabel = nullptr;
    QComboBox* m_versionList = nullptr;
    QLabel* m_imageLabel = nullptr;
    orv::ui::CNameEdit* m_imageEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_upload = nullptr;
};

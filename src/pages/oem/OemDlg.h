#pragma once
// The OEM page (OEM mode only): writes the OEM information file beside the
// program and uploads it with up to ten image files to the current camera
// or to every checked one; each camera that took the information file is
// then rebooted through the Batch Set page's reboot queue.

#include "operations/oem/OemRules.h"
#include "pages/common/DeviceListPage.h"

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

class COemDlg : public CDeviceListPage {
    Q_OBJECT
public:
    // Each camera that took the information file is rebooted through the
    // app's reboot queue.
    COemDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent = nullptr,
            orv::CDeviceList::Clock clock = {});

    // The list headers only: the page's own texts are fixed.
    void SetLanguageText() override {}

    void Browse();
    void Upload();

protected:
    void PickDevice(const orv::device::DeviceId& key) override;
    void ChecksChanged() override;
    void JobRunningChanged(bool running) override;

private:
    void createControls();
    void layoutControls();
    void showConflict(bool conflict);

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

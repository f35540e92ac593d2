#pragma once
// The Batch Upgrade page: the discovered cameras sorted by version, a
// family filter for the checked set, and one firmware image sent to the
// current camera (with a result line) or to every checked camera of one
// family (silently, with the progress bar advancing per camera).

#include "operations/upgrade/UpgradeRules.h"
#include "pages/common/DeviceListPage.h"

class QCheckBox;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QSpinBox;

class CBatchUpgradeDlg : public CDeviceListPage {
    Q_OBJECT
public:
    CBatchUpgradeDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent = nullptr,
                     orv::CDeviceList::Clock clock = {});

    void SetLanguageText() override;

    void Browse();
    void Upgrade();

protected:
    void PickDevice(const orv::device::DeviceId& key) override;
    void ChecksChanged() override;
    void OnSelectAll(bool checked) override;
    void JobRunningChanged(bool running) override;

private:
    void createControls();
    void layoutControls();
    // The list in its order: each camera's address, version and check.
    std::vector<orv::upgrade::ListRow> listRows() const;
    void showMessage(const std::optional<orv::Message>& message);
    void applyFamilyFilter();
    std::optional<orv::upgrade::ImageTarget> referenceCamera() const;
    void setProgress(int percent);

    QComboBox* m_familyFilter = nullptr;
    QLabel* m_messageLabel = nullptr;
    QGroupBox* m_group = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_upgrade = nullptr;
    QProgressBar* m_progress = nullptr;
    // A rollout in waves, with a stop after failures.
    QCheckBox* m_waves = nullptr;
    QLabel* m_shareLabel = nullptr;
    QSpinBox* m_share = nullptr;
    QLabel* m_stopLabel = nullptr;
    QSpinBox* m_stopAfter = nullptr;
    orv::upgrade::Rollout rollout() const;
    // The text the message label shows, looked up again on a language change.
    orv::Message m_labelText = orv::upgrade::kModelUnmatched;
};

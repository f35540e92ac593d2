#pragma once
// The Batch Upgrade page: the discovered cameras sorted by version, a
// family filter for the checked set, and one firmware image sent to the
// current camera (with a result line) or to every checked camera of one
// family (silently, with the progress bar advancing per camera).

#include "UpgradeRules.h"
#include "pages/DeviceListPage.h"

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace orv {
class IAppServices;
}

class CBatchUpgradeDlg : public CDeviceListPage {
    Q_OBJECT
public:
    // `sdk` nullptr: the real device SDK.
    explicit CBatchUpgradeDlg(orv::IAppServices& app, QWidget* parent = nullptr,
                              orv::CDeviceList::Clock clock = {},
                              orv::batchset::IDeviceSdk* sdk = nullptr);

    void SetLanguageText() override;
    bool IsCheckedMode() const { return Devices().checkedMode; }

    void Browse();
    void Upgrade();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void OnRowDoubleClicked(int row) override;

private:
    void createControls();
    void layoutControls();
    std::vector<orv::upgrade::ListRow> listRows() const;
    void showMessage(const std::optional<orv::upgrade::Message>& message);
    void selectCurrentRow(int row);
    void PickRow(int row) override;
    // The check rule after one or more check marks changed; `nowChecked`:
    // the last change set a mark.
    void onChecksChanged(bool nowChecked);
    void applyFamilyFilter();
    void onItemClicked(int row, int column);
    void onRowSelectionChanged(int row, bool selected);
    void onSelectAll(bool checked);
    std::optional<std::string> referenceModel() const;
    void setProgress(int percent);

    orv::IAppServices& m_app;
    orv::batchset::IDeviceSdk& m_sdk;
    QCheckBox* m_selectAll = nullptr;
    QComboBox* m_familyFilter = nullptr;
    QLabel* m_messageLabel = nullptr;
    QGroupBox* m_group = nullptr;
    QLabel* m_fileLabel = nullptr;
    QLineEdit* m_pathEdit = nullptr;
    QPushButton* m_browse = nullptr;
    QPushButton* m_upgrade = nullptr;
    QProgressBar* m_progress = nullptr;
    // The text the message label shows, looked up again on a language change.
    orv::upgrade::Message m_labelText = orv::upgrade::kModelUnmatched;
};

#pragma once
// The Network sub-page: the four service ports and the dynamic-DNS
// registration. Save checks the fields and applies ports, then DDNS, through
// the batch operations.

#include "BatchSubPage.h"
#include "operations/batchset/NetworkParamRules.h"

#include <QSet>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv::batchset {
class CBatchOperations;
}

class CNetworkParamDlg : public CBatchSubPage {
    Q_OBJECT
public:
    // `drivers` decide which DDNS texts the cameras take.
    CNetworkParamDlg(orv::batchset::CBatchOperations& operations,
                     const orv::device::CDriverSet& drivers, QWidget* parent = nullptr);

    void SetLanguageText() override;
    void ShowSettings(const orv::batchset::DeviceSettings& settings) override;
    void SetSaveEnabled(bool enabled) override;

    // Selects the provider whose list text contains a camera's provider text.
    void SetProviderFromRecordText(const QString& text);
    void Save();

protected:
private:
    void createControls();
    void layoutControls();
    void applyEnableRule();
    void applyHashRule();
    orv::batchset::PortForm portForm() const;
    orv::batchset::DdnsForm ddnsForm() const;
    // The fields as filled (start values, or the picked camera's): what a
    // checked Save compares against to find what the installer touched.
    void rememberShown();
    // Sends only the fields that differ from what was shown or were typed
    // in: for a checked set, and for one camera where SendsOnlyChanges.
    void saveChanges();

    orv::batchset::CBatchOperations& m_operations;
    const orv::device::CDriverSet& m_drivers;

    QGroupBox* m_portFrame = nullptr;
    QGroupBox* m_ddnsFrame = nullptr;
    QLabel* m_httpLabel = nullptr;
    QLineEdit* m_httpEdit = nullptr;
    QLabel* m_rtsp1Label = nullptr;
    QLineEdit* m_rtsp1Edit = nullptr;
    QLabel* m_rtsp2Label = nullptr;
    QLineEdit* m_rtsp2Edit = nullptr;
    QLabel* m_onvifLabel = nullptr;
    QLineEdit* m_onvifEdit = nullptr;
    QCheckBox* m_enable = nullptr;
    QLabel* m_providerLabel = nullptr;
    QComboBox* m_providers = nullptr;
    QLabel* m_userLabel = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLabel* m_hostLabel = nullptr;
    QLineEdit* m_hostEdit = nullptr;
    QLabel* m_hashLabel = nullptr;
    QLineEdit* m_hashEdit = nullptr;
    QPushButton* m_save = nullptr;
    orv::batchset::PortForm m_shownPorts;
    orv::batchset::DdnsForm m_shownDdns;
    bool m_onlyChanges = false;
    QSet<QLineEdit*> m_typedIn; // since the fields were last filled
};

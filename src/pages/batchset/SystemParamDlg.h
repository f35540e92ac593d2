#pragma once
// The System sub-page: device name, administrator password, date and time,
// Reboot and Restore. Save applies them in a fixed order through the batch
// operations to the current camera or to every checked camera.

#include "BatchSubPage.h"
#include "device/DriverSet.h"

#include <QBasicTimer>

class QButtonGroup;
class QComboBox;
class QDateTimeEdit;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace orv {
class IAppServices;
namespace batchset {
class CBatchOperations;
}
namespace ui {
class CNameEdit;
}
} // namespace orv

class CSystemParamDlg : public CBatchSubPage {
    Q_OBJECT
public:
    // `drivers` decide which names and passwords the cameras take.
    CSystemParamDlg(orv::batchset::CBatchOperations& operations, orv::IAppServices& app,
                    const orv::device::CDriverSet& drivers, QWidget* parent = nullptr);
    ~CSystemParamDlg() override;

    void SetLanguageText() override;
    void ShowDevice(const orv::device::DeviceInfo& device) override;
    void ShowSettings(const orv::batchset::DeviceSettings& settings) override;
    void SetJobRunning(bool running) override;
    void SetSaveEnabled(bool enabled) override;
    void SetCheckedMode(bool on) override;

    void Save();
    // The one-second timer's work; public so tests can drive the clock.
    void OnSecondTick();
    // Password and Confirm Password show the default password again, which
    // a Save does not send.
    void RearmPasswords();
    // The Default User password changed: the fields show it at once unless
    // a new password was typed in them.
    void FollowDefaultPassword();

signals:
    // A Save sends a new password (as typed) to its cameras.
    void passwordChangeStarted(const QString& password);

protected:
    void timerEvent(QTimerEvent* event) override;

private:
    void createControls();
    void layoutControls();
    void onOptionChosen(int option);

    orv::batchset::CBatchOperations& m_operations;
    orv::IAppServices& m_app;
    const orv::device::CDriverSet& m_drivers;
    QBasicTimer m_secondTimer;
    bool m_passwordTyped = false;

    QGroupBox* m_systemFrame = nullptr;
    QGroupBox* m_adminFrame = nullptr;
    QGroupBox* m_dateFrame = nullptr;
    QLabel* m_nameLabel = nullptr;
    orv::ui::CNameEdit* m_nameEdit = nullptr;
    QLabel* m_userLabel = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QLabel* m_confirmLabel = nullptr;
    QLineEdit* m_confirmEdit = nullptr;
    QPushButton* m_reboot = nullptr;
    QPushButton* m_restore = nullptr;
    QLabel* m_dateLabel = nullptr;
    QDateTimeEdit* m_datePicker = nullptr;
    QLabel* m_timeLabel = nullptr;
    QDateTimeEdit* m_timePicker = nullptr;
    QButtonGroup* m_options = nullptr;
    QRadioButton* m_keep = nullptr;
    QRadioButton* m_computerTime = nullptr;
    QRadioButton* m_manual = nullptr;
    QRadioButton* m_timeServer = nullptr;
    QComboBox* m_timeZones = nullptr;
    QPushButton* m_save = nullptr;
};

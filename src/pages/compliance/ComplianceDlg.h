#pragma once
// The open site's compliance: which answering cameras differ from the
// site's profile, in which fields, or run another firmware than its
// target. The profile is read from the site's book on a thread of the
// dialog's own; the cameras are read by a job, never on the window thread.
// "Apply profile to these" hands the window a job that gives each listed
// camera the settings it differs in, recorded in the site's history like
// any job (so it can be undone there); once it has ended, the cameras are
// checked again.

#include "jobs/JobEngine.h"
#include "operations/profile/Compliance.h"
#include "services/SiteJournal.h"

#include <QDialog>

#include <functional>
#include <memory>
#include <thread>

class QLabel;
class QPushButton;
class QTableWidget;

class CComplianceDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // The cameras that answer now.
        std::function<std::vector<orv::device::DeviceInfo>()> live;
        // The login a check's job carries (each camera's own comes first).
        std::function<orv::device::Credentials()> login;
        // Runs the apply job where the person sees its progress and results;
        // false when it could not start (another job runs).
        std::function<bool(orv::jobs::JobSpec)> apply;
    };
    CComplianceDlg(std::shared_ptr<orv::CSiteJournal> site, orv::jobs::CJobEngine& jobs,
                   Hooks hooks, QWidget* parent = nullptr);
    ~CComplianceDlg() override;

    const std::shared_ptr<orv::CSiteJournal>& Site() const { return m_site; }
    // Reads the site's profile again, then checks the cameras.
    void Reload();
    // Checks the answering cameras against the profile read last.
    void Check();
    bool Checking() const { return m_checkJob != 0 || m_loading; }
    // What the last check found, the cameras that keep to the profile left
    // out.
    const std::vector<orv::profile::CheckedCamera>& Differing() const { return m_differing; }
    // Gives the listed cameras the profile's settings (asks first).
    void ApplyProfile();

signals:
    void checked();

private:
    void setLanguageText();
    void showProfile(std::optional<orv::site::ProfileEntry> entry, QString problem);
    void showChecked();
    void updateButtons();

    std::shared_ptr<orv::CSiteJournal> m_site;
    orv::jobs::CJobEngine& m_jobs;
    Hooks m_hooks;
    std::optional<orv::profile::ProfileSpec> m_profile;
    QString m_profileText; // what the profile line says
    std::thread m_loader;
    bool m_loading = false;
    orv::jobs::JobId m_checkJob = 0;
    int m_checkedCount = 0;
    std::shared_ptr<orv::profile::ComplianceResults> m_results;
    std::vector<orv::profile::CheckedCamera> m_differing;
    // An apply this dialog asked for: the cameras are checked again once
    // no job runs.
    bool m_recheck = false;

    QLabel* m_profileLabel = nullptr;
    QTableWidget* m_table = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_check = nullptr;
    QPushButton* m_apply = nullptr;
    QPushButton* m_close = nullptr;
};

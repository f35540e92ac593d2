#pragma once
// "Export handover report...": the open site's report as a PDF, CSV or JSON
// file (by the name chosen). The answering cameras are read by a job
// (settings and one picture each); the site's book, the passwords when
// asked for and the file are read and written off the window thread.

#include "jobs/JobEngine.h"
#include "operations/report/Handover.h"
#include "services/SiteJournal.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv::secrets {
class CPasswordVault;
}

class CHandoverDlg : public QDialog {
    Q_OBJECT
public:
    struct Hooks {
        // The cameras that answer now.
        std::function<std::vector<orv::device::DeviceInfo>()> live;
        // The job's login (each camera's own comes first) and the default
        // login a report with passwords names for cameras without their own.
        std::function<orv::device::Credentials()> login;
        // The site's passwords; nullptr where there are none to give.
        std::function<std::shared_ptr<orv::secrets::CPasswordVault>()> vault;
        // Runs `work` off the window thread and `then` back on it; the text
        // `work` returns is shown to the person.
        std::function<void(std::function<QString()> work, std::function<void()> then)> offWindow;
    };
    CHandoverDlg(std::shared_ptr<orv::CSiteJournal> site, orv::jobs::CJobEngine& jobs, Hooks hooks,
                 QWidget* parent = nullptr);
    ~CHandoverDlg() override;

    const std::shared_ptr<orv::CSiteJournal>& Site() const { return m_site; }
    // Asks where to write (the file dialog), then writes.
    void ChooseAndExport();
    // Reads the cameras and writes the report to `file`.
    void Export(const QString& file);
    bool Busy() const { return m_readJob != 0 || m_writing; }

signals:
    // The report was written (or not: `error` says why).
    void exported(const QString& file, const QString& error);

private:
    void setLanguageText();
    void write(const QString& file);
    void updateButtons();

    std::shared_ptr<orv::CSiteJournal> m_site;
    orv::jobs::CJobEngine& m_jobs;
    Hooks m_hooks;
    orv::jobs::JobId m_readJob = 0;
    bool m_writing = false;
    QString m_file;
    std::shared_ptr<orv::report::Readings> m_readings;

    QLineEdit* m_installer = nullptr;
    QCheckBox* m_passwords = nullptr;
    QLabel* m_passwordsNote = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_export = nullptr;
    QPushButton* m_close = nullptr;
};

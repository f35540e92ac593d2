#pragma once
// The main window: banner, Language link, the page container, the Default
// User box whose credentials every device login uses, and the Operating
// Information list in which operations report their results.

#include "SiteSwitch.h"
#include "WindowServices.h"
#include "services/DeviceServices.h"

#include <QDialog>
#include <QPixmap>
#include <QPointer>

#include <deque>
#include <functional>
#include <thread>

class QFrame;
class QGroupBox;
class QLabel;
class QLineEdit;
class QListWidget;
class CDeviceListPage;
class CPageDlg;
class CSearchDlg;
class CBatchSetDlg;
class CBatchUpgradeDlg;
class CVideoViewDlg;
class COemDlg;
class CHistoryDlg;
class CComplianceDlg;
class CHandoverDlg;

namespace orv::ui {
class CLinkLabel;
class CPageContainer;
class CPictureCtrl;
} // namespace orv::ui

class CMainDlg : public QDialog {
    Q_OBJECT
public:
    // Whether the window searches every network adapter for cameras. Tests
    // that must send nothing on the machine's networks pass Off.
    enum class Discovery { AllAdapters, Off };

    static constexpr int kUserMaxChars = 31;
    static constexpr int kPasswordMaxChars = 15;

    // `discovery` switches the maker's discovery (raw frames on every
    // adapter); `moreDrivers` (a test's) discover whenever the window runs.
    CMainDlg(bool oemMode, Discovery discovery, QWidget* parent = nullptr,
             const std::vector<orv::device::IDeviceDriver*>& moreDrivers = {});
    ~CMainDlg() override;

    // What the pages use of the window.
    CWindowServices& Services() { return *m_services; }
    int DiscoveryInstanceCount() { return m_devices.Maker().InstanceCount(); }
    orv::CDiscoveryHub& DiscoveryHub() { return m_devices.Hub(); }
    orv::jobs::CJobEngine& Jobs() { return m_devices.Jobs(); }

    // Keeps a site's book from here on: the site opened last in `folder`
    // (the Default site at first start). Without it the window keeps no
    // history and silent cameras leave the lists.
    void OpenSites(const std::filesystem::path& folder);
    CSiteSwitch* Sites() const { return m_sites.get(); }
    // The open site's name; empty while none is open.
    const QString& SiteName() const { return m_siteName; }

    void SetLanguageText();
    void ShowLanguageMenu();
    void ShowSiteMenu();
    // The open site's history (one window, brought up again when open).
    CHistoryDlg* ShowHistory();
    // Puts the changes of the site's job `job` back on the cameras that
    // answer; false, with the reason said, when it cannot start.
    bool UndoJob(std::int64_t job, const std::vector<orv::site::ChangeEntry>& changes);
    // Gives `target` the settings the book knows of the camera of `changes`.
    bool RestoreBackup(const std::vector<orv::site::ChangeEntry>& changes,
                       const orv::device::DeviceInfo& target);
    // Takes the site's profile from the one camera Network Settings has
    // picked: its settings are read by a job, then written to a file the
    // person chooses and kept in the site's book, off the window thread.
    void SaveSiteProfile();
    // The open site's compliance with its profile (one window).
    CComplianceDlg* ShowCompliance();
    // "Export handover report..." of the site menu.
    CHandoverDlg* ShowHandover();
    // Keeps every setting of Network Settings' checked cameras (or its
    // current one) in the site's book.
    void BackUpSettings();
    // Writes the open site's camera passwords to a handover file the person
    // chooses, off the window thread; says where, and what it holds.
    void ExportPasswords();
    // Gives each camera Batch Set's work goes to its own new random
    // password, kept in the site's vault before its camera changes.
    void RotatePasswords();
    // Asks for the site passphrase the cameras' own passwords are sealed
    // under (where no keyring answers) and tries it off the window thread.
    void AskSitePassphrase();
    // True while the passwords are being exported or unlocked (tests).
    bool ExportingPasswords() const { return m_secretsBusy; }
    std::shared_ptr<orv::secrets::CPasswordVault> Vault() const { return m_devices.Vault(); }
    void ShowAboutBox();

    bool OemMode() const { return m_oemMode; }
    CSearchDlg* SearchPage() const { return m_searchPage; }
    CBatchSetDlg* BatchSetPage() const { return m_batchSetPage; }
    CBatchUpgradeDlg* BatchUpgradePage() const { return m_upgradePage; }
    CVideoViewDlg* VideoViewPage() const { return m_videoPage; }
    COemDlg* OemPage() const { return m_oemPage; }

public slots:
    void reject() override;

protected:
    void closeEvent(QCloseEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    bool nativeEvent(const QByteArray& eventType, void* message, qintptr* result) override;

private:
    void restoreLanguageAndCredentials();
    void initDialog();
    void createControls();
    void createPages();
    void layoutControls();
    void readCredentials();
    void storeCredentials();
    void shareCredentials();
    void connectPages();
    void shutDown();
    void siteOpened(const QString& name, std::shared_ptr<orv::CSiteJournal> journal,
                    const std::vector<CSiteSwitch::Remembered>& cameras,
                    std::shared_ptr<orv::secrets::CPasswordVault> vault);
    void showSiteMenu(const QStringList& names);
    const bool m_oemMode;
    const Discovery m_discoveryMode;
    bool m_shutDown = false;
    bool m_listsFullReported = false;
    QPixmap m_banner;

    orv::ui::CPictureCtrl* m_bannerCtrl = nullptr;
    orv::ui::CLinkLabel* m_languageLabel = nullptr;
    orv::ui::CLinkLabel* m_siteLabel = nullptr;
    QFrame* m_pageFrame = nullptr;
    orv::ui::CPageContainer* m_pageContainer = nullptr;
    QGroupBox* m_userBox = nullptr;
    QLabel* m_userLabel = nullptr;
    QLineEdit* m_userEdit = nullptr;
    QLabel* m_passwordLabel = nullptr;
    QLineEdit* m_passwordEdit = nullptr;
    QGroupBox* m_infoBox = nullptr;
    QListWidget* m_infoList = nullptr;

    CSearchDlg* m_searchPage = nullptr;
    CBatchSetDlg* m_batchSetPage = nullptr;
    CBatchUpgradeDlg* m_upgradePage = nullptr;
    CVideoViewDlg* m_videoPage = nullptr;
    COemDlg* m_oemPage = nullptr;

    std::vector<CDeviceListPage*> m_devicePages;
    orv::CDeviceServices m_devices;
    std::unique_ptr<CWindowServices> m_services;
    QString m_siteName;
    QPointer<CHistoryDlg> m_history;
    QPointer<CComplianceDlg> m_compliance;
    QPointer<CHandoverDlg> m_handover;
    // Last: its worker may still hand a site to the window as it goes.
    std::unique_ptr<CSiteSwitch> m_sites;
    // Work on the site's files that waits for the disk or the keyring, or
    // derives a key (this thread serves the keyring): `work` runs on a
    // thread of its own, one at a time, and what it returns is said to the
    // person (nothing when empty); `then` follows on this thread.
    void runOffWindow(std::function<QString()> work, std::function<void()> then = {});
    std::thread m_secretsWork; // joined at shutdown
    bool m_secretsBusy = false;
    // Work asked for while other work ran; what is left at shutdown is
    // dropped.
    struct OffWindow {
        std::function<QString()> work;
        std::function<void()> then;
    };
    std::deque<OffWindow> m_offWindowQueue;
};

#include "BatchSetDlg.h"

#include "NetworkParamDlg.h"
#include "SystemParamDlg.h"
#include "VideoImageDlg.h"
#include "operations/common/AppServices.h"
#include "operations/common/ResultLines.h"
#include "pages/common/FieldLimit.h"
#include "pages/common/JobPanel.h"
#include "ui/Browser.h"
#include "ui/DialogFont.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/PageContainer.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QVBoxLayout>

#include <algorithm>

using orv::ui::LangText;

namespace {

constexpr int kListWidth = 480;
constexpr int kMinListWidth = 200;
constexpr int kMinTabWidth = 80;

} // namespace

CBatchSetDlg::CBatchSetDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent,
                           orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::BatchSet, app, jobs, parent, std::move(clock)) {
    setObjectName(QStringLiteral("batchSetPage"));
    m_operations = std::make_unique<orv::batchset::CBatchOperations>(
        static_cast<orv::batchset::IBatchHost&>(*this), jobs.Reboots());
    createControls();
    SetLanguageText();
    layoutControls();
}

CBatchSetDlg::~CBatchSetDlg() {
    // No job of the page outlives it; reboots its jobs queued belong to the
    // engine, which makes them unless the program closes first.
    for (const orv::jobs::JobId job : {m_loadJob, m_referenceJob, CurrentJob()}) {
        m_jobs.CancelAndWait(job);
    }
}

void CBatchSetDlg::createControls() {
    m_pages = new orv::ui::CPageContainer(this);
    m_pages->setObjectName(QStringLiteral("batchSubPages"));
    m_systemPage = new CSystemParamDlg(*m_operations, m_app, m_jobs.Drivers(), m_pages);
    connect(m_systemPage, &CSystemParamDlg::passwordChangeStarted, this,
            [this](const QString& password) {
                m_passwordJob = CurrentJob();
                m_newPassword = password;
            });
    m_networkPage = new CNetworkParamDlg(*m_operations, m_jobs.Drivers(), m_pages);
    auto* videoPage = new CVideoImageDlg(*m_operations, m_pages);
    m_videoPage = videoPage;
    connect(videoPage, &CVideoImageDlg::referenceReadWanted, this,
            [this, videoPage](const orv::device::DeviceInfo& device) {
                read(device, orv::batchset::ReadScope::Streams, m_referenceJob,
                     [videoPage](const orv::batchset::DeviceSettings& settings) {
                         videoPage->ShowReferenceStreams(settings);
                     });
            });
    m_pages->addTab(m_systemPage, QString());
    m_pages->addTab(m_networkPage, QString());
    m_pages->addTab(m_videoPage, QString());
    // Each sub-page is shown once so that its window exists; System ends in
    // front.
    m_pages->setCurrentIndex(2);
    m_pages->setCurrentIndex(1);
    m_pages->setCurrentIndex(0);
    m_pages->SetMinTabWidth(kMinTabWidth);

    m_conflictLabel = new QLabel(this);
    m_conflictLabel->setObjectName(QStringLiteral("conflictLabel"));
    m_conflictLabel->setStyleSheet(QStringLiteral("color: #c00000; font-weight: bold;"));
    m_conflictLabel->hide();
    for (CBatchSubPage* page : subPages()) {
        page->SetSaveEnabled(false);
    }
}

std::vector<CBatchSubPage*> CBatchSetDlg::subPages() const {
    return {m_systemPage, m_networkPage, m_videoPage};
}

void CBatchSetDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_pages->setTabText(0, LangText(L"20018", L"System"));
    m_pages->setTabText(1, LangText(L"20019", L"Network"));
    m_pages->setTabText(2, LangText(L"20030", L"Video/Image"));
    m_selectAll->setText(LangText(L"20010", L"Select All"));
    m_conflictLabel->setText(LangText(L"90012", L"Ip address conflict!Please modify IP at first!"));
    for (CBatchSubPage* page : subPages()) {
        page->SetLanguageText();
    }
}

void CBatchSetDlg::layoutControls() {
    // The list and the sub-pages share the width, the list up to its
    // width; the sub-pages keep what their rows need, so a narrow window
    // narrows the list.
    LimitListWidth(kMinListWidth, kListWidth);
    QHBoxLayout* below = SelectAllRow({}, m_conflictLabel);
    auto* list = new QVBoxLayout;
    list->addLayout(ListColumn(), 1);
    list->addLayout(below);
    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->setSpacing(2);
    page->addLayout(list, 1);
    page->addWidget(m_pages, 1);
}

// ---- the operations' view of the page

std::vector<orv::device::DeviceInfo> CBatchSetDlg::CheckedDevices() const {
    return Devices().CheckedDevices();
}

std::optional<orv::device::DeviceInfo> CBatchSetDlg::CurrentDevice() const {
    const orv::DeviceRow* device = Selection().CurrentDevice();
    if (device == nullptr) {
        return std::nullopt;
    }
    return device->info;
}

orv::device::Credentials CBatchSetDlg::DefaultCredentials() const {
    return {m_app.DefaultUserText(), m_app.DefaultPasswordText()};
}

void CBatchSetDlg::ShowMessage(const orv::Message& message) {
    orv::ui::ShowMessage(this, LangText(message.id, message.defaultText));
}

bool CBatchSetDlg::RotatePasswords(orv::batchset::KeepPassword keep) {
    const std::vector<orv::device::DeviceInfo> targets = m_operations->Targets();
    if (targets.empty() || JobRunning() || !keep) {
        if (targets.empty()) {
            ShowMessage(orv::kSelectOneDeviceCapital);
        }
        return false;
    }
    if (!orv::ui::AskYesNo(this,
                           orv::ui::LangText(L"96085", L"Give each of the %1 cameras its own new "
                                                       L"random password? Each is kept by the "
                                                       L"site before its camera changes, and each "
                                                       L"camera reboots.")
                               .arg(targets.size()))) {
        return false;
    }
    auto consent = std::make_shared<orv::batchset::SecretConsent>();
    m_operations->AskPlainSecrets(targets, *consent);
    auto passwords = std::make_shared<orv::batchset::NewPasswords>();
    for (const orv::device::DeviceInfo& camera : targets) {
        (*passwords)[camera.id] = orv::batchset::RandomPassword();
    }
    RunOperations(orv::batchset::PasswordJob(targets, DefaultCredentials(), std::move(passwords),
                                             std::move(keep), std::move(consent), Reboots()),
                  !IsCheckedMode());
    return true;
}

bool CBatchSetDlg::ConfirmChange(const std::wstring& what, int cameras) {
    return orv::ui::AskYesNo(this, orv::ChangeQuestion({QString::fromStdWString(what)}, cameras));
}

bool CBatchSetDlg::KnownEncrypted(const orv::device::DeviceInfo& device) const {
    return m_app.KnownEncrypted(device);
}

bool CBatchSetDlg::ConfirmPlainSecret(const std::vector<orv::device::DeviceInfo>& cameras,
                                      bool inClear) {
    if (inClear) {
        return orv::ui::AskYesNo(
            this,
            LangText(L"95056", L"%1 of the cameras were never reached over an encrypted connection "
                               L"and cannot seal a password. If one offers none, its new password "
                               L"crosses the network in clear: anyone who captures it can read it. "
                               L"Send it to such cameras anyway?")
                .arg(cameras.size()));
    }
    return orv::ui::AskYesNo(
        this,
        LangText(L"95055", L"%1 of the cameras were never reached over an encrypted connection. If "
                           L"one offers none, its new password crosses the network sealed only "
                           L"under the current password: anyone who captures it and knows or "
                           L"guesses the current password can read the new one. Send it to such "
                           L"cameras anyway?")
            .arg(cameras.size()));
}

bool CBatchSetDlg::Ask(const orv::Message& question) {
    return orv::ui::AskYesNo(this, LangText(question.id, question.defaultText));
}

void CBatchSetDlg::RunOperations(orv::jobs::JobSpec order, bool oneCamera) {
    RunJob(std::move(order), oneCamera ? Report::Lines : Report::Summary);
}

void CBatchSetDlg::JobRunningChanged(bool running) {
    for (CBatchSubPage* page : subPages()) {
        page->SetJobRunning(running);
    }
    updateSaveButtons();
}

void CBatchSetDlg::JobFinished(orv::jobs::JobId job) {
    if (job == 0 || job != m_passwordJob) {
        return;
    }
    m_passwordJob = 0;
    const auto& results = JobPanel()->Results().Results();
    const bool taken = std::any_of(results.begin(), results.end(), [](const auto& r) {
        return r.operation ==
                   orv::batchset::OperationWords(orv::batchset::Operation::ModifyPassword) &&
               r.outcome == orv::jobs::Outcome::Succeeded;
    });
    // Later logins to a camera that took it fail with the old default.
    if (taken && Ask(orv::batchset::kAskNewDefaultPassword)) {
        m_app.SetDefaultPassword(m_newPassword);
    }
    m_newPassword.clear();
    // The fields show the password the next Save logs in with, not one
    // that was sent already.
    m_systemPage->RearmPasswords();
}

void CBatchSetDlg::DefaultCredentialsChanged() {
    m_systemPage->FollowDefaultPassword();
}

void CBatchSetDlg::read(const orv::device::DeviceInfo& device, orv::batchset::ReadScope scope,
                        orv::jobs::JobId& slot,
                        std::function<void(const orv::batchset::DeviceSettings&)> show) {
    // A newer pick makes the older read pointless: it stops where it is.
    m_jobs.Cancel(slot);
    auto settings = std::make_shared<orv::batchset::DeviceSettings>();
    auto job = std::make_shared<orv::jobs::JobId>(0);
    // The job ends after its worker wrote the settings.
    *job = RunQuiet(
        orv::batchset::CBatchOperations::ReadJob(device, DefaultCredentials(), scope, settings),
        [job, &slot, settings, show] {
            if (slot == *job) {
                slot = 0;
                show(*settings);
            }
        });
    slot = *job;
}

bool CBatchSetDlg::LoadRunning() const {
    return m_loadJob != 0;
}

// ---- selection, clicks and checks

void CBatchSetDlg::EnterCheckedMode(bool on) {
    for (CBatchSubPage* page : subPages()) {
        page->SetCheckedMode(on);
    }
}

void CBatchSetDlg::showConflict(bool conflict) {
    m_conflictLabel->setVisible(conflict);
    m_conflict = conflict;
    updateSaveButtons();
}

void CBatchSetDlg::updateSaveButtons() {
    // While the picked camera's settings are on their way, the fields still
    // show the last camera's (or the start values): a Save then would send
    // the camera values nobody chose for it.
    const bool enabled = !m_conflict && !JobRunning() && !LoadRunning();
    for (CBatchSubPage* page : subPages()) {
        page->SetSaveEnabled(enabled);
    }
}

void CBatchSetDlg::LoadDevice(const orv::device::DeviceId& key) {
    Selection().Pick(key);
}

void CBatchSetDlg::PickDevice(const orv::device::DeviceId& key) {
    const orv::DeviceRow* device = Devices().Find(key);
    if (device == nullptr) {
        return;
    }
    if (Selection().Conflicts(key)) {
        m_jobs.Cancel(m_loadJob);
        m_loadJob = 0;
        showConflict(true);
        return;
    }
    showConflict(false);
    for (CBatchSubPage* page : subPages()) {
        page->ShowDevice(device->info);
    }
    read(device->info, orv::batchset::ReadScope::Everything, m_loadJob,
         [this](const orv::batchset::DeviceSettings& settings) {
             updateSaveButtons();
             if (!settings.loggedIn) {
                 m_app.AddOperatingInfo(QString::fromLatin1(orv::kLoginFailedLine));
             }
             for (CBatchSubPage* page : subPages()) {
                 page->ShowSettings(settings);
             }
         });
    updateSaveButtons();
}

void CBatchSetDlg::ChecksChanged() {
    if (!IsCheckedMode()) {
        return;
    }
    const bool conflict = Selection().CheckedSetConflicts();
    showConflict(conflict);
    if (!conflict) {
        m_videoPage->CheckedSetChanged(Devices().CheckedDevices());
    }
}

void CBatchSetDlg::OnSelectAll(bool checked) {
    if (checked) {
        // One pass of the check rule for the whole set rather than one per
        // row: the outcome is the same, and the Video/Image sub-page reads
        // its reference camera once.
        Devices().SetAllChecks(true);
        Selection().SwitchCheckedMode(true);
        ChecksChanged();
        return;
    }
    Devices().SetAllChecks(false);
    Selection().SwitchCheckedMode(false);
    const int count = Devices().ShownCount();
    if (count == 0) {
        return;
    }
    const std::optional<orv::device::DeviceId> current = Selection().Current();
    const int target = current && Devices().RowOf(*current) == 0 ? count - 1 : 0;
    m_listCtrl->clearSelection();
    m_listCtrl->SelectItem(target, true);
}

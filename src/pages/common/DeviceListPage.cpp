#include "DeviceListPage.h"

#include "CapabilityGate.h"
#include "JobPanel.h"
#include "operations/common/AppServices.h"
#include "operations/common/ResultLines.h"
#include "ui/Browser.h"
#include "ui/DialogFont.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"

#include <QApplication>
#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QStringList>
#include <QTimerEvent>
#include <QVBoxLayout>

#include <array>
#include <cstdio>
#include <unordered_map>
#include <vector>

namespace {

// One counter per page kind for the whole process.
int& tickCounter(orv::DeviceListKind kind) {
    static std::array<int, 5> counters{};
    return counters[static_cast<std::size_t>(kind)];
}

} // namespace

CDeviceListPage::CDeviceListPage(orv::DeviceListKind kind, orv::IAppServices& app,
                                 orv::jobs::CJobEngine& jobs, QWidget* parent,
                                 orv::CDeviceList::Clock clock)
    : CPageDlg(parent), m_app(app), m_jobs(jobs),
      m_devices(std::make_unique<orv::CDeviceList>(kind, std::move(clock))),
      m_selection(std::make_unique<orv::CDeviceSelection>(*m_devices)) {
    m_listCtrl = new orv::CDeviceListCtrl(*m_devices, this);
    m_listCtrl->setObjectName(QStringLiteral("deviceList"));
    m_filter = new QLineEdit(this);
    m_filter->setObjectName(QStringLiteral("filterEdit"));
    m_filter->setClearButtonEnabled(true);
    connect(m_filter, &QLineEdit::textChanged, this,
            [this](const QString& text) { m_devices->SetFilter(text); });
    if (m_devices->Profile().checkBoxes) {
        m_selectAll = new QCheckBox(this);
        m_selectAll->setObjectName(QStringLiteral("selectAll"));
        connect(m_selectAll, &QCheckBox::clicked, this, [this](bool on) {
            OnSelectAll(on);
            UpdateCapabilities();
        });
        connect(m_selection.get(), &orv::CDeviceSelection::selectAllCleared, m_selectAll,
                [this] { m_selectAll->setChecked(false); });
    }
    m_gate = new CCapabilityGate(this);
    connect(m_selection.get(), &orv::CDeviceSelection::checkedModeSwitched, this, [this](bool on) {
        EnterCheckedMode(on);
        UpdateCapabilities();
    });
    connect(m_selection.get(), &orv::CDeviceSelection::picked, this,
            [this](const orv::device::DeviceId& key) {
                PickDevice(key);
                UpdateCapabilities();
            });
    connect(m_listCtrl, &orv::CDeviceListCtrl::deviceCheckToggled, this,
            &CDeviceListPage::onCheckToggled);
    connect(m_listCtrl, &orv::CDeviceListCtrl::deviceSelected, this,
            &CDeviceListPage::onDeviceSelected);
    connect(m_listCtrl, &orv::CDeviceListCtrl::deviceClicked, this,
            &CDeviceListPage::onDeviceClicked);
    connect(m_listCtrl, &orv::ui::CSortListCtrl::itemClicked, this, [this](int row, int) {
        if (row < 0) {
            m_pressInProgress = false;
            m_selectedDuringPress.reset();
        }
    });
    connect(m_listCtrl, &orv::CDeviceListCtrl::deviceDoubleClicked, this,
            [this](const orv::device::DeviceId& key) { OnDeviceDoubleClicked(key); });
    m_listCtrl->viewport()->installEventFilter(this);

    m_jobPanel = new CJobPanel(jobs, this);
    m_listColumn = new QVBoxLayout;
    m_listColumn->setContentsMargins(0, 0, 0, 0);
    m_listColumn->setSpacing(2);
    m_listColumn->addWidget(m_filter);
    m_listColumn->addWidget(m_listCtrl, 1);
    m_listColumn->addWidget(m_jobPanel);
    connect(&jobs, &orv::jobs::CJobEngine::operationDone, this, &CDeviceListPage::onJobResult);
    connect(&jobs, &orv::jobs::CJobEngine::finished, this, &CDeviceListPage::onJobFinished);
    connect(m_jobPanel, &CJobPanel::retryRequested, this,
            [this](const std::vector<orv::device::DeviceInfo>& cameras) {
                if (JobRunning() || cameras.empty()) {
                    return;
                }
                orv::jobs::JobSpec again = m_jobSpec;
                again.targets = cameras;
                RunJob(std::move(again), m_jobReport);
            });
    connect(m_jobPanel, &CJobPanel::trustAgainRequested, this,
            [this](const std::vector<orv::device::DeviceInfo>& cameras) { TrustAgain(cameras); });
    m_timer.start(kTimerMs, this);
}

CDeviceListPage::~CDeviceListPage() {
    m_timer.stop();
    m_jobs.CancelAndWait(m_job);
    m_listCtrl->viewport()->removeEventFilter(this);
    // The page that derives from this one is gone already: nothing emptying
    // the list may reach its overrides through the list's signals.
    QObject::disconnect(m_listCtrl, nullptr, this, nullptr);
    QObject::disconnect(m_selection.get(), nullptr, this, nullptr);
    delete m_listCtrl;
    m_listCtrl = nullptr;
}

void CDeviceListPage::SetLanguageText() {
    m_listCtrl->SetHeaderTexts();
    // Whole in the tool tip where a narrow list cuts the placeholder.
    const QString hint = orv::ui::LangText(L"20042", L"Filter: name, MAC, IP, model, version");
    m_filter->setPlaceholderText(hint);
    m_filter->setToolTip(hint);
    m_jobPanel->SetLanguageText();
}

std::vector<orv::device::DeviceInfo> CDeviceListPage::Targets() const {
    if (IsCheckedMode()) {
        return m_devices->CheckedDevices();
    }
    if (const orv::DeviceRow* current = m_selection->CurrentDevice()) {
        return {current->info};
    }
    return {};
}

bool CDeviceListPage::JobRunning() const {
    return m_job != 0 && m_jobs.IsRunning(m_job);
}

orv::jobs::JobId CDeviceListPage::RunJob(orv::jobs::JobSpec order, Report report) {
    m_jobSpec = order;
    m_jobReport = report;
    m_leftOut = IsCheckedMode() ? m_devices->OfflineDevices() : std::vector<orv::DeviceRow>();
    m_job = m_jobs.Start(std::move(order));
    m_jobPanel->Track(m_job, m_jobSpec.targets); // the list gives the panel its strip
    JobRunningChanged(true);
    return m_job;
}

orv::jobs::JobId CDeviceListPage::RunQuiet(orv::jobs::JobSpec order, std::function<void()> done) {
    const orv::jobs::JobId job = m_jobs.Start(std::move(order));
    m_jobs.WhenFinished(job, this, std::move(done));
    return job;
}

void CDeviceListPage::UpdateCapabilities() {
    using orv::device::Capabilities;
    Capabilities allowed = Capabilities::All();
    if (IsCheckedMode()) {
        allowed = m_devices->CheckedCapabilities().value_or(Capabilities::All());
    } else if (const orv::DeviceRow* current = m_selection->CurrentDevice()) {
        allowed = current->info.capabilities;
    }
    if (allowed != m_gate->Allowed()) {
        m_gate->Apply(allowed);
    }
}

void CDeviceListPage::JobRunningChanged(bool) {}

void CDeviceListPage::JobFinished(orv::jobs::JobId) {}

void CDeviceListPage::onJobResult(const orv::jobs::OperationResult& result) {
    // One camera's lines come as they happen; several cameras' lines come
    // at the end, in the list's order, whatever order the cameras finished in.
    if (result.job == m_job && m_jobReport == Report::Lines && m_jobSpec.targets.size() == 1) {
        writeLine(result);
    }
}

void CDeviceListPage::writeLine(const orv::jobs::OperationResult& result) {
    if (result.outcome != orv::jobs::Outcome::Cancelled) {
        orv::AddResultLine(m_app, orv::ResultLine(result.device, result.operation,
                                                  result.outcome == orv::jobs::Outcome::Succeeded));
    }
}

void CDeviceListPage::onJobFinished(orv::jobs::JobId job) {
    if (job != m_job) {
        return;
    }
    if (m_jobReport == Report::Lines && m_jobSpec.targets.size() > 1) {
        // In the order the cameras were listed, each camera's lines in the
        // order it made them; one pass over the results, whatever the count.
        std::unordered_map<orv::device::DeviceId, std::vector<const orv::jobs::OperationResult*>,
                           orv::device::DeviceIdHash>
            byCamera;
        for (const orv::jobs::OperationResult& r : m_jobPanel->Results().Results()) {
            byCamera[r.device.id].push_back(&r);
        }
        for (const orv::device::DeviceInfo& target : m_jobSpec.targets) {
            const auto it = byCamera.find(target.id);
            if (it == byCamera.end()) {
                continue;
            }
            for (const orv::jobs::OperationResult* r : it->second) {
                writeLine(*r);
            }
            byCamera.erase(it); // a camera listed twice gets its lines once
        }
    }
    if (m_jobReport == Report::Summary) {
        for (const orv::jobs::OperationTally& t :
             orv::jobs::Tally(m_jobPanel->Results().Results())) {
            m_app.AddOperatingInfo(orv::jobs::TallyLine(t));
        }
    }
    if (!m_leftOut.empty()) {
        m_app.AddOperatingInfo(orv::LeftOutLine(m_leftOut));
        m_leftOut.clear();
    }
    JobRunningChanged(false);
    JobFinished(job);
}

QHBoxLayout* CDeviceListPage::SelectAllRow(std::initializer_list<QWidget*> beside,
                                           QLabel* message) {
    auto* row = new QHBoxLayout;
    row->addWidget(m_selectAll);
    for (QWidget* control : beside) {
        row->addWidget(control);
    }
    row->addSpacing(12);
    message->setWordWrap(true);
    row->addWidget(message, 1);
    row->addStretch(); // the row's room goes to the message, else to nothing
    return row;
}

QVBoxLayout* CDeviceListPage::LayOutUnderList(QHBoxLayout* row) {
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 0);
    page->addLayout(ListColumn(), 1);
    row->setContentsMargins(24, 0, 0, 0);
    page->addLayout(row);
    auto* below = new QVBoxLayout;
    below->setContentsMargins(20, 0, 20, 0);
    page->addLayout(below);
    return below;
}

void CDeviceListPage::LimitListWidth(int narrowest, int widest) {
    const int grown = static_cast<int>(widest * orv::ui::FontScale(this));
    for (QWidget* part : std::initializer_list<QWidget*>{m_filter, m_listCtrl, m_jobPanel}) {
        part->setMaximumWidth(grown);
    }
    m_listCtrl->setMinimumWidth(narrowest);
}

int CDeviceListPage::Ticks() const {
    return tickCounter(m_devices->Profile().kind);
}

void CDeviceListPage::OnDevicesFound(const std::vector<orv::device::DeviceInfo>& devices) {
    m_devices->AddOrRefreshDevices(devices);
    if (!IsCheckedMode()) {
        UpdateCapabilities(); // the current camera may tell more now
    }
}

void CDeviceListPage::OnModifyDone(const orv::device::DeviceInfo& device) {
    m_devices->RefreshDevice(device);
}

void CDeviceListPage::OnModifyFailed(const orv::device::DeviceInfo&, orv::device::Fault) {}

void CDeviceListPage::timerEvent(QTimerEvent* event) {
    if (event->timerId() == m_timer.timerId()) {
        OnTick();
        return;
    }
    CPageDlg::timerEvent(event);
}

void CDeviceListPage::OnTick() {
    const int tick = ++tickCounter(m_devices->Profile().kind);
    OnPageTick(tick);
    if (tick % kDropEveryTicks == 0 || m_dropsPending) {
        m_dropsPending = m_devices->DropStaleDevices(kMaxDropsPerTick) == kMaxDropsPerTick;
    }
}

void CDeviceListPage::OnPageTick(int) {}

void CDeviceListPage::EnterCheckedMode(bool) {}

void CDeviceListPage::PickDevice(const orv::device::DeviceId&) {}

void CDeviceListPage::OnSelectAll(bool checked) {
    m_selection->SelectAll(checked);
    ChecksChanged();
}

bool CDeviceListPage::textClickRuleApplies() const {
    // Every list with check boxes follows its click notifications the way
    // the later Windows family reports them, on every platform.
    return m_devices->Profile().checkBoxes;
}

bool CDeviceListPage::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_listCtrl->viewport() && event->type() == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton && textClickRuleApplies()) {
        m_pressInProgress = true;
        m_selectedDuringPress.reset();
    }
    return CPageDlg::eventFilter(watched, event);
}

void CDeviceListPage::onCheckToggled(const orv::device::DeviceId& key, bool checked) {
    m_lastToggled = key;
    m_checkBeforeToggle = !checked;
    m_sinceToggle.start();
    m_selection->CheckChanged(checked);
    ChecksChanged();
    UpdateCapabilities();
}

void CDeviceListPage::onDeviceSelected(const orv::device::DeviceId& key) {
    if (m_pressInProgress) {
        m_selectedDuringPress = key;
        return;
    }
    m_selection->RowSelected(key);
}

void CDeviceListPage::onDeviceClicked(const orv::device::DeviceId& key, int column) {
    const std::optional<orv::device::DeviceId> selected = m_selectedDuringPress;
    m_pressInProgress = false;
    m_selectedDuringPress.reset();
    if (column != 0 && textClickRuleApplies()) {
        m_selection->TextClicked(key);
        ChecksChanged();
    } else if (selected) {
        m_selection->RowSelected(*selected);
    }
}

void CDeviceListPage::OnDeviceDoubleClicked(const orv::device::DeviceId& key) {
    const orv::DeviceRow* device = m_devices->Find(key);
    if (!m_devices->Profile().checkBoxes || device == nullptr) {
        return;
    }
    const bool pairedClick = m_lastToggled == key && m_sinceToggle.isValid() &&
                             m_sinceToggle.elapsed() <= QApplication::doubleClickInterval();
    const bool before = pairedClick ? m_checkBeforeToggle : m_devices->IsChecked(key);
    m_devices->SetChecked(key, !before);
    m_lastToggled.reset();
    m_selection->CheckChanged(!before);
    ChecksChanged();
    orv::ui::OpenUrl(QStringLiteral("http://") + device->info.AddressText());
}

void CDeviceListPage::TrustAgain(const std::vector<orv::device::DeviceInfo>& cameras) {
    if (cameras.empty()) {
        return;
    }
    QStringList names;
    for (const orv::device::DeviceInfo& c : cameras) {
        names << QStringLiteral("%1  %2").arg(QString::fromStdString(c.MacText()), c.AddressText());
    }
    const QString question =
        orv::ui::LangText(L"95054",
                          L"These cameras showed another key than the one they were trusted "
                          L"by: %1. Trust them again only if they were replaced or reset: a "
                          L"stand-in at their address would be given the password. Trust them "
                          L"again?")
            .arg(names.join(QStringLiteral(", ")));
    if (!orv::ui::AskYesNo(this, question)) {
        return;
    }
    for (const orv::device::DeviceInfo& c : cameras) {
        if (m_app.TrustAgain(c)) {
            m_app.AddOperatingInfo(QStringLiteral("Trust again: %1 %2.")
                                       .arg(QString::fromStdString(c.MacText()), c.AddressText()));
        }
    }
}

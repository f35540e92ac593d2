#include "SearchDlg.h"

#include "pages/common/CapabilityGate.h"

#include "AddressPlanDlg.h"
#include "file/RegularFile.h"
#include "operations/common/AppServices.h"
#include "operations/common/ResultLines.h"
#include "operations/network/NetworkRules.h"
#include "pages/common/FieldLimit.h"
#include "ui/DialogFont.h"
#include "ui/FileDialog.h"
#include "ui/FlowLayout.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/NameEdit.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QVBoxLayout>

#include <algorithm>
#include <cstring>
#include <utility>
#include <vector>

using orv::ui::LangText;

CSearchDlg::CSearchDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent,
                       orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::NetworkSettings, app, jobs, parent, std::move(clock)) {
    setObjectName(QStringLiteral("networkSettingsPage"));
    createControls();
    SetLanguageText();
    layoutControls();
}

void CSearchDlg::layoutControls() {
    // Under the list a row: Select All, the labelled fields (each label on
    // its field's line just before it) and at its right end the address
    // plan and Modify. Where the fields do not fit beside each other they
    // go on in another row and the list gives up the height.
    const QString address = QStringLiteral("255.255.255.255");
    orv::ui::FixWidth(m_nameEdit, 100);
    for (QLineEdit* edit : {m_ipEdit, m_maskEdit, m_gatewayEdit}) {
        orv::ui::FixWidth(edit, 100, address);
    }
    orv::ui::FixWidth(m_portEdit, 40, QStringLiteral("65535"));
    auto* fields = new orv::ui::CFlowLayout;
    fields->addWidget(m_sameIp);
    for (auto [label, field] : {std::pair<QLabel*, QWidget*>{m_nameLabel, m_nameEdit},
                                {m_ipLabel, m_ipEdit},
                                {m_maskLabel, m_maskEdit},
                                {m_gatewayLabel, m_gatewayEdit},
                                {m_portLabel, m_portEdit}}) {
        fields->addItem(orv::ui::LabelledField(label, field));
    }
    auto* row = new QHBoxLayout;
    row->addWidget(m_selectAll, 0, Qt::AlignTop);
    row->addSpacing(16);
    row->addLayout(fields, 1);
    row->addWidget(m_plan, 0, Qt::AlignTop);
    row->addWidget(m_modify, 0, Qt::AlignTop);
    auto* page = new QVBoxLayout(this);
    page->setContentsMargins(0, 0, 4, 2);
    page->addLayout(ListColumn(), 1);
    page->addLayout(row);
}

CSearchDlg::~CSearchDlg() {
    // The run's workers wait on this page's waiter.
    m_jobs.CancelAndWait(CurrentJob());
    m_jobs.CancelAndWait(m_singleModify); // its worker waits on this page's waiter
}

void CSearchDlg::createControls() {
    using orv::ui::Named;
    m_sameIp = Named(new QCheckBox(this), "sameIp");
    m_nameLabel = Named(new QLabel(this), "deviceNameLabel");
    m_nameEdit = Named(new orv::ui::CNameEdit(this), "deviceNameEdit");
    m_ipLabel = Named(new QLabel(this), "ipLabel");
    m_ipEdit = Named(new QLineEdit(this), "ipEdit");
    m_maskLabel = Named(new QLabel(this), "netmaskLabel");
    m_maskEdit = Named(new QLineEdit(this), "netmaskEdit");
    m_gatewayLabel = Named(new QLabel(this), "gatewayLabel");
    m_gatewayEdit = Named(new QLineEdit(this), "gatewayEdit");
    m_dnsLabel = Named(new QLabel(this), "dnsLabel");
    m_dnsEdit = Named(new QLineEdit(this), "dnsEdit");
    m_portLabel = Named(new QLabel(this), "httpPortLabel");
    m_portEdit = Named(new QLineEdit(this), "httpPortEdit");
    m_modify = Named(new QPushButton(this), "modifyButton");
    // The page changes addresses by discovery, or with a login where the
    // camera's protocol needs one (ONVIF).
    for (QWidget* field : std::initializer_list<QWidget*>{m_nameEdit, m_ipEdit, m_maskEdit,
                                                          m_gatewayEdit, m_portEdit, m_modify}) {
        NeedsCapability(field, orv::device::Capability::Address);
    }
    // A button with a menu: its width includes the menu's arrow.
    m_plan = Named(new QPushButton(this), "addressPlanButton");
    m_plan->setAutoDefault(false);
    auto* planMenu = new QMenu(m_plan);
    m_importPlan = planMenu->addAction(QString());
    m_importPlan->setObjectName(QStringLiteral("importPlanAction"));
    m_exportList = planMenu->addAction(QString());
    m_exportList->setObjectName(QStringLiteral("exportListAction"));
    m_plan->setMenu(planMenu);
    connect(m_importPlan, &QAction::triggered, this, &CSearchDlg::ImportAddressPlan);
    connect(m_exportList, &QAction::triggered, this, &CSearchDlg::ExportList);

    // The DNS server always follows the gateway; its fields never show.
    m_dnsLabel->hide();
    m_dnsEdit->hide();
    // What the camera keeps of a name is its driver's to say: the maker's
    // fixed field, or another maker's longer one.
    m_nameEdit->setMaxLength(64);
    orv::LimitToTaken(m_nameEdit, m_jobs.Drivers(), orv::device::TextField::Name,
                      [this] { return Targets(); });
    m_ipEdit->setMaxLength(16);
    m_maskEdit->setMaxLength(16);
    m_gatewayEdit->setMaxLength(16);
    m_portEdit->setMaxLength(5);
    m_modify->setEnabled(false);
    m_modify->setAutoDefault(false);
    m_sameIp->hide();

    connect(m_sameIp, &QCheckBox::clicked, this, [this] { updateIpLabel(); });
    connect(m_modify, &QPushButton::clicked, this, &CSearchDlg::Modify);
}

void CSearchDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_selectAll->setText(LangText(L"20010", L"Select All"));
    m_sameIp->setText(LangText(L"20011", L"Same IP"));
    m_dnsLabel->setText(LangText(L"20012", L"DNS:"));
    m_portLabel->setText(LangText(L"20013", L"HTTP Port:"));
    m_nameLabel->setText(LangText(L"20014", L"Device Name:"));
    m_maskLabel->setText(LangText(L"20015", L"Netmask:"));
    m_gatewayLabel->setText(LangText(L"20016", L"Gateway:"));
    m_modify->setText(LangText(L"20017", L"Modify"));
    m_plan->setText(LangText(L"95042", L"Address plan"));
    m_importPlan->setText(LangText(L"95043", L"Import address plan..."));
    m_exportList->setText(LangText(L"95044", L"Export list..."));
    updateIpLabel();
}

void CSearchDlg::updateIpLabel() {
    // "Start" whenever the run will hand out consecutive addresses.
    const bool start = IsCheckedMode() && !m_sameIp->isChecked();
    m_ipLabel->setText(start ? LangText(L"20009", L"Start IP Address:")
                             : LangText(L"20008", L"IP Address:"));
}

void CSearchDlg::EnterCheckedMode(bool on) {
    if (on) {
        m_sameIp->show();
        m_nameLabel->hide();
        m_nameEdit->hide();
        m_ipEdit->clear();
        m_maskEdit->clear();
        m_gatewayEdit->clear();
        m_portEdit->clear();
    } else {
        m_sameIp->hide();
        m_nameLabel->show();
        m_nameEdit->show();
    }
    updateIpLabel();
}

void CSearchDlg::PickDevice(const orv::device::DeviceId& key) {
    m_modify->setEnabled(true);
    const orv::DeviceRow* device = Devices().Find(key);
    if (device == nullptr) {
        return;
    }
    const orv::device::DeviceInfo& d = device->info;
    m_nameEdit->setText(d.name);
    m_ipEdit->setText(d.AddressText());
    m_maskEdit->setText(orv::device::Ipv4Text(d.netmask));
    m_gatewayEdit->setText(orv::device::Ipv4Text(d.gateway));
    m_portEdit->setText(QString::number(d.ports.http));
}

void CSearchDlg::OnPageTick(int tick) {
    if (tick % kDropEveryTicks == 0 && !JobRunning() &&
        (IsCheckedMode() || Selection().Current())) {
        m_modify->setEnabled(true);
    }
    if (tick % 10 == 0 && !IsCheckedMode()) {
        const QString name = m_nameEdit->text();
        const QString cut = m_jobs.Drivers().Cut(orv::device::TextField::Name, name, Targets());
        if (cut != name) {
            m_nameEdit->setText(cut);
            m_nameEdit->setCursorPosition(static_cast<int>(cut.size()));
        }
    }
}

void CSearchDlg::OnModifyDone(const orv::device::DeviceInfo& device) {
    CDeviceListPage::OnModifyDone(device);
    orv::AddResultLine(m_app, orv::ModifyResultLine(device, true));
    m_waiter.Complete(device.id, orv::device::Done{});
}

void CSearchDlg::OnModifyFailed(const orv::device::DeviceInfo& device, orv::device::Fault fault) {
    m_waiter.Complete(device.id, fault);
}

void CSearchDlg::RunSiteJob(orv::jobs::JobSpec settings,
                            std::vector<orv::network::ModifyRequest> addresses) {
    m_undoing = settings.undoes;
    if (settings.targets.empty()) {
        runChecked(std::move(addresses), settings.name + " addresses", m_undoing);
        return;
    }
    m_undoAddresses = std::move(addresses);
    RunJob(std::move(settings), Report::Summary);
}

void CSearchDlg::JobFinished(orv::jobs::JobId) {
    if (m_undoAddresses.empty()) {
        return;
    }
    std::vector<orv::network::ModifyRequest> addresses = std::move(m_undoAddresses);
    m_undoAddresses.clear();
    runChecked(std::move(addresses), "Undo job " + std::to_string(m_undoing) + " addresses",
               m_undoing);
}

void CSearchDlg::runChecked(std::vector<orv::network::ModifyRequest> requests, std::string name,
                            std::int64_t undoes) {
    orv::jobs::JobSpec order;
    order.name = std::move(name);
    order.undoes = undoes;
    order.probe = false;
    order.operations = {orv::network::kModifyOperation};
    auto changes =
        std::make_shared<std::unordered_map<orv::device::DeviceId, orv::device::AddressChange,
                                            orv::device::DeviceIdHash>>();
    for (const orv::network::ModifyRequest& request : requests) {
        const orv::device::DeviceId id = request.device.id;
        changes->emplace(id, request.change);
        m_waiter.Expect(id);
        // A request that cannot leave is that camera's outcome at once.
        if (const orv::device::Status sent =
                m_app.ChangeAddress(request.device, request.change, request.credentials);
            !sent) {
            m_waiter.Complete(id, sent);
        }
        if (const orv::DeviceRow* device = Devices().Find(id)) {
            order.targets.push_back(device->info);
        }
    }
    orv::network::CModifyWaiter& waiter = m_waiter;
    order.work = [&waiter, changes](orv::jobs::CameraRun& run) {
        orv::network::ReportModifyOutcome(waiter, run, changes->at(run.Device().id));
    };
    RunJob(std::move(order), Report::Summary);
}

void CSearchDlg::Modify() {
    namespace net = orv::network;
    const net::NetworkForm form{
        m_app.DefaultUserText().toStdWString(), m_app.DefaultPasswordText().toStdWString(),
        m_nameEdit->text().toStdWString(),      m_ipEdit->text().toStdWString(),
        m_maskEdit->text().toStdWString(),      m_gatewayEdit->text().toStdWString(),
        m_portEdit->text().toStdWString()};
    // The ports the Save would touch: a port that is not changed is never
    // refused, whatever it is (factory cameras serve on 80).
    const std::vector<orv::device::DeviceInfo> targets = Targets();
    std::vector<int> currentPorts;
    for (const orv::device::DeviceInfo& device : targets) {
        currentPorts.push_back(device.ports.http);
    }
    const net::CheckedForm checked =
        net::CheckForm(form, m_jobs.Drivers(), IsCheckedMode(), currentPorts, targets);
    if (checked.error) {
        orv::ui::ShowMessage(this, orv::MessageText(*checked.error, checked.field));
        return;
    }

    if (IsCheckedMode()) {
        if (Devices().Count() == 0) {
            m_modify->setEnabled(false);
            return;
        }
        QStringList what{orv::FieldName(m_ipLabel->text())};
        const std::pair<bool, QLabel*> kept[] = {{checked.keepNetmask, m_maskLabel},
                                                 {checked.keepGateway, m_gatewayLabel},
                                                 {checked.keepPort, m_portLabel}};
        for (const auto& [keep, label] : kept) {
            if (!keep) {
                what << orv::FieldName(label->text());
            }
        }
        if (!orv::ui::AskYesNo(this, orv::ChangeQuestion(what, static_cast<int>(targets.size())))) {
            return;
        }
        runChecked(net::BuildCheckedRequests(checked, targets, m_sameIp->isChecked()));
        m_modify->setEnabled(false);
        return;
    }

    const orv::DeviceRow* current = Selection().CurrentDevice();
    if (current == nullptr) {
        orv::ui::ShowMessage(this, LangText(orv::kSelectOneDeviceCapital.id,
                                            orv::kSelectOneDeviceCapital.defaultText));
        return;
    }
    // A copy: the list may change while the request is on its way.
    const orv::device::DeviceInfo device = current->info;
    if (net::RequestChangesNothing(*checked.change, device)) {
        return;
    }
    // The change goes into the site's history as a one-camera job of its
    // own, which waits for the outcome as a checked run does; the page says
    // it as it always did.
    m_waiter.Expect(device.id);
    const orv::device::Status sent =
        m_app.ChangeAddress(device, *checked.change, checked.credentials);
    if (!sent) {
        m_waiter.Complete(device.id, sent);
    }
    orv::jobs::JobSpec order;
    order.name = "Network Settings";
    order.operations = {net::kModifyOperation};
    order.targets = {device};
    order.probe = false;
    orv::network::CModifyWaiter& waiter = m_waiter;
    order.work = [&waiter, change = *checked.change](orv::jobs::CameraRun& run) {
        net::ReportModifyOutcome(waiter, run, change);
    };
    m_singleModify = RunQuiet(std::move(order), {});
    if (!sent) {
        // It never left: said now, as a refused change is said.
        orv::AddResultLine(m_app, orv::ModifyResultLine(device, false));
        return;
    }
    m_modify->setEnabled(false);
}

void CSearchDlg::JobRunningChanged(bool running) {
    CDeviceListPage::JobRunningChanged(running);
    m_importPlan->setEnabled(!running);
}

void CSearchDlg::ImportAddressPlan() {
    namespace plan = orv::plan;
    const QString path =
        orv::ui::GetOpenFileName(this, LangText(L"95045", L"Address plans (*.csv);;All files (*)"));
    if (path.isEmpty()) {
        return;
    }
    const orv::FileContent content = orv::ReadRegularFile(path.toStdWString(), plan::kMaxPlanBytes);
    if (content.error != orv::FileError::None) {
        orv::ui::ShowMessage(this, QStringLiteral("%1: %2").arg(
                                       path, QString::fromUtf8(orv::Describe(content.error))));
        return;
    }
    const plan::Plan read = plan::ReadPlan(content.bytes, m_jobs.Drivers());
    if (!read.problems.empty()) {
        // The first faults by line; the file is refused whole.
        constexpr std::size_t kShown = 10;
        QStringList lines;
        const std::string name = path.toStdString();
        for (std::size_t i = 0; i < std::min(read.problems.size(), kShown); ++i) {
            lines << QString::fromStdString(plan::ProblemText(name, read.problems[i]));
        }
        if (read.problems.size() > kShown) {
            lines << LangText(L"95046", L"... and %1 more.").arg(read.problems.size() - kShown);
        }
        orv::ui::ShowMessage(this, lines.join(QLatin1Char('\n')));
        return;
    }
    const std::vector<plan::PlanEntry> entries = plan::MatchPlan(
        read, Devices().Devices(),
        {m_app.DefaultUserText().toStdWString(), m_app.DefaultPasswordText().toStdWString()},
        m_jobs.Drivers());
    if (!CAddressPlanDlg::Review(this, entries) || JobRunning()) {
        return;
    }
    runChecked(CAddressPlanDlg::Requests(entries));
    m_modify->setEnabled(false);
}

void CSearchDlg::ExportList() {
    const QString path =
        orv::ui::GetSaveFileName(this, LangText(L"95045", L"Address plans (*.csv);;All files (*)"),
                                 QStringLiteral("cameras.csv"));
    if (path.isEmpty()) {
        return;
    }
    std::vector<std::vector<std::string>> rows;
    for (const orv::device::DeviceInfo& device : Devices().Devices()) {
        rows.push_back(orv::plan::ListCells(device, std::string()));
    }
    const std::string csv = orv::plan::ListCsv(rows);
    if (orv::WriteRegularFile(path.toStdWString(), csv) != orv::FileError::None) {
        orv::ui::ShowMessage(this, LangText(L"95015", L"Cannot write the file %1.").arg(path));
    }
}

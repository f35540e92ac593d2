#include "Session.h"

#include "SiteChoice.h"

#include "Selection.h"
#include "file/RegularFile.h"
#include "jobs/JobResults.h"
#include "lang/Language.h"
#include "operations/common/Message.h"
#include "operations/network/AddressPlan.h"
#include "operations/upgrade/UpgradeRules.h"
#include "settings/SettingsStore.h"
#include "text/TextConv.h"

#include <QCoreApplication>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <set>

namespace orv::cli {

namespace {

std::atomic<bool> g_interrupted{false};

void onInterrupt(int) {
    g_interrupted.store(true);
}

std::string text(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

std::wstring wide(const std::u16string& units) {
    std::string bytes;
    for (const char16_t u : units) {
        bytes += static_cast<char>(u & 0xFF);
        bytes += static_cast<char>(u >> 8);
    }
    return FromUtf16Bytes(bytes, true);
}

std::string describe(const device::DeviceInfo& c) {
    return c.MacText() + " " + c.AddressText().toStdString() + " (" + c.name.toStdString() + ")";
}

} // namespace

std::string ReadSecretLine(const std::string& path, std::string& line) {
    const FileContent file = ReadRegularFile(path, 4096);
    if (file.error != FileError::None) {
        return path + ": " + std::string(Describe(file.error));
    }
    line = file.bytes.substr(0, file.bytes.find('\n'));
    if (!line.empty() && line.back() == '\r') {
        line.pop_back();
    }
    return {};
}

std::string ResolveLogin(const Options& options, Login& login) {
    const Credentials stored = LoadCredentials();
    login.user = options.Has("user") ? FromUtf8(options.Value("user")) : wide(stored.user);
    if (options.Has("password-file")) {
        std::string line;
        if (std::string error = ReadSecretLine(options.Value("password-file"), line);
            !error.empty()) {
            return "--password-file " + error;
        }
        login.password = FromUtf8(line);
    } else if (const char* env = std::getenv("ORVANTIX_PASSWORD")) {
        login.password = FromUtf8(env);
    } else {
        login.password = wide(stored.password);
    }
    // What every page sends: the texts escaped into the login's fields; a
    // text that does not fit would go out empty.
    if (login.user.empty()) {
        return text(kUserEmpty);
    }
    if (login.password.empty()) {
        return text(kPasswordEmpty);
    }
    // A login carries 31 bytes of user name and 15 of password, escaped.
    char user[32] = {};
    char password[16] = {};
    if (WideToMulti(kCpAnsi, login.user.c_str(), user, sizeof user, true) == 0) {
        return "the user name is longer than a camera login carries";
    }
    if (WideToMulti(kCpAnsi, login.password.c_str(), password, sizeof password, true) == 0) {
        return "the password is longer than a camera login carries (14 bytes)";
    }
    login.credentials = {QString::fromStdWString(login.user),
                         QString::fromStdWString(login.password)};
    return {};
}

CSession::CSession(const Command& command, const Options& options,
                   const std::vector<device::IDeviceDriver*>& moreDrivers)
    : m_command(command), m_options(options), m_moreDrivers(moreDrivers) {
    struct sigaction action {};
    action.sa_handler = onInterrupt;
    // A second Ctrl+C ends the program at once.
    action.sa_flags = SA_RESETHAND;
    sigaction(SIGINT, &action, nullptr);
}

CSession::~CSession() {
    // Discovery and calls in flight end first (each call bounded by its time
    // limits), before the discovery's hubs go.
    m_devices.reset();
}

int CSession::Begin(bool login) {
    std::string error;
    const std::optional<int> jobs = m_options.Number("jobs", m_jobs, 1, 256, error);
    const std::optional<int> seconds = m_options.Number("seconds", m_seconds, 1, 3600, error);
    if (!jobs || !seconds) {
        return BadInput(error);
    }
    m_jobs = *jobs;
    m_seconds = *seconds;
    const std::optional<Format> format = ReadFormat(m_options.Value("format", "table"));
    if (!format) {
        return BadInput("--format: expected table, csv or json");
    }
    m_format = *format;
    if (login) {
        if (error = ResolveLogin(m_options, m_login); !error.empty()) {
            return BadInput(error);
        }
    }
    m_devices = std::make_unique<CDeviceServices>(m_jobs, m_moreDrivers,
                                                  CCliDiscovery::MakerDiscovery(), PinFilePath());
    // Every camera seen and every job go into the site's book.
    std::shared_ptr<CSiteJournal> site = OpenSiteJournal(m_options, error);
    if (!site) {
        return BadInput(error);
    }
    // Each camera's own password, kept in the desktop keyring where one
    // answers, else sealed under the site passphrase in the site's book.
    std::shared_ptr<secrets::CKeyring> keyring = secrets::ReachableKeyring();
    const std::optional<std::string> passphrase = GivenPassphrase(m_options, error);
    if (!error.empty()) {
        return BadInput(error);
    }
    secrets::CPasswordVault::Opened vault =
        secrets::CPasswordVault::Open(site->Site(), site->File(), keyring, passphrase);
    if (!vault.vault) {
        return BadInput("site \"" + site->Site() + "\": " + vault.error);
    }
    m_devices->OpenSite(std::move(site));
    m_devices->OpenVault(std::move(vault.vault));
    // ONVIF cameras tell their MAC, netmask and firmware only after a
    // login: the command's login, or the stored default one for discover.
    Login details = m_login;
    if (!login && !ResolveLogin(m_options, details).empty()) {
        details = {};
    }
    m_devices->SetDefaultCredentials(details.credentials);
    return kExitOk;
}

std::optional<std::string> GivenPassphrase(const Options& options, std::string& error) {
    if (options.Has("passphrase-file")) {
        std::string passphrase;
        error = ReadSecretLine(options.Value("passphrase-file"), passphrase);
        if (error.empty() && passphrase.empty()) {
            error = "--passphrase-file: the passphrase is empty";
        }
        return error.empty() ? std::optional(passphrase) : std::nullopt;
    }
    return secrets::PassphraseFromEnvironment();
}

int CSession::Discover() {
    const std::vector<std::string> protocols = m_options.Values("protocol");
    for (const std::string& p : protocols) {
        if (p != "maker" && p != "onvif") {
            return BadInput("--protocol: expected maker or onvif");
        }
    }
    const bool maker = protocols.empty() ||
                       std::find(protocols.begin(), protocols.end(), "maker") != protocols.end();
    const bool onvif = protocols.empty() ||
                       std::find(protocols.begin(), protocols.end(), "onvif") != protocols.end();
    if (const std::string error =
            m_discovery.Start(*m_devices, m_options.Values("interface"), maker, onvif);
        !error.empty()) {
        Note(error);
        return error.starts_with("no network adapter named") ? kExitBadInput : kExitSomeFailed;
    }
    m_discovery.RunFor(std::chrono::seconds(m_seconds));
    if (m_discovery.Cameras().empty()) {
        Note("no camera answered within " + std::to_string(m_seconds) + " s");
        return kExitSomeFailed;
    }
    return kExitOk;
}

std::vector<device::DeviceInfo> CSession::Devices() const {
    std::vector<device::DeviceInfo> devices;
    for (const SeenCamera& c : m_discovery.Cameras()) {
        devices.push_back(c.device);
    }
    return devices;
}

int CSession::Select(std::vector<device::DeviceInfo>& selected) {
    SelectResult result = SelectCameras(Devices(), m_options.Values("select"));
    if (!result.error.empty()) {
        return BadInput(result.error);
    }
    selected = std::move(result.cameras);
    return kExitOk;
}

int CSession::CheckSet(const std::vector<device::DeviceInfo>& selected, bool modelTest) {
    const std::vector<device::DeviceInfo> all = Devices();
    std::vector<bool> checks;
    for (const device::DeviceInfo& c : all) {
        checks.push_back(std::any_of(selected.begin(), selected.end(),
                                     [&](const auto& s) { return s.id == c.id; }));
    }
    const std::vector<upgrade::ListRow> rows = upgrade::RowsOf(all, checks);
    switch (upgrade::ValidateCheckedSet(rows, modelTest)) {
    case upgrade::SetVerdict::Valid:
        return kExitOk;
    case upgrade::SetVerdict::AddressConflict:
        for (std::size_t i = 0; i < rows.size(); ++i) {
            if (rows[i].checked && upgrade::HasAddressConflict(rows, static_cast<int>(i))) {
                Note("camera " + describe(all[i]) + " shares its address with another camera");
            }
        }
        return BadInput(text(kAddressConflict));
    case upgrade::SetVerdict::ModelMismatch:
        for (const device::DeviceInfo& c : selected) {
            Note("camera " + describe(c) + ": firmware " + c.firmware.toStdString());
        }
        return BadInput(text(upgrade::kModelUnmatched));
    }
    return kExitOk;
}

int CSession::Prepare(std::vector<device::DeviceInfo>& selected, bool modelTest) {
    int status = Begin();
    status = status == kExitOk ? Discover() : status;
    status = status == kExitOk ? Select(selected) : status;
    return status == kExitOk ? CheckSet(selected, modelTest) : status;
}

std::optional<int> CSession::PrepareOrShowPlan(std::vector<device::DeviceInfo>& selected,
                                               const std::vector<std::string>& plan) {
    if (const int status = Prepare(selected, false); status != kExitOk) {
        return status;
    }
    if (m_options.Has("dry-run")) {
        return ShowDryRun(selected, [&](const device::DeviceInfo&) { return plan; });
    }
    return std::nullopt;
}

std::vector<jobs::OperationResult> CSession::Run(jobs::JobSpec order) {
    std::vector<jobs::OperationResult> results;
    CProgress progress(m_command.name);
    jobs::CJobEngine& engine = m_devices->Jobs();
    jobs::JobId id = 0;
    bool done = false;
    std::set<std::string> failed;
    const QMetaObject::Connection a = QObject::connect(
        &engine, &jobs::CJobEngine::operationDone, &engine, [&](const jobs::OperationResult& r) {
            if (r.job == id) {
                results.push_back(r);
                if (r.outcome != jobs::Outcome::Succeeded) {
                    failed.insert(r.device.MacText());
                }
            }
        });
    const QMetaObject::Connection b = QObject::connect(
        &engine, &jobs::CJobEngine::progress, &engine, [&](jobs::JobId job, int n, int total) {
            if (job == id) {
                progress.Update(n, total, static_cast<int>(failed.size()));
            }
        });
    const QMetaObject::Connection c =
        QObject::connect(&engine, &jobs::CJobEngine::finished, &engine,
                         [&](jobs::JobId job) { done = done || job == id; });
    const int total = static_cast<int>(order.targets.size());
    std::vector<device::DeviceId> cameraOrder;
    for (const device::DeviceInfo& target : order.targets) {
        cameraOrder.push_back(target.id);
    }
    id = engine.Start(std::move(order));
    progress.Update(0, total, 0);
    bool cancelled = false;
    while (!done) {
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
        if (g_interrupted.load() && !cancelled) {
            cancelled = true;
            progress.Done();
            Note("cancelling: cameras already at work finish, no other starts");
            engine.Cancel(id);
        }
    }
    QObject::disconnect(a);
    QObject::disconnect(b);
    QObject::disconnect(c);
    progress.Done();
    // In the order of the cameras, each camera's operations in their order.
    const auto place = [&](const jobs::OperationResult& r) {
        return std::find(cameraOrder.begin(), cameraOrder.end(), r.device.id) - cameraOrder.begin();
    };
    std::stable_sort(results.begin(), results.end(),
                     [&](const auto& x, const auto& y) { return place(x) < place(y); });
    return results;
}

void CSession::WaitForReboots() {
    bool told = false;
    while (m_devices->Reboots().QueuedReboots() > 0 || m_devices->Reboots().RestorePauseOn()) {
        if (!told) {
            Note(m_devices->Reboots().RestorePauseOn()
                     ? "the restored cameras reboot after a pause of 25 s"
                     : "rebooting " + std::to_string(m_devices->Reboots().QueuedReboots()) +
                           " camera(s), one every 200 ms");
            told = true;
        }
        if (g_interrupted.load()) {
            Note("interrupted: " + std::to_string(m_devices->Reboots().QueuedReboots()) +
                 " camera(s) not rebooted");
            break;
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 100);
    }
    m_devices->Reboots().Stop();
}

int CSession::Finish(const std::vector<jobs::OperationResult>& results) {
    std::fputs(Results(results, m_format, Audience::Screen).c_str(), stdout);
    std::fflush(stdout);
    for (const jobs::OperationTally& t : jobs::Tally(results)) {
        Note(jobs::TallyLine(t).toStdString());
    }
    if (!results.empty()) {
        Note(jobs::CameraTallyLine(jobs::TallyCameras(results)).toStdString());
    }
    int status = kExitOk;
    if (m_options.Has("results")) {
        const std::string path = m_options.Value("results");
        if (const std::string error = WriteTextFile(
                path,
                Results(results, FileFormat(path) == Format::Json ? Format::Json : Format::Csv,
                        Audience::File));
            !error.empty()) {
            Note(error);
            status = kExitSomeFailed;
        }
    }
    if (const std::shared_ptr<CSiteJournal>& site = m_devices->Site()) {
        site->Flush();
        if (const std::string problem = site->TakeProblem(); !problem.empty()) {
            Note("the site book of \"" + site->Site() + "\" missed records: " + problem);
            status = kExitSomeFailed;
        }
    }
    if (const auto& vault = m_devices->Vault()) {
        if (const std::string problem = vault->TakeProblem(); !problem.empty()) {
            Note("the cameras' own passwords: " + problem);
            status = kExitSomeFailed;
        }
    }
    const bool allDone = std::all_of(results.begin(), results.end(), [](const auto& r) {
        return r.outcome == jobs::Outcome::Succeeded;
    });
    return allDone ? status : kExitSomeFailed;
}

int CSession::ShowDryRun(
    const std::vector<device::DeviceInfo>& selected,
    const std::function<std::vector<std::string>(const device::DeviceInfo&)>& what) {
    std::vector<std::vector<std::string>> rows = {{"MAC", "IP", "Name", "Would get"}};
    for (const device::DeviceInfo& c : selected) {
        for (const std::string& line : what(c)) {
            rows.push_back(
                {c.MacText(), c.AddressText().toStdString(), c.name.toStdString(), line});
        }
    }
    std::fputs(Table(rows).c_str(), stdout);
    Note("dry run: nothing was sent");
    return kExitOk;
}

} // namespace orv::cli

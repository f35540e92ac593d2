#pragma once
// What every camera subcommand goes through: the login, discovery, the
// selection and its address check, one job on the job engine with a
// progress line (Ctrl+C cancels: cameras not yet started are reported as
// cancelled), the reboots the job queued, and the results with the exit
// status.

#include "Discovery.h"
#include "Options.h"
#include "Output.h"
#include "operations/network/AddressPlan.h"
#include "services/DeviceServices.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace orv::cli {

struct Login {
    device::Credentials credentials;
    std::wstring user;
    std::wstring password;
};

class CSession {
public:
    // `moreDrivers` (ONVIF, a test's) discover and open sessions beside the
    // maker's; they outlive the session.
    CSession(const Command& command, const Options& options,
             const std::vector<device::IDeviceDriver*>& moreDrivers = {});
    ~CSession();
    CSession(const CSession&) = delete;
    CSession& operator=(const CSession&) = delete;

    // Each step returns kExitOk to go on, or the exit status to end with.
    // The common options, and the login unless `login` is false.
    int Begin(bool login = true);
    // Listens for --seconds; at least one camera must answer.
    int Discover();
    int Select(std::vector<device::DeviceInfo>& selected);
    // The set's addresses must be unique among every camera that answered
    // (and, with `modelTest`, its firmware of one family), as the Batch Set,
    // Batch Upgrade and OEM pages demand of their checked cameras.
    int CheckSet(const std::vector<device::DeviceInfo>& selected, bool modelTest);

    // All four: Begin, Discover, Select and CheckSet.
    int Prepare(std::vector<device::DeviceInfo>& selected, bool modelTest);

    std::vector<jobs::OperationResult> Run(jobs::JobSpec order);
    // Lets the worker make every reboot the job queued (after a restore's
    // pause), then stops it.
    void WaitForReboots();
    // Prints the results and the summary, writes --results; the exit status.
    int Finish(const std::vector<jobs::OperationResult>& results);
    // Prepare, then with --dry-run the same `plan` for every camera. Nothing
    // to go on with: the exit status to end with.
    std::optional<int> PrepareOrShowPlan(std::vector<device::DeviceInfo>& selected,
                                         const std::vector<std::string>& plan);
    // --dry-run: one line per camera and what it would get.
    int ShowDryRun(const std::vector<device::DeviceInfo>& selected,
                   const std::function<std::vector<std::string>(const device::DeviceInfo&)>& what);

    const Options& Opts() const { return m_options; }
    // The open site's camera passwords (after Begin).
    secrets::CPasswordVault& Vault() { return *m_devices->Vault(); }
    const std::shared_ptr<CSiteJournal>& Site() const { return m_devices->Site(); }
    const Login& LoginData() const { return m_login; }
    CCliDiscovery& Discovery() { return m_discovery; }
    std::vector<device::DeviceInfo> Devices() const;
    // From Begin on.
    jobs::CRebootQueue& Reboots() { return m_devices->Reboots(); }
    const device::CDriverSet& Drivers() const { return m_devices->Drivers(); }
    const CPinFile& Trust() const { return m_devices->Trust(); }
    Format OutputFormat() const { return m_format; }

private:
    const Command& m_command;
    const Options& m_options;
    Login m_login;
    Format m_format = Format::Table;
    int m_jobs = jobs::CJobEngine::kDefaultConcurrency;
    int m_seconds = 3;
    std::vector<device::IDeviceDriver*> m_moreDrivers;
    CCliDiscovery m_discovery;
    // Made by Begin, with the --jobs it reads.
    std::unique_ptr<CDeviceServices> m_devices;
};

// discover with drivers beside the maker's (the subcommand passes none).
int RunDiscoverWith(const Command& command, const Options& options,
                    const std::vector<device::IDeviceDriver*>& moreDrivers);

// The login the options name: --user or the stored user, and a password
// from --password-file, ORVANTIX_PASSWORD or the stored default. An error
// text when it cannot be used.
std::string ResolveLogin(const Options& options, Login& login);
// The first line of a file of secrets (at most 4 KiB); an error text or "".
std::string ReadSecretLine(const std::string& path, std::string& line);
// The site passphrase of --passphrase-file or ORVANTIX_SITE_PASSPHRASE, if
// given; `error` when the file cannot be read.
std::optional<std::string> GivenPassphrase(const Options& options, std::string& error);

// An address plan's moves on the cameras the session found, as set-ip makes
// them: every row checked (addresses probed on the cameras' adapters), the
// cameras moved, each then heard at its new address. Its results are added
// to `results`; an exit status when the plan stops before or with
// --dry-run.
// `undoes`: the site book's job whose addresses the plan puts back.
std::optional<int> MoveByPlan(CSession& session, const plan::Plan& plan, const std::string& file,
                              int verifySeconds, std::vector<jobs::OperationResult>& results,
                              const std::string& jobName = "Set IP", std::int64_t undoes = 0);

} // namespace orv::cli

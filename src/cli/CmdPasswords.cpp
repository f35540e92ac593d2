// passwords: new administrator passwords through the System page's password
// change, each followed by the reboot that logs in with the new password.
// --rotate gives every camera its own random password and keeps them in a
// file made before the first camera is touched; no password is ever
// printed or taken from the command line.

#include "BatchHost.h"
#include "file/SecretsFile.h"
#include "jobs/JobResults.h"
#include "lang/Language.h"
#include "operations/batchset/PasswordRotation.h"
#include "secrets/PasswordExport.h"
#include "text/TextConv.h"

#include <QStringList>

#include <atomic>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <termios.h>
#include <unistd.h>

namespace orv::cli {
namespace {

constexpr Message kMismatch{L"90015", L"The two passwords do not match!"};

std::string text(const Message& m) {
    return ToUtf8(TheLanguage().Text(m.id, m.defaultText));
}

// A line typed at the terminal without echo.
std::string askHidden(const char* prompt) {
    std::fputs(prompt, stderr);
    std::fflush(stderr);
    termios saved{};
    const bool terminal = tcgetattr(0, &saved) == 0;
    if (terminal) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        tcsetattr(0, TCSANOW, &quiet);
    }
    std::string line;
    std::getline(std::cin, line);
    if (terminal) {
        tcsetattr(0, TCSANOW, &saved);
    }
    std::fputs("\n", stderr);
    return line;
}

// The one password of --set, or an error text.
std::string givenPassword(const Options& options, std::string& password) {
    if (options.Has("new-password-file")) {
        return ReadSecretLine(options.Value("new-password-file"), password);
    }
    if (const char* env = std::getenv("ORVANTIX_NEW_PASSWORD")) {
        password = env;
        return {};
    }
    if (isatty(0) == 0) {
        return "--set needs --new-password-file, ORVANTIX_NEW_PASSWORD or a terminal";
    }
    password = askHidden("New password: ");
    if (askHidden("Confirm password: ") != password) {
        return text(kMismatch);
    }
    return {};
}

std::string
secretsCsv(const std::vector<device::DeviceInfo>& cameras,
           const std::unordered_map<device::DeviceId, std::string, device::DeviceIdHash>& passwords,
           const std::vector<jobs::OperationResult>* results) {
    QString csv = jobs::CsvRow({"mac", "ip", "name", "password", "applied"});
    for (const device::DeviceInfo& c : cameras) {
        QString applied = QStringLiteral("pending");
        if (results != nullptr) {
            applied = QStringLiteral("no");
            for (const jobs::OperationResult& r : *results) {
                if (r.device.id == c.id && r.operation == "Modify Password" &&
                    r.outcome == jobs::Outcome::Succeeded) {
                    applied = QStringLiteral("yes");
                }
            }
        }
        csv += jobs::CsvRow({QString::fromStdString(c.MacText()), c.AddressText(), c.name,
                             QString::fromStdString(passwords.at(c.id)), applied},
                            3);
    }
    return csv.toStdString();
}

// --export: every camera's own password of the site, with what the site
// remembers of it, for the handover. The file says what it holds on its
// first line, where a spreadsheet shows it too.
int exportPasswords(const Command& command, const Options& options) {
    CSession session(command, options);
    if (const int status = session.Begin(false); status != kExitOk) {
        return status;
    }
    secrets::CPasswordVault& vault = session.Vault();
    std::string error;
    if (vault.KeepsIn() == secrets::CPasswordVault::kSealed && !vault.Unlock(error)) {
        return BadInput(error);
    }
    const std::shared_ptr<CSiteJournal>& site = session.Site();
    const std::string out = options.Value("export");
    const secrets::ExportResult written =
        secrets::ExportPasswords(vault, site->Site(), site->File(), out);
    if (!written.error.empty()) {
        return BadInput("--export " + written.error);
    }
    const int unreadable = written.unreadable;
    const std::size_t count = static_cast<std::size_t>(written.cameras);
    Note("wrote the passwords of " + std::to_string(count) + " camera(s) of site \"" +
         site->Site() + "\" to " + out + " (owner-only); it holds them in clear text");
    if (unreadable > 0) {
        Note(std::to_string(unreadable) +
             " camera(s) have passwords that could not be read (sealed under the site "
             "passphrase: give it with --passphrase-file or ORVANTIX_SITE_PASSPHRASE)");
        return kExitSomeFailed;
    }
    return kExitOk;
}

} // namespace

int RunPasswords(const Command& command, const Options& options) {
    if (options.Has("export")) {
        if (options.Has("rotate") || options.Has("set") || options.Has("out")) {
            return BadInput("--export goes alone");
        }
        return exportPasswords(command, options);
    }
    const bool rotate = options.Has("rotate");
    if (rotate == options.Has("set")) {
        return BadInput("passwords needs --rotate, --set or --export FILE");
    }
    if ((!rotate && options.Has("out")) ||
        (!options.Has("set") && options.Has("new-password-file"))) {
        return BadInput(!rotate && options.Has("out") ? "--out goes with --rotate only"
                                                      : "--new-password-file goes with --set only");
    }
    std::string given;
    if (!rotate) {
        if (const std::string error = givenPassword(options, given); !error.empty()) {
            return BadInput(error);
        }
        char converted[16] = {};
        if (given.empty()) {
            return BadInput(text(kPasswordEmpty));
        }
        if (WideToMulti(kCpAnsi, FromUtf8(given).c_str(), converted, sizeof converted, true) == 0) {
            return BadInput("the new password is longer than a camera keeps (14 bytes)");
        }
    }

    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const auto end =
            session.PrepareOrShowPlan(selected, {rotate ? "Modify Password: a new random password"
                                                        : "Modify Password: the given password",
                                                 "Reboot: logged in with the new password"})) {
        return *end;
    }
    // Each new password is kept before its camera is changed; a rotated one
    // exists nowhere else, so without a place to keep it nothing starts.
    secrets::CPasswordVault& vault = session.Vault();
    const std::string keepsIn = vault.KeepsIn();
    std::string error;
    if (keepsIn.empty() && rotate) {
        return BadInput("no keyring answers here, and no site passphrase was given to seal the "
                        "new passwords under (--passphrase-file or ORVANTIX_SITE_PASSPHRASE); "
                        "no password was changed");
    }
    if (keepsIn == secrets::CPasswordVault::kSealed && !vault.Unlock(error)) {
        return BadInput(error + "; no password was changed");
    }
    if (keepsIn.empty()) {
        Note("no keyring and no site passphrase: the new password is not kept for the cameras");
    }
    auto passwords = std::make_shared<batchset::NewPasswords>();
    for (const device::DeviceInfo& c : selected) {
        (*passwords)[c.id] = rotate ? batchset::RandomPassword() : given;
    }
    CSecretsFile secrets;
    if (options.Has("out")) {
        if (!secrets.Create(options.Value("out"), error) ||
            !secrets.Write(secretsCsv(selected, *passwords, nullptr), error)) {
            return BadInput("--out " + error + "; no password was changed");
        }
    }

    CCliBatchHost host(session, selected, true);
    batchset::CBatchOperations operations(host, session.Reboots());
    const auto consent = std::make_shared<batchset::SecretConsent>();
    operations.AskPlainSecrets(selected, *consent);
    batchset::KeepPassword keep;
    if (!keepsIn.empty()) {
        keep = [&vault](const device::DeviceInfo& camera, const QString& user,
                        const std::string& password,
                        std::string& why) { return vault.KeepNew(camera, user, password, why); };
    }
    jobs::JobSpec order =
        batchset::PasswordJob(selected, session.LoginData().credentials, passwords, std::move(keep),
                              consent, session.Reboots());
    const std::vector<jobs::OperationResult> results = session.Run(std::move(order));
    session.WaitForReboots();
    if (options.Has("out") && !secrets.Write(secretsCsv(selected, *passwords, &results), error)) {
        Note("--out " + options.Value("out") + ": " + error);
    }
    return session.Finish(results);
}

} // namespace orv::cli

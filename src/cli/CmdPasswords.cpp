// passwords: new administrator passwords through the System page's password
// change, each followed by the reboot that logs in with the new password.
// --rotate gives every camera its own random password and keeps them in a
// file made before the first camera is touched; no password is ever
// printed or taken from the command line.

#include "BatchHost.h"
#include "Secrets.h"
#include "jobs/JobResults.h"
#include "lang/Language.h"
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
                             QString::fromStdString(passwords.at(c.id)), applied});
    }
    return csv.toStdString();
}

} // namespace

int RunPasswords(const Command& command, const Options& options) {
    const bool rotate = options.Has("rotate");
    if (rotate == options.Has("set")) {
        return BadInput("passwords needs either --rotate --out FILE or --set");
    }
    if (rotate != options.Has("out") || (!options.Has("set") && options.Has("new-password-file"))) {
        return BadInput(rotate ? "--rotate needs --out FILE" : "--out goes with --rotate only");
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
    std::unordered_map<device::DeviceId, std::string, device::DeviceIdHash> passwords;
    for (const device::DeviceInfo& c : selected) {
        passwords[c.id] = rotate ? RandomPassword() : given;
    }
    CSecretsFile secrets;
    if (rotate) {
        std::string error;
        if (!secrets.Create(options.Value("out"), error) ||
            !secrets.Write(secretsCsv(selected, passwords, nullptr), error)) {
            return BadInput("--out " + error + "; no password was changed");
        }
    }

    CCliBatchHost host(session, selected, true);
    batchset::CBatchOperations operations(host, session.Reboots());
    const auto consent = std::make_shared<batchset::SecretConsent>();
    operations.AskPlainSecrets(selected, *consent);
    jobs::JobSpec order;
    order.name = "Passwords";
    order.targets = selected;
    order.credentials = session.LoginData().credentials;
    order.operations = {batchset::OperationWords(batchset::Operation::ModifyPassword)};
    // The System page changes the administrator's password.
    order.work = [&operations, &passwords, consent](jobs::CameraRun& run) {
        const std::string& password = passwords.at(run.Device().id);
        batchset::CBatchOperations::RunSteps(
            operations.ModifyPasswordAndReboot(QStringLiteral("admin"),
                                               QString::fromStdString(password), consent),
            run);
    };
    const std::vector<jobs::OperationResult> results = session.Run(std::move(order));
    session.WaitForReboots();
    if (rotate) {
        std::string error;
        if (!secrets.Write(secretsCsv(selected, passwords, &results), error)) {
            Note("--out " + options.Value("out") + ": " + error);
        }
    }
    return session.Finish(results);
}

} // namespace orv::cli

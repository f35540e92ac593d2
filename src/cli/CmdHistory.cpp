// history, undo, backup and restore-backup: what the site's book keeps of
// the jobs and the cameras' settings, and putting them back. history lists
// the jobs, or one job's changes, or one camera's across jobs; undo puts
// back every setting the job changed on the cameras that answer now, then
// the addresses it changed, through the same checked path as an address
// plan; backup keeps every setting of the selected cameras in the book;
// restore-backup gives a camera's known settings back to it, or to the
// camera that replaced it.

#include "Session.h"
#include "SiteChoice.h"
#include "jobs/JobResults.h"
#include "operations/history/Backup.h"
#include "operations/history/Undo.h"

#include <nlohmann/json.hpp>

#include <ctime>

namespace orv::cli {
namespace {

using Rows = std::vector<std::vector<std::string>>;

std::string timeText(std::int64_t ms) {
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm local{};
    localtime_r(&seconds, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return text;
}

// "02:4F:56:10:00:01" for "mac:02:4F:56:10:00:01"; another key as it is.
std::string cameraText(const std::string& key) {
    return key.starts_with("mac:") ? key.substr(4) : key;
}

std::string output(const std::vector<std::string>& keys, const std::vector<std::string>& headers,
                   const Rows& rows, Format format) {
    if (format == Format::Json) {
        nlohmann::json list = nlohmann::json::array();
        for (const auto& row : rows) {
            nlohmann::json object = nlohmann::json::object();
            for (std::size_t i = 0; i < keys.size(); ++i) {
                object[keys[i]] = row[i];
            }
            list.push_back(std::move(object));
        }
        return list.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
    }
    if (format == Format::Csv) {
        const auto line = [](const std::vector<std::string>& cells) {
            QStringList q;
            for (const std::string& c : cells) {
                q << QString::fromStdString(c);
            }
            return jobs::CsvRow(q).toStdString();
        };
        std::string csv = line(keys);
        for (const auto& row : rows) {
            csv += line(row);
        }
        return csv;
    }
    Rows table = {headers};
    table.insert(table.end(), rows.begin(), rows.end());
    return Table(table);
}

std::unique_ptr<site::CSiteBook> openBook(const Options& options, SiteChoice& choice,
                                          std::string& error) {
    const std::optional<SiteChoice> chosen = ChooseSite(options, false, error);
    if (!chosen) {
        return nullptr;
    }
    choice = *chosen;
    site::CSiteBook::Opened opened = site::CSiteBook::Open(choice.file);
    if (!opened.book) {
        error = "site \"" + choice.name + "\": " + (opened.error ? opened.error->text : "");
    }
    return std::move(opened.book);
}

std::optional<std::int64_t> jobNumber(const std::string& text) {
    char* end = nullptr;
    const long long n = std::strtoll(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || n < 1) {
        return std::nullopt;
    }
    return n;
}

// A file keeps both values whole; the screen shows what differs.
std::string changes(const std::vector<site::ChangeEntry>& changes, Format format) {
    Rows rows;
    for (const site::ChangeEntry& c : changes) {
        std::vector<std::string> row = {std::to_string(c.job), timeText(c.atMs),
                                        cameraText(c.camera), c.operation, c.setting};
        if (format == Format::Table) {
            row.push_back(c.setting.empty() ? std::string()
                                            : device::ChangeSummary(c.before, c.after));
        } else {
            row.push_back(c.before.value_or(""));
            row.push_back(c.after.value_or(""));
        }
        row.push_back(c.outcome);
        row.push_back(c.reason);
        rows.push_back(std::move(row));
    }
    return output(
        {"job", "time", "camera", "operation", "setting", "before", "after", "outcome", "reason"},
        {"Job", "Time", "Camera", "Operation", "Setting", "Change", "Outcome", "Reason"}, rows,
        format);
}

} // namespace

int RunHistory(const Command&, const Options& options) {
    const std::optional<Format> format = ReadFormat(options.Value("format", "table"));
    if (!format) {
        return BadInput("--format: expected table, csv or json");
    }
    SiteChoice choice;
    std::string error;
    const std::unique_ptr<site::CSiteBook> book = openBook(options, choice, error);
    if (!book) {
        return BadInput(error);
    }
    if (options.Has("job")) {
        const std::optional<std::int64_t> job = jobNumber(options.Value("job"));
        if (!job) {
            return BadInput("--job: expected a job number from 'orvantix-cli history'");
        }
        std::fputs(changes(book->ChangesOfJob(*job), *format).c_str(), stdout);
        return kExitOk;
    }
    if (options.Has("camera")) {
        const std::optional<device::MacAddress> mac = device::ReadMac(options.Value("camera"));
        const std::string key =
            mac ? device::DeviceId::OfMac(*mac).Text() : options.Value("camera");
        std::fputs(changes(book->ChangesOfCamera(key), *format).c_str(), stdout);
        return kExitOk;
    }
    Rows rows;
    for (const site::JobSummary& s : book->JobSummaries()) {
        rows.push_back({std::to_string(s.job.id), timeText(s.job.startedMs), s.job.name,
                        s.job.osUser, s.job.toolVersion, std::to_string(s.cameras),
                        std::to_string(s.failed),
                        s.job.undoes ? std::to_string(*s.job.undoes) : std::string()});
    }
    std::fputs(output({"job", "started", "name", "user", "version", "cameras", "failed", "undoes"},
                      {"Job", "Started", "Name", "User", "Version", "Cameras", "Failed", "Undoes"},
                      rows, *format)
                   .c_str(),
               stdout);
    return kExitOk;
}

int RunUndo(const Command& command, const Options& options) {
    const std::optional<std::int64_t> job =
        jobNumber(options.Positional().empty() ? std::string() : options.Positional()[0]);
    if (!job) {
        return BadInput("undo needs a job number from 'orvantix-cli history'");
    }
    SiteChoice choice;
    std::string error;
    history::UndoPlan plan;
    {
        const std::unique_ptr<site::CSiteBook> book = openBook(options, choice, error);
        if (!book) {
            return BadInput(error);
        }
        const std::vector<site::JobEntry> jobs = book->Jobs();
        if (std::none_of(jobs.begin(), jobs.end(),
                         [&](const site::JobEntry& j) { return j.id == *job; })) {
            return BadInput("site \"" + choice.name + "\" has no job " + std::to_string(*job));
        }
        plan = history::PlanUndo(book->ChangesOfJob(*job));
    }
    if (plan.notUndoable > 0) {
        Note(std::to_string(plan.notUndoable) +
             " change(s) of the job cannot be undone (passwords, firmware, factory settings)");
    }
    if (plan.cameras.empty()) {
        Note("job " + std::to_string(*job) + " changed nothing that can be put back");
        return kExitOk;
    }
    CSession session(command, options);
    if (const int status = session.Begin(); status != kExitOk) {
        return status;
    }
    if (const int status = session.Discover(); status != kExitOk) {
        return status;
    }
    std::vector<std::string> missing;
    jobs::JobSpec order =
        history::UndoJob(*job, plan, session.Devices(), session.LoginData().credentials, missing);
    for (const std::string& key : missing) {
        Note("left out: " + cameraText(key) + " did not answer discovery");
    }
    std::vector<jobs::OperationResult> results;
    if (!order.targets.empty()) {
        results = session.Run(std::move(order));
    }
    // The addresses last: each camera was reached at the address it has now.
    plan::Plan moves;
    for (const history::UndoCamera& camera : plan.cameras) {
        const std::optional<device::MacAddress> mac = camera.camera.starts_with("mac:")
                                                          ? device::ReadMac(camera.camera.substr(4))
                                                          : std::nullopt;
        if (!camera.address || !mac ||
            std::find(missing.begin(), missing.end(), camera.camera) != missing.end()) {
            continue;
        }
        const device::AddressChange& a = *camera.address;
        moves.rows.push_back({static_cast<int>(moves.rows.size()) + 2, *mac,
                              device::Ipv4Text(a.address).toStdString(),
                              device::Ipv4Text(a.netmask).toStdString(),
                              device::Ipv4Text(a.gateway).toStdString(), std::to_string(a.httpPort),
                              a.name.toStdString()});
    }
    if (!moves.rows.empty()) {
        if (const std::optional<int> end =
                MoveByPlan(session, moves, "job " + std::to_string(*job), 20, results,
                           "Undo job " + std::to_string(*job) + " addresses", *job)) {
            return *end;
        }
    }
    const int status = session.Finish(results);
    return missing.empty() ? status : kExitSomeFailed;
}

int RunBackup(const Command& command, const Options& options) {
    CSession session(command, options);
    std::vector<device::DeviceInfo> selected;
    if (const auto end = session.PrepareOrShowPlan(selected, {"every setting kept in the site"})) {
        return *end;
    }
    return session.Finish(
        session.Run(history::BackupJob(selected, session.LoginData().credentials)));
}

int RunRestoreBackup(const Command& command, const Options& options) {
    const std::optional<device::MacAddress> from = device::ReadMac(options.Value("camera"));
    if (!from) {
        return BadInput("restore-backup needs --camera MAC: the camera whose settings to give");
    }
    const std::optional<device::MacAddress> to =
        options.Has("to") ? device::ReadMac(options.Value("to")) : from;
    if (!to) {
        return BadInput("--to: expected the MAC of the camera to get the settings");
    }
    const std::string key = device::DeviceId::OfMac(*from).Text();
    SiteChoice choice;
    std::string error;
    history::UndoCamera known;
    {
        const std::unique_ptr<site::CSiteBook> book = openBook(options, choice, error);
        if (!book) {
            return BadInput(error);
        }
        known = history::KnownSettings(key, book->ChangesOfCamera(key));
    }
    if (known.settings.empty()) {
        return BadInput("site \"" + choice.name + "\" knows no settings of " + cameraText(key) +
                        "; 'orvantix-cli backup' keeps them");
    }
    CSession session(command, options);
    if (const int status = session.Begin(); status != kExitOk) {
        return status;
    }
    if (const int status = session.Discover(); status != kExitOk) {
        return status;
    }
    const device::DeviceId target = device::DeviceId::OfMac(*to);
    const std::vector<device::DeviceInfo> present = session.Devices();
    const auto found = std::find_if(present.begin(), present.end(),
                                    [&](const device::DeviceInfo& d) { return d.id == target; });
    if (found == present.end()) {
        Note("camera " + device::MacText(*to) + " did not answer discovery");
        return kExitSomeFailed;
    }
    return session.Finish(
        session.Run(history::RestoreJob(known, *found, session.LoginData().credentials)));
}

} // namespace orv::cli

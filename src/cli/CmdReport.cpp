// report: the open site's handover report. Every camera the site remembers,
// those that answer read now (settings and a picture), the day's jobs; the
// cameras' logins only with --with-passwords. The format is the file's:
// .pdf, .csv or .json.

#include "Session.h"
#include "file/RegularFile.h"
#include "operations/report/Handover.h"
#include "secrets/PasswordExport.h"
#include "services/SiteJournal.h"
#ifdef ORVANTIX_REPORT_PDF
#include "report/HandoverPdf.h"
#endif

#include <cstdio>
#include <filesystem>

namespace orv::cli {
namespace {

#ifdef ORVANTIX_REPORT_PDF
constexpr bool kPdf = true;
#else
// A build without the window program has no Qt Gui: no PDF, no pictures.
constexpr bool kPdf = false;
#endif

std::string write(const report::HandoverReport& made, const std::string& file) {
#ifdef ORVANTIX_REPORT_PDF
    return report::WriteReport(made, file);
#else
    const bool csv = std::filesystem::path(file).extension() == ".csv";
    const FileError written =
        WriteRegularFile(file, csv ? report::ReportCsv(made) : report::ReportJson(made),
                         made.withPasswords ? Readers::OwnerOnly : Readers::Umask);
    return written == FileError::None ? std::string() : std::string(Describe(written));
#endif
}

} // namespace

int RunReport(const Command& command, const Options& options) {
    const std::string file = options.Value("out");
    if (file.empty()) {
        return BadInput("--out FILE is needed: the report's file (.pdf, .csv or .json)");
    }
    const std::string suffix = std::filesystem::path(file).extension().string();
    if (suffix != ".pdf" && suffix != ".csv" && suffix != ".json") {
        return BadInput("--out: \"" + file + "\" must end in .pdf, .csv or .json");
    }
    if (suffix == ".pdf" && !kPdf) {
        return BadInput("--out: this build writes no PDF (it was built without the window "
                        "program): write a .csv or .json file");
    }
    std::error_code ec;
    if (std::filesystem::symlink_status(file, ec).type() != std::filesystem::file_type::not_found) {
        return BadInput("--out: \"" + file + "\" exists; the report is written to a new file");
    }
    CSession session(command, options);
    if (const int status = session.Begin(); status != kExitOk) {
        return status;
    }
    // A site where no camera answers still gets its report: what it
    // remembers of each camera.
    if (const int status = session.Discover(); status == kExitBadInput) {
        return status;
    }
    const std::vector<device::DeviceInfo> answering = session.Devices();
    auto readings = std::make_shared<report::Readings>();
    if (!answering.empty()) {
#ifdef ORVANTIX_REPORT_PDF
        const report::PictureEncoder encode = report::JpegOf;
#else
        const report::PictureEncoder encode; // no pictures without Qt Gui
#endif
        session.Run(
            report::ReadingJob(answering, session.LoginData().credentials, readings, encode));
    }

    report::ReportInputs in;
    in.installer = options.Has("installer") ? options.Value("installer") : OsUserFullName();
    in.tool = "Orvantix " + orv::ToolVersion();
    in.now = QDateTime::currentDateTime();
    in.readings = std::move(readings->cameras);
    if (const std::shared_ptr<CSiteJournal>& site = session.Site()) {
        site->Flush(); // what discovery just heard, and the job
        in.site = site->Site();
        site::CSiteBook::Opened opened = site::CSiteBook::Open(site->File());
        if (!opened.book) {
            Note("site \"" + in.site + "\": " + (opened.error ? opened.error->text : ""));
            return kExitSomeFailed;
        }
        in.inventory = opened.book->Inventory();
        in.jobs = opened.book->JobSummaries();
    }
    if (options.Has("with-passwords")) {
        int unreadable = 0;
        in.passwords = secrets::HandoverLogins(session.Vault(), unreadable);
        in.defaultLogin = session.LoginData().credentials;
        if (unreadable > 0) {
            Note(std::to_string(unreadable) +
                 " camera(s)' own passwords could not be read (sealed, and no site passphrase "
                 "given): the report names the default login for them");
        }
    }
    const report::HandoverReport made = report::BuildReport(in);
    if (const std::string error = write(made, file); !error.empty()) {
        Note(file + ": " + error);
        return kExitSomeFailed;
    }
    int read = 0;
    for (const report::CameraReading& r : in.readings) {
        read += r.problem.empty() ? 1 : 0;
    }
    std::printf("%s: %zu camera(s), %d read now, %zu job(s) today%s\n", file.c_str(),
                made.cameras.size(), read, made.jobs.size(),
                made.withPasswords ? ", with their passwords (owner-only file)" : "");
    return read == static_cast<int>(answering.size()) ? kExitOk : kExitSomeFailed;
}

} // namespace orv::cli

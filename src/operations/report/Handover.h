#pragma once
// The handover report of a site: what the installer leaves with the
// customer. Every camera the site remembers, as it answers now (its
// settings read by a job, with a picture of what it sees) or when it was
// last seen; the day's jobs in short; each camera's password only when the
// installer asks for them. The data is built here, the same for the window
// and the command line; the PDF is drawn where Qt's painter is, the CSV
// and JSON are written here.

#include "jobs/JobEngine.h"
#include "operations/batchset/DeviceSettings.h"
#include "site/SiteBook.h"

#include <QDateTime>

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace orv::report {

// Turns a picture into the bytes the report keeps of it (a JPEG): the
// drawing side knows images, this side only pixels. Called on a worker.
using PictureEncoder = std::function<std::string(const device::VideoFrame&)>;

// What a job read of one camera that answered.
struct CameraReading {
    device::DeviceInfo device;
    // Why the camera could not be read (a refused login, no answer);
    // empty when its settings were read.
    std::string problem;
    batchset::DeviceSettings settings;
    std::string picture; // the encoder's bytes; empty when there is none
    std::string pictureProblem;
};

// Filled by the job's workers, read once the job has finished.
struct Readings {
    std::mutex lock;
    std::vector<CameraReading> cameras;
};

// How long a camera's video may take to show its first picture.
inline constexpr std::chrono::milliseconds kPictureWait{8000};

// The job that logs into each camera (its own password first), reads its
// settings and takes one picture of its main stream (none without an
// encoder). It changes nothing and
// reports no operation, so no history keeps it.
jobs::JobSpec ReadingJob(const std::vector<device::DeviceInfo>& cameras,
                         const device::Credentials& credentials, std::shared_ptr<Readings> readings,
                         PictureEncoder encode,
                         std::chrono::milliseconds pictureWait = kPictureWait);

// One line of a camera's settings: what it is and what it holds.
struct SettingLine {
    std::string label;
    std::string value;
};

struct ReportCamera {
    std::string name;
    std::string mac;
    std::string ip;
    std::string model;
    std::string firmware;
    std::string protocol;
    std::string state;
    std::vector<SettingLine> settings;
    std::string picture;     // JPEG bytes, or empty
    std::string pictureNote; // why there is no picture
    std::optional<std::string> password;
};

struct ReportJob {
    std::string time; // "14:02", local
    std::string name;
    std::string user;
    int cameras = 0;
    int failed = 0;
};

struct HandoverReport {
    std::string site;
    std::string date; // "2026-12-08", local
    std::string installer;
    std::string madeAt; // ISO 8601 with its offset
    std::string tool;   // "Orvantix 2.1"
    bool withPasswords = false;
    std::vector<ReportCamera> cameras;
    std::vector<ReportJob> jobs;
};

struct ReportInputs {
    std::string site;
    std::string installer;
    std::string tool;
    QDateTime now;
    // Every camera the site remembers; cameras read now that it does not
    // (yet) are added.
    std::vector<site::SiteCamera> inventory;
    std::vector<CameraReading> readings;
    std::vector<site::JobSummary> jobs;
    // Per camera key (DeviceId text), the login to hand over ("admin /
    // <password>"); given only when the installer asked for passwords.
    // A camera not in it is shown with the site's default login.
    std::optional<std::map<std::string, std::string>> passwords;
    device::Credentials defaultLogin;
};

// The report, cameras in the order of their addresses, the jobs of the
// day of `now` (its local date) oldest first.
HandoverReport BuildReport(const ReportInputs& inputs);

// A camera's main settings as the report shows them.
std::vector<SettingLine> SettingLines(const batchset::DeviceSettings& settings);

// One row per camera (RFC 4180, UTF-8): the inventory and each setting line
// as a column; a cell a spreadsheet would run as a formula stays text.
std::string ReportCsv(const HandoverReport& report);
// Everything, pictures as base64 JPEG.
std::string ReportJson(const HandoverReport& report);

// The report's file name for a site and date: "<site>-handover-<date>".
std::string ReportBaseName(const std::string& site, const std::string& date);

} // namespace orv::report

#include "Handover.h"

#include "jobs/JobResults.h"
#include "operations/batchset/BatchOperations.h"
#include "operations/batchset/SystemTime.h"
#include "operations/batchset/VideoImageRules.h"

#include <QByteArray>
#include <QStringList>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <condition_variable>
#include <set>
#include <thread>

namespace orv::report {
namespace bs = orv::batchset;
namespace {

std::string text(const QString& t) {
    return t.toStdString();
}

std::string failureText(const device::Failure& failure) {
    return jobs::ReasonText(jobs::ReasonOf(failure.fault),
                            static_cast<double>(failure.limit.count()) / 1000.0, failure.detail);
}

// A picture of a live view, copied off the streaming thread, or why the
// view ended before one came. A stream's first pictures may still be
// building up (a camera's grey start, a picture drawn before all of it
// arrived): the fifth is kept, or the newest once a second has passed
// since the first.
class CSettledPicture {
public:
    // The view holds the picture's owner: its callbacks may still run while
    // the view is stopped.
    static device::VideoTarget Target(const std::shared_ptr<CSettledPicture>& self) {
        device::VideoTarget target;
        target.frame = [self](const device::VideoFrame& frame) { self->take(frame); };
        target.ended = [self](const device::Failure& failure) { self->end(failure); };
        return target;
    }

    // Waits for the picture in short steps, so that a cancelled job stops
    // waiting; false when none came (Problem() says why when the view
    // ended, and is empty when the time ran out).
    bool Wait(std::chrono::milliseconds limit, const std::atomic<bool>& cancelled);
    std::string Encode(const PictureEncoder& encode) const;
    std::string Problem() const { return m_problem; }

private:
    static constexpr int kSettleFrames = 5;
    static constexpr std::chrono::milliseconds kSettleTime{1000};

    void take(const device::VideoFrame& frame) {
        std::lock_guard hold(m_lock);
        if (m_done || frame.width <= 0 || frame.height <= 0) {
            return;
        }
        const auto now = std::chrono::steady_clock::now();
        if (m_frames++ == 0) {
            m_firstAt = now;
        }
        m_width = frame.width;
        m_height = frame.height;
        const std::size_t row = static_cast<std::size_t>(frame.width) * 4;
        m_pixels.resize(row * static_cast<std::size_t>(frame.height));
        for (int y = 0; y < frame.height; ++y) {
            std::copy_n(frame.pixels + static_cast<std::ptrdiff_t>(y) * frame.stride, row,
                        m_pixels.data() + row * static_cast<std::size_t>(y));
        }
        if (m_frames >= kSettleFrames || now - m_firstAt >= kSettleTime) {
            m_done = true;
            m_changed.notify_all();
        }
    }

    void end(const device::Failure& failure) {
        std::lock_guard hold(m_lock);
        if (!m_done) {
            m_problem = failureText(failure);
            m_done = true;
            m_changed.notify_all();
        }
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_done = false;
    int m_frames = 0;
    std::chrono::steady_clock::time_point m_firstAt;
    int m_width = 0;
    int m_height = 0;
    std::vector<std::uint8_t> m_pixels;
    std::string m_problem;
};

bool CSettledPicture::Wait(std::chrono::milliseconds limit, const std::atomic<bool>& cancelled) {
    const auto until = std::chrono::steady_clock::now() + limit;
    std::unique_lock hold(m_lock);
    while (!m_done && !cancelled.load() && std::chrono::steady_clock::now() < until) {
        m_changed.wait_for(hold, std::chrono::milliseconds(100));
    }
    m_done = true; // a late picture is not wanted any more
    return !m_pixels.empty();
}

std::string CSettledPicture::Encode(const PictureEncoder& encode) const {
    device::VideoFrame frame;
    frame.width = m_width;
    frame.height = m_height;
    frame.stride = m_width * 4;
    frame.pixels = m_pixels.data();
    return encode(frame);
}

void takePicture(jobs::CameraRun& run, const PictureEncoder& encode, std::chrono::milliseconds wait,
                 CameraReading& reading) {
    if (!run.Has(device::Capability::LiveVideo)) {
        reading.pictureProblem = "the camera offers no live video";
        return;
    }
    const std::shared_ptr<device::IDeviceSession> session = run.Session();
    const auto until = std::chrono::steady_clock::now() + wait;
    // A stream that broke off before its first picture (a busy camera's
    // encoder starting late) is asked once more within the same wait.
    for (int attempt = 0; attempt < 2 && !run.Cancelled(); ++attempt) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            until - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            break;
        }
        // Outlives the view: its callbacks may run until StopLiveVideo returns.
        auto picture = std::make_shared<CSettledPicture>();
        if (const device::Status started =
                session->StartLiveVideo(CSettledPicture::Target(picture));
            !started) {
            reading.pictureProblem = failureText(started.Error());
            continue;
        }
        const bool got = picture->Wait(left, run.CancelFlag());
        (void)session->StopLiveVideo();
        if (got) {
            reading.picture = picture->Encode(encode);
            reading.pictureProblem = reading.picture.empty() ? "the picture could not be kept" : "";
            return;
        }
        reading.pictureProblem = picture->Problem();
    }
    if (run.Cancelled()) {
        reading.pictureProblem = "cancelled";
    } else if (reading.pictureProblem.empty()) {
        reading.pictureProblem = "no picture within " + std::to_string(wait.count() / 1000) + " s";
    }
}

// The codec as the Batch Set page names it; "other codec" for one the
// page has no name for.
std::string codecName(device::VideoCodec codec) {
    const bs::Entries names = bs::SecondaryCodecs();
    const int at = bs::CodecPosition(codec);
    return at >= 0 && at < static_cast<int>(names.size()) ? names[static_cast<std::size_t>(at)]
                                                          : "other codec";
}

std::string streamText(const device::StreamSettings& s) {
    if (!s.enabled) {
        return "off";
    }
    std::string out = codecName(s.codec);
    if (s.width > 0 && s.height > 0) {
        out += ", " + std::to_string(s.width) + "x" + std::to_string(s.height);
    }
    out += ", " + (s.frameRate > 0 ? std::to_string(s.frameRate) : std::string("camera's")) +
           " fps, " + std::to_string(s.bitRateKbps) + " kbit/s " +
           (s.rateControl == device::RateControl::Constant ? "CBR" : "VBR");
    if (s.iFrameInterval > 0) {
        out += ", I-frame interval " + std::to_string(s.iFrameInterval);
    }
    return out;
}

std::string imageText(const device::ImageSettings& image) {
    const char* irCut = image.irCut == device::IrCutMode::Night ? "night"
                        : image.irCut == device::IrCutMode::Day ? "day"
                                                                : "auto";
    const char* display = image.localDisplay == device::LocalDisplay::Ntsc  ? "NTSC"
                          : image.localDisplay == device::LocalDisplay::Pal ? "PAL"
                                                                            : "off";
    std::string out = std::to_string(image.powerLineHz) + " Hz, " +
                      (image.indoor ? "indoor" : "outdoor") + ", IR cut " + irCut +
                      ", exposure level " + std::to_string(image.exposureLevel);
    if (const int longest =
            device::MaxExposureDenominator(image.maxExposureTime, image.powerLineHz);
        longest > 0) {
        out += ", longest exposure 1/" + std::to_string(longest) + " s";
    }
    return out + ", local display " + display;
}

std::string timeText(const device::TimeSettings& time) {
    const int zone = std::clamp(time.utcOffsetHours + 12, 0, bs::kTimeZoneCount - 1);
    return std::string(bs::kTimeZoneNames[static_cast<std::size_t>(zone)]) + ", " +
           (time.useTimeServer ? "time server " + text(time.timeServer)
                               : std::string("clock set by hand"));
}

std::string portsText(const device::Ports& p) {
    std::string out;
    for (const auto& [name, port] : {std::pair{"HTTP", p.http}, std::pair{"ONVIF", p.onvif},
                                     std::pair{"RTSP", p.rtsp}, std::pair{"RTSP 2", p.rtsp2}}) {
        if (port > 0) {
            out += (out.empty() ? "" : ", ") + std::string(name) + " " + std::to_string(port);
        }
    }
    return out;
}

std::string protocolText(const std::string& protocols) {
    if (protocols == "native") {
        return "maker";
    }
    if (protocols == "onvif") {
        return "ONVIF";
    }
    if (protocols == "native+onvif") {
        return "maker + ONVIF";
    }
    return protocols;
}

std::string protocolsOf(const device::DeviceInfo& d) {
    const bool maker = d.Speaks(device::Protocol::Maker);
    const bool onvif = d.Speaks(device::Protocol::Onvif);
    return maker && onvif ? "native+onvif" : maker ? "native" : onvif ? "onvif" : "";
}

std::string localText(std::int64_t ms, const char* format) {
    return QDateTime::fromMSecsSinceEpoch(ms).toLocalTime().toString(format).toStdString();
}

// Cameras in the order of their addresses as a person reads them.
// A camera without an address the site knows goes last.
std::uint32_t addressOf(const std::string& ip) {
    return device::ParseIpv4(ip).value_or(0xffffffffu);
}

} // namespace

jobs::JobSpec ReadingJob(const std::vector<device::DeviceInfo>& cameras,
                         const device::Credentials& credentials, std::shared_ptr<Readings> readings,
                         PictureEncoder encode, std::chrono::milliseconds pictureWait) {
    jobs::JobSpec order;
    order.name = "Handover report";
    order.credentials = credentials;
    order.targets = cameras;
    order.work = [readings, encode = std::move(encode), pictureWait](jobs::CameraRun& run) {
        CameraReading reading;
        reading.device = run.Device();
        if (const device::Status login = run.Open(); !login) {
            reading.problem = failureText(login.Error());
        } else {
            bs::CBatchOperations::ReadSettings(run, bs::ReadScope::Everything, reading.settings);
            if (encode) {
                takePicture(run, encode, pictureWait, reading);
            }
        }
        const std::lock_guard hold(readings->lock);
        readings->cameras.push_back(std::move(reading));
    };
    return order;
}

std::vector<SettingLine> SettingLines(const bs::DeviceSettings& s) {
    std::vector<SettingLine> lines;
    const std::string notRead = "not read";
    lines.push_back({"Main stream", s.primary ? streamText(*s.primary) : notRead});
    lines.push_back({"Second stream", s.secondary ? streamText(*s.secondary) : notRead});
    lines.push_back({"Image", s.image ? imageText(*s.image) : notRead});
    lines.push_back({"Time zone", s.time ? timeText(*s.time) : notRead});
    lines.push_back({"Ports", s.ports ? portsText(s.ports->ports) : notRead});
    lines.push_back({"DDNS", !s.ddns           ? notRead
                             : s.ddns->enabled ? "on, " + text(s.ddns->host)
                                               : std::string("off")});
    return lines;
}

HandoverReport BuildReport(const ReportInputs& in) {
    HandoverReport report;
    report.site = in.site;
    report.installer = in.installer;
    report.tool = in.tool;
    report.date = in.now.toLocalTime().date().toString(Qt::ISODate).toStdString();
    report.madeAt = in.now.toLocalTime()
                        .toOffsetFromUtc(in.now.toLocalTime().offsetFromUtc())
                        .toString(Qt::ISODate)
                        .toStdString();
    report.withPasswords = in.passwords.has_value();

    std::map<std::string, const CameraReading*> read;
    for (const CameraReading& reading : in.readings) {
        read[reading.device.id.Text()] = &reading;
    }
    std::set<std::string> listed;
    const auto add = [&](const std::string& key, ReportCamera camera) {
        if (const auto r = read.find(key); r != read.end()) {
            const CameraReading& reading = *r->second;
            camera.name = text(reading.device.name);
            camera.ip = text(reading.device.AddressText());
            camera.model = text(reading.device.ShownModel());
            camera.firmware = text(reading.device.firmware);
            camera.protocol = protocolText(protocolsOf(reading.device));
            if (!reading.problem.empty()) {
                camera.state = "answers, not read: " + reading.problem;
            } else {
                camera.state = "online";
                camera.settings = SettingLines(reading.settings);
                camera.picture = reading.picture;
                camera.pictureNote = reading.pictureProblem;
            }
        }
        if (in.passwords) {
            const auto p = in.passwords->find(key);
            camera.password = p != in.passwords->end()
                                  ? p->second
                                  : text(in.defaultLogin.user) + " / " +
                                        text(in.defaultLogin.password) + " (the default login)";
        }
        listed.insert(key);
        report.cameras.push_back(std::move(camera));
    };
    for (const site::SiteCamera& c : in.inventory) {
        add(c.key, {c.name,
                    c.mac,
                    c.address,
                    c.model,
                    c.firmware,
                    protocolText(c.protocols),
                    "not found (last seen " + localText(c.lastSeenMs, "yyyy-MM-dd HH:mm") + ")",
                    {},
                    {},
                    {},
                    std::nullopt});
    }
    for (const CameraReading& reading : in.readings) {
        const device::DeviceInfo& d = reading.device;
        if (!listed.contains(d.id.Text())) {
            add(d.id.Text(), {{}, d.MacText(), {}, {}, {}, {}, {}, {}, {}, {}, {}});
        }
    }
    std::stable_sort(report.cameras.begin(), report.cameras.end(),
                     [](const ReportCamera& a, const ReportCamera& b) {
                         return addressOf(a.ip) < addressOf(b.ip);
                     });

    const QDate day = in.now.toLocalTime().date();
    for (const site::JobSummary& s : in.jobs) {
        const QDateTime started = QDateTime::fromMSecsSinceEpoch(s.job.startedMs).toLocalTime();
        if (started.date() == day) {
            report.jobs.push_back({started.toString("HH:mm").toStdString(), s.job.name,
                                   s.job.osUser, s.cameras, s.failed});
        }
    }
    std::stable_sort(report.jobs.begin(), report.jobs.end(),
                     [](const ReportJob& a, const ReportJob& b) { return a.time < b.time; });
    return report;
}

std::string ReportCsv(const HandoverReport& report) {
    QStringList header = {"Name", "MAC", "IP", "Model", "Firmware", "Protocol", "State"};
    const std::vector<SettingLine> labels = SettingLines({});
    for (const SettingLine& line : labels) {
        header << QString::fromStdString(line.label);
    }
    if (report.withPasswords) {
        header << "Password";
    }
    QString out = jobs::CsvRow(header);
    for (const ReportCamera& c : report.cameras) {
        QStringList row;
        for (const std::string* cell :
             {&c.name, &c.mac, &c.ip, &c.model, &c.firmware, &c.protocol, &c.state}) {
            row << QString::fromStdString(*cell);
        }
        for (std::size_t i = 0; i < labels.size(); ++i) {
            row << (i < c.settings.size() ? QString::fromStdString(c.settings[i].value)
                                          : QString());
        }
        if (report.withPasswords) {
            // A password reads back exactly: written as it is.
            row << QString::fromStdString(c.password.value_or(""));
            out += jobs::CsvRow(row, static_cast<int>(row.size()) - 1);
        } else {
            out += jobs::CsvRow(row);
        }
    }
    return out.toStdString();
}

std::string ReportJson(const HandoverReport& report) {
    using nlohmann::json;
    json cameras = json::array();
    for (const ReportCamera& c : report.cameras) {
        json settings = json::object();
        for (const SettingLine& line : c.settings) {
            settings[line.label] = line.value;
        }
        json camera = {{"name", c.name},   {"mac", c.mac},           {"ip", c.ip},
                       {"model", c.model}, {"firmware", c.firmware}, {"protocol", c.protocol},
                       {"state", c.state}, {"settings", settings}};
        if (!c.picture.empty()) {
            camera["picture_jpeg_base64"] =
                QByteArray::fromStdString(c.picture).toBase64().toStdString();
        } else if (!c.pictureNote.empty()) {
            camera["picture_note"] = c.pictureNote;
        }
        if (c.password) {
            camera["password"] = *c.password;
        }
        cameras.push_back(std::move(camera));
    }
    json jobsDone = json::array();
    for (const ReportJob& j : report.jobs) {
        jobsDone.push_back({{"time", j.time},
                            {"name", j.name},
                            {"user", j.user},
                            {"cameras", j.cameras},
                            {"failed", j.failed}});
    }
    const json whole = {
        {"site", report.site},      {"date", report.date}, {"installer", report.installer},
        {"made_at", report.madeAt}, {"tool", report.tool}, {"cameras", cameras},
        {"jobs", jobsDone}};
    // A camera's name is whatever bytes it sent: invalid UTF-8 is replaced
    // rather than refused, so the file is always written whole.
    return whole.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

std::string ReportBaseName(const std::string& site, const std::string& date) {
    return site + "-handover-" + date;
}

} // namespace orv::report

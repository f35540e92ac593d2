// The handover report's data: which cameras it lists and in what state, the
// day's jobs only, passwords only when asked for, and the CSV and JSON as a
// spreadsheet and a program read them back.

#include "operations/report/Handover.h"

#include "DeviceRecords.h"
#include "JobWait.h"
#include "RecordingDriver.h"
#include "TestCameras.h"

#include <QTimeZone>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <map>
#include <mutex>
#include <sstream>
#include <thread>

using namespace orv;
using namespace orv::report;

namespace {

device::DeviceInfo camera(int n, const char* name) {
    device::DeviceInfo d;
    d.mac = device::MacAddress{{0x02, 0x4F, 0x56, 0x10, 0x00, static_cast<std::uint8_t>(n)}};
    d.id = device::DeviceId::OfMac(*d.mac);
    d.name = QString::fromUtf8(name);
    d.address = 0xC0000200u + static_cast<std::uint32_t>(n); // 192.0.2.n
    d.model = QStringLiteral("QVIP3651");
    d.firmware = QStringLiteral("13.1.0.5");
    d.services = {{device::Protocol::Maker, QStringLiteral("http://192.0.2.1:80"), {}}};
    return d;
}

site::SiteCamera remembered(const device::DeviceInfo& d, std::int64_t lastSeenMs) {
    return {d.id.Text(),
            d.MacText(),
            "native",
            d.model.toStdString(),
            "13.0.2.1", // what it ran when last seen
            d.AddressText().toStdString(),
            d.name.toStdString(),
            lastSeenMs,
            lastSeenMs};
}

CameraReading readOk(const device::DeviceInfo& d) {
    CameraReading r;
    r.device = d;
    r.settings.loggedIn = true;
    device::StreamSettings primary;
    primary.enabled = true;
    primary.width = 1920;
    primary.height = 1080;
    primary.frameRate = 25;
    primary.bitRateKbps = 4096;
    primary.iFrameInterval = 50;
    r.settings.primary = primary;
    r.settings.secondary = device::StreamSettings{};
    r.settings.ports = device::PortSettings{{80, 8080, 554, 555}, {}};
    device::DdnsSettings ddns;
    ddns.enabled = true;
    ddns.host = QStringLiteral("gate.example.net");
    ddns.password = QStringLiteral("ddns-secret");
    r.settings.ddns = ddns;
    device::TimeSettings time;
    time.utcOffsetHours = 1;
    time.useTimeServer = true;
    time.timeServer = QStringLiteral("192.0.2.1");
    r.settings.time = time;
    r.picture = "\xFF\xD8jpeg";
    return r;
}

// Noon of 2026-12-08 where the test runs.
QDateTime noon() {
    return QDateTime(QDate(2026, 12, 8), QTime(12, 0));
}

std::int64_t at(int day, int hour) {
    return QDateTime(QDate(2026, 12, day), QTime(hour, 0)).toMSecsSinceEpoch();
}

} // namespace

TEST(Handover, ListsEveryRememberedCameraInAddressOrderWithItsStateAndOnlyTheDaysJobs) {
    const device::DeviceInfo a = camera(30, "Gate");
    const device::DeviceInfo b = camera(4, "Lobby");
    const device::DeviceInfo gone = camera(12, "Yard");
    const device::DeviceInfo fresh = camera(200, "New one"); // not in the book yet
    ReportInputs in;
    in.site = "Depot";
    in.installer = "Sam";
    in.now = noon();
    in.inventory = {remembered(a, at(8, 9)), remembered(b, at(8, 9)), remembered(gone, at(1, 14))};
    CameraReading refused;
    refused.device = b;
    refused.problem = "login refused";
    in.readings = {readOk(a), refused, readOk(fresh)};
    in.jobs = {{{1, "Modify Port", at(7, 23), "sam", "2.1", std::nullopt}, 3, 0},
               {{2, "Upgrade", at(8, 10), "sam", "2.1", std::nullopt}, 12, 2},
               {{3, "Set IP", at(8, 8), "sam", "2.1", std::nullopt}, 1, 0}};

    const HandoverReport report = BuildReport(in);
    EXPECT_EQ(report.date, "2026-12-08");
    ASSERT_EQ(report.cameras.size(), 4u);
    EXPECT_EQ(report.cameras[0].name, "Lobby"); // 192.0.2.4
    EXPECT_EQ(report.cameras[1].name, "Yard");
    EXPECT_EQ(report.cameras[2].name, "Gate");
    EXPECT_EQ(report.cameras[3].name, "New one");

    // What the camera says now wins over what the book remembers.
    EXPECT_EQ(report.cameras[2].state, "online");
    EXPECT_EQ(report.cameras[2].firmware, "13.1.0.5");
    EXPECT_EQ(report.cameras[2].picture, "\xFF\xD8jpeg");
    EXPECT_EQ(report.cameras[0].state, "answers, not read: login refused");
    EXPECT_TRUE(report.cameras[0].settings.empty());
    EXPECT_EQ(report.cameras[1].state, "not found (last seen 2026-12-01 14:00)");
    EXPECT_EQ(report.cameras[1].firmware, "13.0.2.1");
    EXPECT_EQ(report.cameras[3].mac, fresh.MacText());
    EXPECT_EQ(report.cameras[3].protocol, "maker");
    EXPECT_FALSE(report.withPasswords);
    for (const ReportCamera& c : report.cameras) {
        EXPECT_FALSE(c.password.has_value()) << c.name;
    }

    // Yesterday's job is not today's; today's oldest first.
    ASSERT_EQ(report.jobs.size(), 2u);
    EXPECT_EQ(report.jobs[0].name, "Set IP");
    EXPECT_EQ(report.jobs[0].time, "08:00");
    EXPECT_EQ(report.jobs[1].name, "Upgrade");
    EXPECT_EQ(report.jobs[1].failed, 2);

    // The settings as a person reads them; a DDNS password never.
    const std::vector<SettingLine>& lines = report.cameras[2].settings;
    ASSERT_EQ(lines.size(), 6u);
    EXPECT_EQ(lines[0].value, "H.264, 1920x1080, 25 fps, 4096 kbit/s VBR, I-frame interval 50");
    EXPECT_EQ(lines[1].value, "off");
    EXPECT_EQ(lines[2].value, "not read");
    EXPECT_EQ(lines[3].label, "Time zone");
    EXPECT_NE(lines[3].value.find("time server 192.0.2.1"), std::string::npos) << lines[3].value;
    EXPECT_EQ(lines[4].value, "HTTP 80, ONVIF 8080, RTSP 554, RTSP 2 555");
    EXPECT_EQ(lines[5].value, "on, gate.example.net");
}

TEST(Handover, PasswordsAppearOnlyWhenAskedAndACameraWithoutItsOwnShowsTheDefaultLogin) {
    const device::DeviceInfo a = camera(1, "A");
    const device::DeviceInfo b = camera(2, "B");
    ReportInputs in;
    in.now = noon();
    in.readings = {readOk(a), readOk(b)};
    in.defaultLogin = {QStringLiteral("admin"), QStringLiteral("site-default")};

    const HandoverReport without = BuildReport(in);
    EXPECT_EQ(ReportCsv(without).find("site-default"), std::string::npos);
    EXPECT_EQ(ReportCsv(without).find("Password"), std::string::npos);
    EXPECT_EQ(ReportJson(without).find("password"), std::string::npos);

    in.passwords = std::map<std::string, std::string>{{a.id.Text(), "admin / =own+1"}};
    const HandoverReport with = BuildReport(in);
    ASSERT_TRUE(with.withPasswords);
    EXPECT_EQ(with.cameras[0].password, "admin / =own+1");
    EXPECT_EQ(with.cameras[1].password, "admin / site-default (the default login)");
    // A password is written exactly, even where it looks like a formula.
    const std::string csv = ReportCsv(with);
    EXPECT_NE(csv.find(",admin / =own+1\r\n"), std::string::npos) << csv;
    const nlohmann::json json = nlohmann::json::parse(ReportJson(with));
    EXPECT_EQ(json["cameras"][1]["password"], "admin / site-default (the default login)");
}

TEST(Handover, ACamerasHostileNameStaysTextInTheCsvAndTheJsonIsWholeWithItsPicture) {
    ReportInputs in;
    in.site = "Depot";
    in.installer = "Sam";
    in.tool = "Orvantix 2.1";
    in.now = noon();
    CameraReading hostile = readOk(camera(7, "=HYPERLINK(\"http://x\",\"y\")"));
    hostile.device.name = QString::fromUtf8("=cmd|' /C calc'!A0");
    CameraReading broken = readOk(camera(8, ""));
    broken.device.name = QString::fromLatin1("bad\xff"); // not UTF-8 as sent
    broken.picture.clear();
    broken.pictureProblem = "no picture within 8 s";
    in.readings = {hostile, broken};
    const HandoverReport report = BuildReport(in);

    const std::string csv = ReportCsv(report);
    std::istringstream rows(csv);
    std::string header;
    std::string first;
    std::getline(rows, header);
    std::getline(rows, first);
    EXPECT_EQ(header, "Name,MAC,IP,Model,Firmware,Protocol,State,Main stream,Second stream,"
                      "Image,Time zone,Ports,DDNS\r");
    EXPECT_EQ(first.rfind("'=cmd|' /C calc'!A0,", 0), 0u) << first;

    const nlohmann::json json = nlohmann::json::parse(ReportJson(report));
    EXPECT_EQ(json["site"], "Depot");
    EXPECT_EQ(json["date"], "2026-12-08");
    EXPECT_EQ(json["installer"], "Sam");
    ASSERT_EQ(json["cameras"].size(), 2u);
    EXPECT_EQ(json["cameras"][0]["name"], "=cmd|' /C calc'!A0");
    EXPECT_EQ(json["cameras"][0]["picture_jpeg_base64"], "/9hqcGVn");
    EXPECT_EQ(json["cameras"][1]["picture_note"], "no picture within 8 s");
    EXPECT_EQ(json["cameras"][1]["settings"]["Ports"], "HTTP 80, ONVIF 8080, RTSP 554, RTSP 2 555");
}

// The reading job against loopback cameras whose video the test plays: a
// camera's settings are read, its picture is the stream's fifth (the first
// ones may still be building up), a stream that breaks off before a picture
// is asked once more, and one that sends nothing is named with the wait.
TEST(HandoverReading, ReadsSettingsKeepsASettledPictureAndAsksABrokenStreamOnceMore) {
    Qv_Sdk_SetTimeouts(2500, 5000);
    testcams::Lab lab{3};
    RecordingDriver driver;
    std::mutex lock;
    std::vector<std::thread> streams;
    std::map<std::string, int> starts;
    driver.liveVideo = [&](const device::DeviceInfo& camera, device::VideoTarget target) {
        const std::string ip = camera.AddressText().toStdString();
        std::lock_guard hold(lock);
        ++starts[ip];
        if (ip == lab.ip(0)) {
            // Eight pictures 40 ms apart, each of one grey: its number.
            streams.emplace_back([target] {
                for (std::uint32_t n = 0; n < 8; ++n) {
                    std::vector<std::uint32_t> pixels(16, n * 0x010101u);
                    target.frame(
                        {4, 4, 16, reinterpret_cast<const std::uint8_t*>(pixels.data()), 0});
                    std::this_thread::sleep_for(std::chrono::milliseconds(40));
                }
            });
        } else if (ip == lab.ip(1)) {
            streams.emplace_back([target] { target.ended({device::Fault::Unreachable, {}, {}}); });
        }
        return device::Status(device::Done{});
    };
    driver.liveVideoStopped = [](const device::DeviceInfo&) {};
    jobs::CJobEngine engine(driver.Set());
    std::vector<device::DeviceInfo> cameras;
    for (int i = 0; i < 3; ++i) {
        tagQvIpcInfo r{};
        r.Mac[5] = static_cast<unsigned char>(i + 1);
        std::snprintf(r.IpAddr, sizeof r.IpAddr, "%s", lab.ip(i).c_str());
        r.HttpPort = lab.port();
        cameras.push_back(Found(r));
    }
    auto readings = std::make_shared<Readings>();
    const PictureEncoder grey = [](const device::VideoFrame& f) {
        return std::to_string(f.pixels[0]);
    };
    WaitForJob(engine,
               engine.Start(ReadingJob(
                   cameras, {QStringLiteral("admin"), QString::fromLatin1(testcams::kPassword)},
                   readings, grey, std::chrono::milliseconds(1500))));
    for (std::thread& t : streams) {
        t.join();
    }
    std::map<std::string, CameraReading> by;
    for (const CameraReading& r : readings->cameras) {
        by[r.device.AddressText().toStdString()] = r;
    }
    ASSERT_EQ(by.size(), 3u);
    const CameraReading& one = by[lab.ip(0)];
    EXPECT_EQ(one.problem, "");
    ASSERT_TRUE(one.settings.ports.has_value());
    EXPECT_EQ(one.settings.ports->ports.http, lab.port());
    EXPECT_EQ(one.picture, "4") << "the fifth picture";
    EXPECT_EQ(starts[lab.ip(0)], 1);
    EXPECT_EQ(by[lab.ip(1)].picture, "");
    EXPECT_EQ(by[lab.ip(1)].pictureProblem, "connection refused or cut");
    EXPECT_EQ(starts[lab.ip(1)], 2) << "a broken stream is asked once more";
    EXPECT_EQ(by[lab.ip(2)].pictureProblem, "no picture within 1 s");
}

// What an undo takes from a job's history, and the setting records it reads
// back: only changes that succeeded, each setting once with its first value
// before, the address apart, and a record that is not the setting's own
// (edited by hand, from a newer tool) refused whole rather than half read.

#include "operations/history/Undo.h"
#include "operations/history/Backup.h"

#include <gtest/gtest.h>

using namespace orv;
using device::Setting;

namespace {

site::ChangeEntry change(const std::string& camera, const std::string& setting,
                         std::optional<std::string> before, const std::string& outcome,
                         const std::string& operation = "Modify Port") {
    return {7, camera, operation, setting, std::move(before), std::nullopt, outcome, "", 0};
}

device::DeviceInfo present(const std::string& mac) {
    device::DeviceInfo d;
    d.mac = device::ReadMac(mac);
    d.id = device::DeviceId::OfMac(*d.mac);
    return d;
}

} // namespace

TEST(Undo, TakesEachSucceededSettingOnceWithItsFirstValueBeforeAndTheAddressApart) {
    const std::string a = "mac:02:4F:56:10:00:01";
    const std::string b = "mac:02:4F:56:10:00:02";
    const std::string c = "mac:02:4F:56:10:00:03";
    device::DeviceInfo at;
    at.address = 0xC000020A; // 192.0.2.10
    at.netmask = 0xFFFFFF00;
    at.ports.http = 80;
    const device::SettingChange move =
        device::AddressChangeOf(at, {0xC0000263, 0xFFFFFF00, 0, 0, 8080, {}});
    const std::vector<site::ChangeEntry> history = {
        change(a, "ports", R"({"rtsp":554})", "Succeeded"),
        // The same setting again in the job: the first value before counts.
        change(a, "ports", R"({"rtsp":556})", "Succeeded"),
        change(a, "address", move.before, "Succeeded", "Modify IP,Port,Netmask"),
        change(a, "password", std::nullopt, "Succeeded", "Modify Password"),
        change(b, "image", R"({"powerLineHz":50})", "Succeeded", "Modify Image"),
        change(b, "ports", R"({"rtsp":554})", "Failed"),      // nothing changed
        change(b, "", std::nullopt, "Failed", "Modify Port"), // a refused login
        change(b, "name", std::nullopt, "Succeeded", "Modify Device Name"),
        change(c, "firmware", R"({"firmware":"1.0"})", "Succeeded", "Upgrade"),
    };
    const history::UndoPlan plan = history::PlanUndo(history);
    EXPECT_EQ(plan.notUndoable, 2) << "the password and the firmware";
    ASSERT_EQ(plan.cameras.size(), 2u) << "camera c had nothing to put back";
    const history::UndoCamera& first = plan.cameras[0];
    EXPECT_EQ(first.camera, a);
    ASSERT_EQ(first.settings.size(), 1u);
    EXPECT_EQ(first.settings[0].before, R"({"rtsp":554})");
    ASSERT_TRUE(first.address.has_value());
    EXPECT_EQ(first.address->address, 0xC000020Au);
    EXPECT_EQ(first.address->httpPort, 80);
    const history::UndoCamera& second = plan.cameras[1];
    ASSERT_EQ(second.settings.size(), 2u);
    EXPECT_EQ(second.settings[0].setting, Setting::Image);
    EXPECT_EQ(second.settings[1].setting, Setting::Name);
    EXPECT_FALSE(second.settings[1].before.has_value()) << "undone as 'not known', not guessed";
    EXPECT_FALSE(second.address.has_value());
    EXPECT_EQ(history::UndoOperations(plan),
              (std::vector<std::string>{"Modify Port", "Modify Image", "Modify Device Name"}));

    // Only cameras that answer are undone; a camera the job only moved
    // is left to the address path.
    std::vector<std::string> missing;
    const jobs::JobSpec job =
        history::UndoJob(7, plan, {present("02:4F:56:10:00:01")}, {}, missing);
    EXPECT_EQ(missing, std::vector<std::string>{b});
    ASSERT_EQ(job.targets.size(), 1u);
    EXPECT_EQ(job.name, "Undo job 7");
    EXPECT_EQ(job.undoes, 7);
}

TEST(SettingRecords, ReadBackWhatTheyWroteAndRefuseWhatIsNotTheirs) {
    device::StreamSettings stream;
    stream.enabled = true;
    stream.codec = device::VideoCodec::Mjpeg;
    stream.width = 1280;
    stream.height = 720;
    stream.frameRate = 25;
    stream.bitRateKbps = 4096;
    stream.rateControl = device::RateControl::Constant;
    stream.iFrameInterval = 50;
    stream.handback = "camera's own";
    device::StreamSettings read;
    read.handback = "now";
    ASSERT_TRUE(device::ReadRecord(device::RecordOf(stream), read));
    EXPECT_EQ(read.codec, device::VideoCodec::Mjpeg);
    EXPECT_EQ(read.rateControl, device::RateControl::Constant);
    EXPECT_EQ(read.width, 1280);
    EXPECT_EQ(read.iFrameInterval, 50);
    EXPECT_EQ(read.handback, "now") << "what the camera hands back is never replayed";

    device::DdnsSettings ddns;
    ddns.enabled = true;
    ddns.host = QStringLiteral("tor.example");
    ddns.password = QStringLiteral("secret");
    EXPECT_EQ(device::RecordOf(ddns).find("secret"), std::string::npos) << "no password kept";
    device::DdnsSettings now;
    now.password = QStringLiteral("current");
    ASSERT_TRUE(device::ReadRecord(device::RecordOf(ddns), now));
    EXPECT_EQ(now.host, QStringLiteral("tor.example"));
    EXPECT_EQ(now.password, QStringLiteral("current"));

    device::TimeSettings time;
    time.local = {2026, 12, 7, 10, 42, 0};
    ASSERT_TRUE(device::ReadRecord(R"({"utcOffsetHours":2,"timeServer":"pool"})", time));
    EXPECT_EQ(time.utcOffsetHours, 2);
    EXPECT_EQ(time.local.hour, 10) << "the clock is never set back";

    // Wrong types, values out of range, names not known, not JSON: the
    // whole record is refused and the target left as it was.
    device::ImageSettings image;
    image.exposureLevel = 3;
    const device::ImageSettings kept = image;
    for (const char* bad :
         {R"({"exposureLevel":11})", R"({"exposureLevel":"5"})",
          R"({"exposureLevel":5,"irCut":"sometimes"})", R"({"exposureLevel":5,"powerLineHz":55})",
          R"({"exposureLevel":2.5})", R"([1,2])", "{", ""}) {
        EXPECT_FALSE(device::ReadRecord(bad, image)) << bad;
        EXPECT_EQ(image.exposureLevel, kept.exposureLevel) << bad;
    }
    device::AddressChange address;
    EXPECT_FALSE(device::ReadRecord(R"({"address":"192.0.2.300"})", address));
    EXPECT_TRUE(device::ReadRecord(R"({"address":"192.0.2.30","http":8080})", address));
    EXPECT_EQ(address.address, 0xC000021Eu);

    EXPECT_EQ(device::ChangeSummary(R"({"http":80,"rtsp":554})", R"({"http":80,"rtsp":556})"),
              "rtsp 554 \u2192 556");
    EXPECT_EQ(device::ChangeSummary(std::nullopt, R"({"indoor":true})"), "indoor ? \u2192 on");
    EXPECT_EQ(device::ChangeSummary(R"({"name":"A"})", R"({"name":"A"})"), "");
}

TEST(Backup, KnowsEachSettingsLastValueWhateverKeptIt) {
    const std::string a = "mac:02:4F:56:10:00:01";
    const std::vector<site::ChangeEntry> history = {
        // A backup: values, nothing after.
        change(a, "ports", R"({"rtsp":554})", "Succeeded", "Backup"),
        change(a, "image", R"({"powerLineHz":50})", "Succeeded", "Backup"),
        change(a, "name", R"({"name":"Tor"})", "Succeeded", "Backup"),
        // A job changed the ports, and failed to change the image: the
        // camera held 60 Hz then, as the read before the change said.
        {8, a, "Modify Port", "ports", R"({"rtsp":554})", R"({"rtsp":556})", "Succeeded", "", 1},
        {8, a, "Modify Image", "image", R"({"powerLineHz":60})", R"({"powerLineHz":50})", "Failed",
         "the camera refused the value", 2},
        change(a, "password", std::nullopt, "Succeeded", "Modify Password"),
        change(a, "address", R"({"address":"192.0.2.10"})", "Succeeded", "Modify IP,Port,Netmask"),
    };
    const history::UndoCamera known = history::KnownSettings(a, history);
    ASSERT_EQ(known.settings.size(), 3u) << "no password, no address";
    EXPECT_EQ(known.settings[0].setting, Setting::Ports);
    EXPECT_EQ(known.settings[0].before, R"({"rtsp":556})");
    EXPECT_EQ(known.settings[0].operation, "Modify Port");
    EXPECT_EQ(known.settings[1].before, R"({"powerLineHz":60})");
    EXPECT_EQ(known.settings[2].before, R"({"name":"Tor"})");
    EXPECT_TRUE(history::KnownSettings(a, {}).settings.empty());

    const jobs::JobSpec job = history::RestoreJob(known, present("02:4F:56:10:00:02"), {});
    ASSERT_EQ(job.targets.size(), 1u);
    EXPECT_EQ(job.operations,
              (std::vector<std::string>{"Modify Port", "Modify Image", "Modify Device Name"}));
}

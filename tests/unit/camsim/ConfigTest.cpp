#include "core/Config.h"

#include <gtest/gtest.h>

#include <set>

using namespace camsim;
using nlohmann::json;

namespace {

json minimal() {
    return {{"interface", "cam0"}, {"state_file", "/tmp/state.json"}};
}

std::string errorOf(json changes) {
    json j = minimal();
    j.merge_patch(changes);
    const auto r = parseConfig(j);
    EXPECT_EQ(r.config.has_value(), r.error.empty());
    return r.error;
}

// Model class from the model text, first rule that applies.
int modelClass(const std::string& m) {
    const auto at = [&](std::size_t n) { return m.size() >= n ? m[n - 1] : '\0'; };
    if (at(6) == '9')
        return 1;
    if (at(5) == '2')
        return 2;
    const bool seventh = at(7) == '5' || at(7) == '6' || at(7) == '7';
    if (seventh && (at(8) == '1' || at(8) == '2' || at(8) == '3'))
        return 3;
    if (seventh && at(8) == '6')
        return 4;
    return 5;
}

int family(const std::string& version) {
    static const std::map<std::string, int> families = {{"11", 1}, {"12", 2}, {"13", 3},
                                                        {"14", 4}, {"21", 5}, {"22", 6}};
    const auto it = families.find(version.substr(0, 2));
    return it == families.end() ? 0 : it->second;
}

} // namespace

TEST(Config, DefaultLabCoversEveryModelClassAndFirmwareFamily) {
    const auto r = parseConfig(minimal());
    ASSERT_TRUE(r.config) << r.error;
    const auto cameras = makeCameras(*r.config);
    ASSERT_EQ(cameras.size(), 12u);
    std::set<int> classes;
    std::set<int> families;
    std::set<MacAddress> macs;
    std::set<std::uint32_t> ips;
    bool nonAscii = false;
    bool emptyDisplay = false;
    bool display = false;
    for (const auto& c : cameras) {
        classes.insert(modelClass(c.model));
        families.insert(family(c.version));
        macs.insert(c.mac);
        ips.insert(c.net.ip);
        nonAscii |= std::any_of(c.name.begin(), c.name.end(), [](char ch) { return ch & 0x80; });
        (c.displayModel.empty() ? emptyDisplay : display) = true;
        EXPECT_EQ(c.mac[0] & 1, 0) << "cameras need unicast MACs";
    }
    EXPECT_EQ(classes, (std::set<int>{1, 2, 3, 4, 5}));
    EXPECT_EQ(families, (std::set<int>{0, 1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(macs.size(), 12u);
    EXPECT_EQ(ips.size(), 12u);
    EXPECT_TRUE(nonAscii);
    EXPECT_TRUE(emptyDisplay && display);
}

TEST(Config, SharedAddressesWrapAroundTheRange) {
    const auto r = parseConfig(
        json{{"interface", "c"},
             {"state_file", "s"},
             {"cameras", 5},
             {"addresses", {{"first", "192.0.2.10"}, {"last", "192.0.2.11"}, {"share", true}}}});
    ASSERT_TRUE(r.config) << r.error;
    const auto cameras = makeCameras(*r.config);
    EXPECT_EQ(cameras[0].net.ip, cameras[2].net.ip);
    EXPECT_EQ(cameras[4].net.ip, 0xc000020au);
    EXPECT_EQ(cameras[1].net.ip, 0xc000020bu);
}

TEST(Config, RejectsBadValuesWithAClearMessage) {
    const std::vector<std::pair<json, std::string>> cases = {
        {{{"cameras", 0}}, "\"cameras\" must be a whole number from 1 to 10000"},
        {{{"cameras", "12"}}, "\"cameras\" must be a whole number"},
        {{{"camras", 3}}, "unknown setting \"camras\""},
        {{{"addresses", {{"first", "192.0.2.300"}}}}, "\"first\" is not an IPv4 address"},
        {{{"addresses", {{"first", "192.0.2.20"}, {"last", "192.0.2.10"}}}},
         "the address range is empty"},
        {{{"cameras", 300}}, "the address range holds 241 addresses for 300 cameras"},
        {{{"addresses", {{"netmask", "255.0.255.0"}}}}, "not a contiguous netmask"},
        {{{"addresses", {{"mask", "255.255.255.0"}}}}, "unknown setting \"addresses.mask\""},
        {{{"mac_base", "03:00:00:00:00:00"}}, "group address"},
        {{{"mac_base", "02:00:00:ff:ff:fa"}}, "leaves no room"},
        {{{"mac_base", "02-00-00-00-00-00"}}, "not a MAC address"},
        {{{"loss_rate", 1.0}}, "\"loss_rate\""},
        {{{"loss_rate", -0.1}}, "\"loss_rate\""},
        {{{"answer_delay_ms", -1}}, "\"answer_delay_ms\""},
        {{{"password", std::string(16, 'p')}}, "\"password\" is longer than 15 bytes"},
        {{{"models", json::array()}}, "\"models\" must be a non-empty list"},
        {{{"models", {std::string(32, 'M')}}}, "every model must have 1 to 31 bytes"},
        {{{"versions", {""}}}, "of \"versions\" must have 1 to 31 bytes"},
        {{{"names", {std::string(60, 'n')}}}, "of \"names\" must have 1 to 59 bytes"},
        {{{"cameras_override", {{"13", {{"silent_after_ms", 0}}}}}},
         "\"13\" is not a camera number from 1 to 12"},
        {{{"cameras_override", {{"2x", {{"silent_after_ms", 0}}}}}},
         "\"2x\" is not a camera number"},
        {{{"cameras_override", {{"2", {{"silent", true}}}}}},
         "unknown setting \"cameras_override.2.silent\""},
        {{{"cameras_override", {{"2", {{"password", ""}}}}}}, "password\" must not be empty"},
        {{{"cameras_override", {{"2", {{"http_port", 0}}}}}}, "\"http_port\" must be"},
        {{{"interface", ""}}, "no interface given"},
    };
    for (const auto& [changes, expected] : cases) {
        const std::string error = errorOf(changes);
        EXPECT_NE(error.find(expected), std::string::npos)
            << changes.dump() << " gave \"" << error << "\"";
    }
    EXPECT_NE(parseConfig(json::array()).error, "");
    EXPECT_NE(parseConfig({{"interface", "c"}}).error.find("no state file"), std::string::npos);
}

TEST(Config, OverridesApplyToTheirCameraOnly) {
    json j = minimal();
    j["answer_delay_ms"] = 5;
    j["cameras_override"] = {{"3", {{"answer_delay_ms", 400}, {"password", "own"}}},
                             {"4", {{"silent_after_ms", 1000}, {"http_port", 8080}}},
                             {"5", {{"faults", {{"http_down", true}}}}}};
    const auto r = parseConfig(j);
    ASSERT_TRUE(r.config) << r.error;
    const auto made = makeCameras(*r.config);
    EXPECT_EQ(made[2].password, "own");
    EXPECT_EQ(made[1].password, "admin");
    EXPECT_EQ(made[3].net.httpPort, 8080);
    EXPECT_EQ(made[2].net.httpPort, 80);
    const auto b = makeBehaviours(*r.config, 12);
    EXPECT_EQ(b[0].answerDelay.count(), 5);
    EXPECT_FALSE(b[0].silentAfter);
    EXPECT_EQ(b[2].answerDelay.count(), 400);
    EXPECT_EQ(b[3].answerDelay.count(), 5) << "the common delay stays unless overridden";
    ASSERT_TRUE(b[3].silentAfter);
    EXPECT_EQ(b[3].silentAfter->count(), 1000);
}

TEST(Config, CommandLineValuesEnterTheSameChecks) {
    json j = json::object();
    std::string configPath;
    const char* argv[] = {"camsim", "--interface", "veth1",      "--cameras",
                          "7",      "--first-ip",  "192.0.2.50", "--state",
                          "s.json", "--config",    "lab.json"};
    EXPECT_EQ(applyArguments(11, argv, j, configPath), "");
    EXPECT_EQ(configPath, "lab.json");
    const auto r = parseConfig(j);
    ASSERT_TRUE(r.config) << r.error;
    EXPECT_EQ(r.config->cameras, 7);
    EXPECT_EQ(r.config->firstIp, 0xc0000232u);

    const char* bad[] = {"camsim", "--cameras", "seven"};
    EXPECT_NE(applyArguments(3, bad, j, configPath).find("--cameras needs a number"),
              std::string::npos);
    const char* missing[] = {"camsim", "--state"};
    EXPECT_NE(applyArguments(2, missing, j, configPath), "");
    const char* unknown[] = {"camsim", "--camera", "3"};
    EXPECT_NE(applyArguments(3, unknown, j, configPath).find("unknown option"), std::string::npos);
}

TEST(Config, RebootSilenceAndControlSocketFromFileOrCommandLine) {
    json j = {{"interface", "veth1"}, {"state_file", "s.json"}};
    auto r = parseConfig(j);
    ASSERT_TRUE(r.config) << r.error;
    EXPECT_EQ(r.config->rebootSilence.count(), 3000);
    EXPECT_EQ(r.config->controlSocket, "");

    std::string configPath;
    const char* argv[] = {"camsim", "--reboot-silence-ms", "0", "--control-socket", "/tmp/c.sock"};
    EXPECT_EQ(applyArguments(5, argv, j, configPath), "");
    r = parseConfig(j);
    ASSERT_TRUE(r.config) << r.error;
    EXPECT_EQ(r.config->rebootSilence.count(), 0);
    EXPECT_EQ(r.config->controlSocket, "/tmp/c.sock");

    const char* words[] = {"camsim", "--reboot-silence-ms", "3s"};
    EXPECT_NE(applyArguments(3, words, j, configPath).find("--reboot-silence-ms needs a number"),
              std::string::npos);
    for (const json& bad : {json(-1), json(600'001), json("3000")}) {
        j["reboot_silence_ms"] = bad;
        r = parseConfig(j);
        EXPECT_FALSE(r.config) << bad.dump();
        EXPECT_NE(r.error.find("reboot_silence_ms"), std::string::npos) << r.error;
    }
}

TEST(Config, OtherMakersModelsAndOnvifQuirks) {
    json j = minimal();
    j["cameras"] = 2;
    j["addresses"] = {{"first", "192.0.2.10"}, {"last", "192.0.2.13"}};
    j["onvif_quirks"] = {"chunked"};
    j["onvif_models"] = {{{"maker", "Lumora"},
                          {"model", "LX-40"},
                          {"count", 2},
                          {"mac_base", "02:6c:75:00:00:00"},
                          {"versions", {"2.1.4", "2.2.0"}},
                          {"onvif_port", 8899},
                          {"imaging", false}}};
    j["cameras_override"] = {
        {"4", {{"onvif_quirks", {"lenient", "probe_spread"}}, {"tls_port", 8443}}}};
    auto r = parseConfig(j);
    ASSERT_TRUE(r.config) << r.error;
    const auto cams = makeCameras(*r.config);
    ASSERT_EQ(cams.size(), 4u);
    // The other makers' cameras come after the maker's, on the next addresses.
    EXPECT_EQ(cams[1].maker, "");
    EXPECT_EQ(cams[3].maker, "Lumora");
    EXPECT_EQ(macText(cams[3].mac), "02:6c:75:00:00:02");
    EXPECT_EQ(cams[3].net.ip, 0xc000020du);
    EXPECT_EQ(cams[3].version, "2.2.0");
    EXPECT_EQ(cams[3].net.httpPort, 8899);
    EXPECT_EQ(cams[3].deviceConfig["ports"]["onvif"], 8899);
    EXPECT_EQ(cams[3].onvif["features"]["imaging"], false);
    // Their web server's TLS port: the model's (443), or the camera's own.
    EXPECT_EQ(cams[2].deviceConfig["tls"]["port"], 443);
    EXPECT_EQ(cams[3].deviceConfig["tls"]["port"], 8443);
    const auto b = makeBehaviours(*r.config, cams.size());
    EXPECT_TRUE(b[0].onvif.chunked);
    EXPECT_TRUE(b[3].onvif.chunked && b[3].onvif.lenient && b[3].onvif.probeSpread);
    EXPECT_FALSE(b[2].onvif.lenient);

    // Four cameras need four addresses; a fifth camera number is no camera.
    j["addresses"]["last"] = "192.0.2.12";
    EXPECT_NE(parseConfig(j).error.find("holds 3 addresses for 4 cameras"), std::string::npos);
    j["addresses"]["last"] = "192.0.2.13";
    j["cameras_override"] = {{"5", json::object()}};
    EXPECT_NE(parseConfig(j).error.find("from 1 to 4"), std::string::npos);
    j.erase("cameras_override");
    for (const auto& [key, value, words] : std::vector<std::tuple<std::string, json, std::string>>{
             {"onvif_quirks", json{"fast"}, "unknown quirk \"fast\""},
             {"onvif_port", json(80), "is the maker's cameras' HTTP port"},
             {"onvif_port", json(443), "port 443 is a TLS port"},
             {"tls_port", json(8899), "port 8899 is a TLS port"},
             {"mac_base", json("03:00:00:00:00:00"), "unicast"},
             {"versions", json::array(), "versions"},
             {"vendor", json("x"), "unknown setting \"onvif_models.vendor\""}}) {
        json bad = j;
        if (key == "onvif_quirks")
            bad[key] = value;
        else
            bad["onvif_models"][0][key] = value;
        const auto e = parseConfig(bad);
        EXPECT_FALSE(e.config) << key;
        EXPECT_NE(e.error.find(words), std::string::npos) << key << ": " << e.error;
    }
}

#include "core/CameraStore.h"
#include "core/Config.h"

#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

using namespace camsim;

namespace {

class TempDir {
public:
    TempDir() {
        char templ[] = "/tmp/camsim-test.XXXXXX";
        m_path = ::mkdtemp(templ);
    }
    ~TempDir() {
        std::error_code ec;
        std::filesystem::remove_all(m_path, ec);
    }
    std::filesystem::path operator/(const char* name) const { return m_path / name; }

private:
    std::filesystem::path m_path;
};

std::vector<Camera> cameras(int n) {
    SimConfig c;
    c.cameras = n;
    c.interfaceName = "x";
    c.stateFile = "x";
    c.names = {"Kamera {n}"};
    c.models = {{"QV-N3651", "Dome"}};
    c.versions = {"13.2.0.4"};
    return makeCameras(c);
}

void write(const std::filesystem::path& p, const std::string& text) {
    std::ofstream(p) << text;
}

} // namespace

TEST(CameraStore, ARestartLosesNothing) {
    TempDir dir;
    const auto state = dir / "state.json";
    {
        CameraStore store(cameras(3), state);
        std::string error;
        ASSERT_TRUE(store.save(error)) << error;
        store.withCamera(1, [](Camera& c) {
            c.name = "Einfahrt Süd";
            c.net.ip = 0xc0000263;
            c.password = "neu";
            c.deviceConfig["video"] = {{"fps", 25}, {"codec", "h264"}};
        });
    }
    const auto loaded = CameraStore::load(state);
    ASSERT_EQ(loaded.error, "");
    ASSERT_TRUE(loaded.cameras);
    ASSERT_EQ(loaded.cameras->size(), 3u);
    const Camera& c = (*loaded.cameras)[1];
    EXPECT_EQ(c.name, "Einfahrt Süd");
    EXPECT_EQ(c.net.ip, 0xc0000263u);
    EXPECT_EQ(c.password, "neu");
    EXPECT_EQ(c.deviceConfig["video"]["fps"], 25);
    EXPECT_EQ((*loaded.cameras)[0], cameras(3)[0]) << "untouched cameras stay as they were";
    EXPECT_FALSE(std::filesystem::exists(dir / "state.json.tmp"));
}

// A job over a large site changes camera after camera: no change waits for
// the file, the changes share its writes, and a sync returns once the file
// holds them all.
TEST(CameraStore, ChangesInABurstWaitForNoWriteAndASyncFindsThemAllInTheFile) {
    TempDir dir;
    const auto state = dir / "state.json";
    std::vector<Camera> many = cameras(1000);
    for (Camera& c : many)
        c.deviceConfig["oem"] = {{"logo", std::string(8000, 'x')}}; // an 8 MB state
    CameraStore store(std::move(many), state);
    std::string error;
    ASSERT_TRUE(store.save(error)) << error;
    const auto start = std::chrono::steady_clock::now();
    for (std::size_t i = 0; i < 40; ++i)
        store.withCamera(i, [i](Camera& c) { c.name = "Süd " + std::to_string(i); });
    // Writing the 8 MB forty times took seconds.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
    ASSERT_TRUE(store.sync(error)) << error;
    const auto loaded = CameraStore::load(state);
    ASSERT_TRUE(loaded.cameras) << loaded.error;
    for (std::size_t i = 0; i < 40; ++i)
        EXPECT_EQ(loaded.cameras->at(i).name, "Süd " + std::to_string(i));
}

TEST(CameraStore, NoStateFileMeansAFirstStart) {
    TempDir dir;
    const auto loaded = CameraStore::load(dir / "none.json");
    EXPECT_FALSE(loaded.cameras);
    EXPECT_EQ(loaded.error, "");
}

TEST(CameraStore, RejectsUnusableStateFiles) {
    TempDir dir;
    const auto state = dir / "state.json";
    CameraStore good(cameras(2), state);
    std::string error;
    ASSERT_TRUE(good.save(error));
    std::ifstream in(state);
    const auto valid = nlohmann::json::parse(in);

    const auto errorFor = [&](const nlohmann::json& j) {
        write(state, j.dump());
        return CameraStore::load(state).error;
    };
    auto twice = valid;
    twice["cameras"][1]["mac"] = twice["cameras"][0]["mac"];
    EXPECT_NE(errorFor(twice).find("appears twice"), std::string::npos);
    auto badIp = valid;
    badIp["cameras"][0]["ip"] = "192.0.2";
    EXPECT_NE(errorFor(badIp).find("camera 1: \"ip\""), std::string::npos);
    auto longName = valid;
    longName["cameras"][1]["name"] = std::string(64, 'n');
    EXPECT_NE(errorFor(longName).find("camera 2: \"name\""), std::string::npos);
    auto noPort = valid;
    noPort["cameras"][0].erase("http_port");
    EXPECT_NE(errorFor(noPort).find("http_port"), std::string::npos);
    auto version = valid;
    version["version"] = 7;
    EXPECT_NE(errorFor(version).find("unknown version"), std::string::npos);
    write(state, "{\"version\": 1, \"cameras\": [");
    EXPECT_NE(CameraStore::load(state).error.find("not a JSON object"), std::string::npos);
    auto kinds = valid;
    kinds["version"] = nlohmann::json::array();
    EXPECT_NE(errorFor(kinds).find("unknown version"), std::string::npos);
    auto many = valid;
    many["cameras"] = nlohmann::json::array();
    for (int i = 0; i <= camsim::kMaxCameras; ++i)
        many["cameras"].push_back(valid["cameras"][0]);
    EXPECT_NE(errorFor(many).find("1 to 10000 cameras"), std::string::npos);
    write(state, std::string(100000, '[') + std::string(100000, ']'));
    EXPECT_NE(CameraStore::load(state).error.find("nested deeper"), std::string::npos);
    // Neither a directory nor a FIFO at the path may hang or end the start.
    std::filesystem::remove(state);
    std::filesystem::create_directory(state);
    EXPECT_NE(CameraStore::load(state).error.find("not a regular file"), std::string::npos);
    std::filesystem::remove(state);
    ASSERT_EQ(::mkfifo(state.c_str(), 0600), 0);
    EXPECT_NE(CameraStore::load(state).error.find("not a regular file"), std::string::npos);
}

TEST(CameraStore, TheStateFileIsTheOwnersOnlyCompactAndTakesAnyName) {
    TempDir dir;
    const auto state = dir / "state.json";
    std::vector<Camera> made = cameras(1);
    made[0].name = "bad \xff name";
    CameraStore store(made, state);
    std::string error;
    ASSERT_TRUE(store.save(error)) << error;
    EXPECT_EQ(std::filesystem::status(state).permissions(),
              std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    std::ifstream in(state);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(text.find("\n "), std::string::npos) << "no indentation";
    const auto loaded = CameraStore::load(state);
    ASSERT_TRUE(loaded.cameras) << loaded.error;
    EXPECT_EQ(loaded.cameras->at(0).name, "bad \xef\xbf\xbd name");
}

TEST(CameraStore, AddressChangesGoThroughTheHookAndAreUndoneWhenRefused) {
    TempDir dir;
    CameraStore store(cameras(2), dir / "state.json");
    std::vector<std::pair<std::uint32_t, std::uint32_t>> moves;
    bool accept = true;
    store.setAddressHook([&](const Camera& before, const Camera& after) {
        moves.emplace_back(before.net.ip, after.net.ip);
        return accept;
    });
    store.withCamera(0, [](Camera& c) { c.name = "only the name"; });
    EXPECT_TRUE(moves.empty());

    store.withCamera(0, [](Camera& c) { c.net.ip = 0xc0000264; });
    ASSERT_EQ(moves.size(), 1u);
    EXPECT_EQ(moves[0].second, 0xc0000264u);

    accept = false;
    store.withCamera(0, [](Camera& c) {
        c.net.ip = 0xc0000265;
        c.name = "refused";
    });
    const Camera after = store.snapshot()[0];
    EXPECT_EQ(after.net.ip, 0xc0000264u);
    EXPECT_EQ(after.name, "only the name");

    // The MAC is the camera's identity and cannot be changed.
    store.withCamera(1, [](Camera& c) { c.mac[5] ^= 1; });
    EXPECT_EQ(store.snapshot()[1].mac, cameras(2)[1].mac);
    EXPECT_EQ(store.indexOf(cameras(2)[1].mac), 1u);
}

#include "core/Responder.h"
#include "core/Config.h"

#include "qvsp/QvspTypes.h"
#include "qvsp/wire/Proof.h"

#include <gtest/gtest.h>

#include <unistd.h>

using namespace camsim;
using namespace qvsp::wire;
using namespace std::chrono_literals;

namespace {

constexpr MacAddress kTool{0x02, 0x4f, 0x56, 0, 0, 1};

class Responding : public ::testing::Test {
protected:
    void SetUp() override {
        char templ[] = "/tmp/camsim-responder.XXXXXX";
        m_dir = ::mkdtemp(templ);
        SimConfig c;
        c.cameras = 3;
        c.password = "s3cret";
        c.names = {"Cam {n}"};
        c.models = {{"QV-N2610", ""}};
        c.versions = {"21.3.0.2"};
        m_store.emplace(makeCameras(c), m_dir / "state.json");
    }
    void TearDown() override { std::filesystem::remove_all(m_dir); }

    Responder make(std::vector<Behaviour> behaviours = {}, double loss = 0.0) {
        return Responder(*m_store, std::move(behaviours), 0ms, loss, 42, m_start);
    }

    MacAddress camera(std::size_t i) { return m_store->snapshot()[i].mac; }
    DeviceId device(std::size_t i) {
        const MacAddress mac = camera(i);
        DeviceId id{};
        std::copy(mac.begin(), mac.end(), id.begin());
        return id;
    }

    static Frame request(const MacAddress& dst, std::uint32_t xid, Body body) {
        Frame f;
        f.dst = dst;
        f.src = kTool;
        f.xid = xid;
        f.body = std::move(body);
        return f;
    }

    static std::vector<Frame> decoded(const std::vector<Outgoing>& out) {
        std::vector<Frame> frames;
        for (const auto& o : out) {
            Frame f;
            EXPECT_EQ(decode(o.bytes, f), DecodeError::None);
            frames.push_back(f);
        }
        return frames;
    }

    // Runs the challenge and a modify request signed with `password`.
    std::int32_t modify(Responder& r, std::size_t cam, const std::string& password,
                        NetworkSettings net, std::uint32_t xid = 77, std::string name = "Neu") {
        std::vector<Outgoing> out;
        const DeviceId id = device(cam);
        r.handle(request(camera(cam), xid, ChallengeRequest{id}), m_start, out);
        const auto challenge = decoded(out);
        EXPECT_EQ(challenge.size(), 1u);
        ModifyRequest m;
        m.device = id;
        m.nonce = std::get<Challenge>(challenge.at(0).body).nonce;
        m.net = net;
        m.user = "admin";
        m.name = std::move(name);
        m.proof = computeProof(password, m);
        out.clear();
        r.handle(request(camera(cam), xid, m), m_start + 1s, out);
        const auto result = decoded(out);
        EXPECT_EQ(result.size(), 1u);
        EXPECT_EQ(result.at(0).xid, xid);
        EXPECT_EQ(result.at(0).dst, kTool);
        return std::get<ModifyResult>(result.at(0).body).result;
    }

    static NetworkSettings settings(std::uint32_t ip) {
        NetworkSettings n;
        n.ip = ip;
        n.netmask = 0xffffff00;
        n.gateway = 0xc0000201;
        n.dns = 0xc0000201;
        n.httpPort = 8000;
        return n;
    }

    std::filesystem::path m_dir;
    std::optional<CameraStore> m_store;
    Clock::time_point m_start = Clock::now();
};

} // namespace

TEST_F(Responding, EveryCameraAnswersASearchWithItsRecord) {
    Responder r = make();
    std::vector<Outgoing> out;
    r.handle(request(kBroadcast, 5, SearchRequest{}), m_start, out);
    const auto frames = decoded(out);
    ASSERT_EQ(frames.size(), 3u);
    for (std::size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(frames[i].src, camera(i));
        EXPECT_EQ(frames[i].dst, kTool);
        EXPECT_EQ(frames[i].xid, 5u);
        const auto& a = std::get<SearchAnswer>(frames[i].body);
        EXPECT_EQ(a.name, "Cam 0" + std::to_string(i + 1));
        EXPECT_EQ(a.model, "QV-N2610");
        EXPECT_EQ(a.net.ip, 0xc000020au + i);
    }
    // A search sent to one address is not a search of the network.
    out.clear();
    r.handle(request(camera(0), 6, SearchRequest{}), m_start, out);
    EXPECT_TRUE(out.empty());
}

TEST_F(Responding, DelaysSilenceAndLossShapeTheAnswers) {
    std::vector<Behaviour> b(3);
    b[0].answerDelay = 250ms;
    b[1].silentAfter = 2s;
    b[2].silentAfter = 0ms;
    Responder r = make(b);
    std::vector<Outgoing> out;
    r.handle(request(kBroadcast, 1, SearchRequest{}), m_start, out);
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(out[0].due, m_start + 250ms);
    EXPECT_EQ(out[1].due, m_start);
    out.clear();
    r.handle(request(kBroadcast, 2, SearchRequest{}), m_start + 2s, out);
    EXPECT_EQ(out.size(), 1u) << "camera 2 has gone silent";

    Responder lossy = make({}, 0.5);
    std::size_t answered = 0;
    for (int i = 0; i < 200; ++i) {
        out.clear();
        lossy.handle(request(kBroadcast, 3, SearchRequest{}), m_start, out);
        answered += out.size();
    }
    EXPECT_GT(answered, 200u); // 600 answers, about half of them lost
    EXPECT_LT(answered, 400u);
}

TEST_F(Responding, AppliesAModifyWithTheRightProof) {
    Responder r = make();
    EXPECT_EQ(modify(r, 1, "s3cret", settings(0xc00002c8)), 0);
    const Camera c = m_store->snapshot()[1];
    EXPECT_EQ(c.net.ip, 0xc00002c8u);
    EXPECT_EQ(c.net.httpPort, 8000);
    EXPECT_EQ(c.name, "Neu");
    // and the next search says so
    std::vector<Outgoing> out;
    r.handle(request(kBroadcast, 9, SearchRequest{}), m_start, out);
    EXPECT_EQ(std::get<SearchAnswer>(decoded(out).at(1).body).net.ip, 0xc00002c8u);
}

TEST_F(Responding, ReportsAppliedModifiesOnlyToItsHook) {
    Responder r = make();
    std::vector<std::size_t> changed;
    r.setChangedHook([&](std::size_t camera) { changed.push_back(camera); });
    EXPECT_EQ(modify(r, 1, "wrong", settings(0xc00002c8)), QVSP_RESULT_BAD_PROOF);
    EXPECT_EQ(modify(r, 2, "s3cret", settings(0)), QVSP_RESULT_BAD_VALUES);
    EXPECT_TRUE(changed.empty());
    EXPECT_EQ(modify(r, 1, "s3cret", settings(0xc00002c8)), 0);
    EXPECT_EQ(changed, std::vector<std::size_t>{1});
}

TEST_F(Responding, ARebootingCameraSaysNothingUntilItsTime) {
    Responder r = make();
    r.silenceUntil(2, m_start + 5s);
    std::vector<Outgoing> out;
    r.handle(request(kBroadcast, 1, SearchRequest{}), m_start + 4999ms, out);
    const auto during = decoded(out);
    ASSERT_EQ(during.size(), 2u);
    for (const auto& f : during)
        EXPECT_NE(f.src, camera(2));
    out.clear();
    r.handle(request(camera(2), 2, ChallengeRequest{device(2)}), m_start + 1s, out);
    EXPECT_TRUE(out.empty()) << "no challenge either";
    r.handle(request(kBroadcast, 3, SearchRequest{}), m_start + 5s, out);
    EXPECT_EQ(out.size(), 3u);
}

TEST_F(Responding, RefusesWrongProofsAndUnusableValues) {
    Responder r = make();
    const auto before = m_store->snapshot();
    EXPECT_EQ(modify(r, 0, "S3cret", settings(0xc00002c8)), QVSP_RESULT_BAD_PROOF);
    EXPECT_EQ(modify(r, 0, "", settings(0xc00002c8)), QVSP_RESULT_BAD_PROOF);
    EXPECT_EQ(modify(r, 0, "s3cret", settings(0)), QVSP_RESULT_BAD_VALUES);
    EXPECT_EQ(modify(r, 0, "s3cret", settings(0xe0000001)), QVSP_RESULT_BAD_VALUES);
    EXPECT_EQ(modify(r, 0, "s3cret", settings(0x7f000001)), QVSP_RESULT_BAD_VALUES);
    auto holes = settings(0xc00002c8);
    holes.netmask = 0xff00ff00;
    EXPECT_EQ(modify(r, 0, "s3cret", holes), QVSP_RESULT_BAD_VALUES);
    // A name that is not UTF-8 could be neither stored nor shown.
    EXPECT_EQ(modify(r, 0, "s3cret", settings(0xc00002c8), 78, "Kamera S\xfc\xff"),
              QVSP_RESULT_BAD_VALUES);
    EXPECT_EQ(m_store->snapshot(), before);
}

TEST_F(Responding, ANonceServesOneRequestFromItsRequesterOnly) {
    Responder r = make();
    std::vector<Outgoing> out;
    const DeviceId id = device(0);
    r.handle(request(camera(0), 11, ChallengeRequest{id}), m_start, out);
    ModifyRequest m;
    m.device = id;
    m.nonce = std::get<Challenge>(decoded(out).at(0).body).nonce;
    m.net = settings(0xc00002c9);
    m.user = "admin";
    m.proof = computeProof("s3cret", m);

    const auto resultOf = [&](Frame f, Clock::time_point at) {
        out.clear();
        r.handle(f, at, out);
        return std::get<ModifyResult>(decoded(out).at(0).body).result;
    };
    Frame other = request(camera(0), 11, m);
    other.src = {0x02, 0, 0, 0, 0, 0x66};
    EXPECT_EQ(resultOf(other, m_start), QVSP_RESULT_STALE_NONCE);
    EXPECT_EQ(resultOf(request(camera(0), 12, m), m_start), QVSP_RESULT_STALE_NONCE);
    EXPECT_EQ(resultOf(request(camera(0), 11, m), m_start), 0);
    // replayed
    EXPECT_EQ(resultOf(request(camera(0), 11, m), m_start), QVSP_RESULT_STALE_NONCE);

    // expired
    out.clear();
    r.handle(request(camera(0), 13, ChallengeRequest{id}), m_start, out);
    m.nonce = std::get<Challenge>(decoded(out).at(0).body).nonce;
    m.proof = computeProof("s3cret", m);
    EXPECT_EQ(resultOf(request(camera(0), 13, m), m_start + Responder::kChallengeLifetime + 1s),
              QVSP_RESULT_STALE_NONCE);
}

TEST_F(Responding, IgnoresRequestsForOtherAddresses) {
    Responder r = make();
    std::vector<Outgoing> out;
    const MacAddress stranger{0x02, 0x11, 0x22, 0x33, 0x44, 0x55};
    DeviceId id{};
    std::copy(stranger.begin(), stranger.end(), id.begin());
    r.handle(request(stranger, 1, ChallengeRequest{id}), m_start, out);
    EXPECT_TRUE(out.empty());
}

// The simulator's side of discovery: frames built from arbitrary bytes go to
// the responder of three cameras. A modify request is given the nonce of a
// real challenge and, when the input asks, a correct proof, so names and
// addresses of any bytes reach the store and the state file. Every answer
// must be a frame that decodes, and nothing may throw or crash.

#include "core/CameraStore.h"
#include "core/Config.h"
#include "core/Responder.h"

#include "qvsp/wire/Proof.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <unistd.h>

#include <filesystem>

using namespace camsim;
using namespace qvsp::wire;

namespace {

const std::filesystem::path& stateFile() {
    static const std::filesystem::path path =
        std::filesystem::temp_directory_path() /
        ("camsim-responder-fuzz-" + std::to_string(::getpid()) + ".json");
    return path;
}

std::vector<Camera> cameras() {
    static const std::vector<Camera> made = [] {
        const auto parsed = parseConfig({{"interface", "lo"}, {"state_file", "x"}, {"cameras", 3}});
        return makeCameras(*parsed.config);
    }();
    return made;
}

NetworkSettings net(FuzzedDataProvider& in) {
    NetworkSettings n;
    n.ip = in.ConsumeIntegral<std::uint32_t>();
    n.netmask = in.ConsumeIntegral<std::uint32_t>();
    n.gateway = in.ConsumeIntegral<std::uint32_t>();
    n.dns = in.ConsumeIntegral<std::uint32_t>();
    n.httpPort = in.ConsumeIntegral<std::uint16_t>();
    return n;
}

void answersDecode(const std::vector<Outgoing>& out) {
    for (const auto& o : out) {
        Frame f;
        if (decode(o.bytes, f) != DecodeError::None)
            __builtin_trap();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    FuzzedDataProvider in(data, size);
    CameraStore store(cameras(), stateFile());
    const auto start = Clock::time_point{} + std::chrono::hours(1);
    Responder responder(store, {}, std::chrono::milliseconds(0), 0.0, 1, start);
    const std::size_t camera = in.ConsumeIntegralInRange<std::size_t>(0, 2);
    const MacAddress mac = store.viewCamera(camera, [](const Camera& c) { return c.mac; });
    DeviceId device{};
    std::copy(mac.begin(), mac.end(), device.begin());

    Frame frame;
    frame.src = {0x02, 0x4f, 0x56, 0, 0, 1};
    frame.dst = in.ConsumeBool() ? mac : kBroadcast;
    frame.xid = in.ConsumeIntegral<std::uint32_t>();
    std::vector<Outgoing> out;
    switch (in.ConsumeIntegralInRange<int>(0, 2)) {
    case 0:
        frame.body = SearchRequest{};
        break;
    case 1:
        frame.body = ChallengeRequest{device};
        break;
    default: {
        ModifyRequest m;
        m.device = device;
        m.net = net(in);
        m.user = in.ConsumeBool() ? "admin" : in.ConsumeRandomLengthString(40);
        m.name = in.ConsumeRandomLengthString(80);
        if (in.ConsumeBool()) {
            // A real challenge first, so the request is not stale.
            Frame ask = frame;
            ask.dst = mac;
            ask.body = ChallengeRequest{device};
            responder.handle(ask, start, out);
            for (const auto& o : out) {
                Frame answer;
                if (decode(o.bytes, answer) == DecodeError::None)
                    if (const auto* c = std::get_if<Challenge>(&answer.body))
                        m.nonce = c->nonce;
            }
            frame.dst = mac;
        }
        m.proof = in.ConsumeBool() ? computeProof("admin", m) : Proof{};
        frame.body = m;
        break;
    }
    }
    // Only what the wire can carry reaches the responder.
    Frame received;
    if (decode(encode(frame), received) != DecodeError::None)
        return 0;
    responder.handle(received, start + std::chrono::seconds(1), out);
    answersDecode(out);
    std::error_code ec;
    std::filesystem::remove(stateFile(), ec);
    return 0;
}

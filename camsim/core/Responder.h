#pragma once

#include "core/CameraStore.h"
#include "core/Config.h"

#include "qvsp/wire/Frame.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <random>
#include <vector>

namespace camsim {

using Clock = std::chrono::steady_clock;

struct Outgoing {
    Clock::time_point due;
    qvsp::wire::FrameBytes bytes;
};

// The cameras' side of the discovery protocol, without any I/O: a received
// frame in, the answers with their send times out.
class Responder {
public:
    Responder(CameraStore& store, std::vector<Behaviour> behaviours,
              std::chrono::milliseconds jitter, double lossRate, std::uint64_t seed,
              Clock::time_point start);

    void handle(const qvsp::wire::Frame& in, Clock::time_point now, std::vector<Outgoing>& out);

    // A camera that reboots through its HTTP API says nothing on the wire
    // until `until`. Safe from any thread: the API's workers call it while
    // the capture loop answers.
    void silenceUntil(std::size_t camera, Clock::time_point until);
    // A camera muted by a fault answers nothing on the wire until unmuted.
    void setMuted(std::size_t camera, bool muted);

    // Runs on the responder's thread, outside the store's lock, after a
    // modify request changed a camera (its address or HTTP port may have
    // moved, and whoever serves that port must follow).
    void setChangedHook(std::function<void(std::size_t camera)> hook) {
        m_changed = std::move(hook);
    }

    // Challenges a camera keeps open at once, and how long each stays valid.
    static constexpr std::size_t kOpenChallenges = 8;
    static constexpr std::chrono::seconds kChallengeLifetime{30};

private:
    struct OpenChallenge {
        qvsp::wire::MacAddress requester{};
        std::uint32_t xid = 0;
        qvsp::wire::Nonce nonce{};
        Clock::time_point issued;
    };

    bool silent(std::size_t camera, Clock::time_point now) const;
    void answer(std::size_t camera, const qvsp::wire::MacAddress& to, std::uint32_t xid,
                qvsp::wire::Body body, Clock::time_point now, std::vector<Outgoing>& out);
    void onSearch(const qvsp::wire::Frame& in, Clock::time_point now, std::vector<Outgoing>& out);
    void onChallengeRequest(std::size_t camera, const qvsp::wire::Frame& in, Clock::time_point now,
                            std::vector<Outgoing>& out);
    void onModify(std::size_t camera, const qvsp::wire::Frame& in,
                  const qvsp::wire::ModifyRequest& request, Clock::time_point now,
                  std::vector<Outgoing>& out);
    std::int32_t apply(std::size_t camera, const qvsp::wire::ModifyRequest& request);

    CameraStore& m_store;
    std::vector<Behaviour> m_behaviours;
    std::chrono::milliseconds m_jitter;
    std::bernoulli_distribution m_loss;
    std::mt19937_64 m_random;
    Clock::time_point m_start;
    std::vector<std::deque<OpenChallenge>> m_challenges;
    // Steady-clock ticks until which each camera reboots; 0 when it runs.
    std::vector<std::atomic<Clock::rep>> m_rebootUntil;
    std::vector<std::atomic<bool>> m_muted;
    // Other makers' cameras speak ONVIF only: never the maker's frames.
    std::vector<bool> m_onvifOnly;
    std::function<void(std::size_t)> m_changed;
};

} // namespace camsim

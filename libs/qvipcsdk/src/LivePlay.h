#pragma once
// Live video of one login: the camera's RTSP stream decoded and drawn into a
// native X11 window. GStreamer stays behind this interface; the rest of the
// SDK never includes it.

#include <cstdint>
#include <string>

namespace qvsdk {

struct LiveSource {
    std::string ip;
    int rtspPort = 0;
    std::string user;
    std::string password;
};

// How long a start may take before it fails with QV_ERR_TIMEOUT, and how
// long a playing stream may stay without a frame before it stops by itself.
struct LiveTiming {
    long startMs = 5000;
    long stallMs = 3000;
};
LiveTiming& liveTiming();

// Each returns a QV_ERR_* number. A start on a handle that already plays
// stops that view first. Returns only once the first frame reached the
// window, or with the error that prevented it.
int startLivePlay(int handle, const LiveSource& source, std::uint64_t window);
// Stops and releases the handle's view; nothing running is no failure.
int stopLivePlay(int handle);
// Stops every view (SDK shutdown).
void stopAllLivePlays();

} // namespace qvsdk

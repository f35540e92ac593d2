#pragma once
// Misbehaviour a test can order from one camera's API.

#include <chrono>
#include <cstddef>
#include <string>

namespace camsim {

struct FaultPlan {
    // Every request is answered 401, whatever the credentials.
    bool refuseCredentials = false;
    // Waits this long before answering each request.
    std::chrono::milliseconds delay{0};
    // Sends every answer body one byte per trickleInterval.
    bool trickle = false;
    std::chrono::milliseconds trickleInterval{250};
    // Sends the status line and headers, then nothing until the server stops
    // or stallLimit passed; then drops the connection.
    bool stallAfterHeaders = false;
    std::chrono::milliseconds stallLimit{60000};
    // Sends half of each answer body and drops the connection; an upload is
    // cut after half of its body arrived.
    bool closeMidway = false;
    // Answers 200 with a body that is not valid JSON.
    bool malformedJson = false;
    // Answers 200 with the documented object padded to over a megabyte.
    bool hugeAnswer = false;
    // Route name (see docs/device-api.md) answered with 500.
    std::string failCall{};
    // Route name answered with 400, as a camera that refuses the value.
    std::string refuseCall{};
    // The web service is down: every connection is reset at once, and no
    // video is served; the camera still answers discovery.
    bool httpDown = false;
    // The camera says nothing at all (HTTP, video and, in the simulator,
    // discovery), as during a reboot, until the fault is cleared.
    bool silent = false;
    // Uploads are read at most this many bytes per second (0: at once), as
    // a camera writing to slow flash.
    std::size_t uploadBytesPerSecond = 0;
};

} // namespace camsim

#pragma once
// Live video: a camera's RTSP stream (H.264 over TCP) decoded and drawn into
// a native X11 window, whatever protocol found the stream's address.
// GStreamer and X11 stay behind this interface; nothing that includes it
// sees either.

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

namespace liveplay {

enum class Error {
    Ok,            // X11 takes the name None for a macro
    Unavailable,   // GStreamer, its H.264 decoder or an X11 video sink is missing
    BadArgument,   // no window, or an address that is not rtsp://
    NotAuthorized, // the camera refused the user name or password
    Network,       // no connection, or the stream broke off or ended
    Timeout,       // connected, but no picture reached the window in time
    Stream,        // the camera's stream could not be read or decoded
    Internal,
};

// Words for a person: "the camera refused the user name or password", ...
const char* ErrorText(Error error);

struct Source {
    // The whole address, rtsp://host:port/path. The credentials never go in
    // it: they travel in the RTSP authentication alone, so the address can
    // be shown and logged.
    std::string url;
    std::string user;
    std::string password;
};

struct Timing {
    // How long a start may take before it fails with Error::Timeout.
    std::chrono::milliseconds start{5000};
    // How long a playing stream may stay without a frame before its view
    // ends by itself (a camera whose encoder hung, or that went away
    // without closing the connection).
    std::chrono::milliseconds stall{3000};
};

// A set of views, each keyed by a number of its owner's choosing (a login
// handle, a session). Thread-safe; the destructor stops every view.
class CViews {
public:
    explicit CViews(Timing timing = {});
    ~CViews();
    CViews(const CViews&) = delete;
    CViews& operator=(const CViews&) = delete;

    // Plays `source` into `window` (an X11 window id) at the window's size
    // as it is now. A key that already plays stops that view first.
    // Returns once the first frame reached the window, or with the error
    // that prevented it; a failed start leaves nothing running.
    Error Start(std::uint64_t key, const Source& source, std::uint64_t window);
    // Stops and releases the key's view; nothing running is no failure.
    void Stop(std::uint64_t key);
    void StopAll();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace liveplay

#pragma once
// Live video: a camera's RTSP stream (H.264 over TCP) decoded and drawn into
// a native X11 window, or handed over picture by picture for the caller to
// draw (under Wayland, X11 or no display at all), whatever protocol found
// the stream's address. GStreamer and X11 stay behind this interface;
// nothing that includes it sees either.

#include <chrono>
#include <cstdint>
#include <functional>
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

// One decoded picture: 32-bit pixels, bytes B, G, R and an unused one in
// memory order (a little-endian 0xffRRGGBB), rows `stride` bytes apart.
// Valid only during the call that hands it over.
struct Frame {
    int width = 0;
    int height = 0;
    int stride = 0;
    const std::uint8_t* pixels = nullptr;
    // H.264 bytes received since the view started (its bit rate).
    std::uint64_t streamBytes = 0;
};

struct FrameTarget {
    // Every decoded picture, on a streaming thread; a caller copies what
    // it keeps and returns soon (pictures that arrive meanwhile are
    // dropped, never queued).
    std::function<void(const Frame&)> frame;
    // Once, on the view's own thread, when a view that played ends by
    // itself: the stream broke off, ended, or sent no picture for the
    // stall time. Never after Stop, never for a start that failed (Start
    // says that). It must not stop or start views itself.
    std::function<void(Error)> ended;
    // The size pictures are scaled to; 0 keeps the stream's own.
    int width = 0;
    int height = 0;
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
    // Plays `source` into `target`'s callbacks; returns once the first
    // picture was handed over, or with the error that prevented it.
    Error Start(std::uint64_t key, const Source& source, FrameTarget target);
    // Stops and releases the key's view; nothing running is no failure.
    void Stop(std::uint64_t key);
    void StopAll();

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace liveplay

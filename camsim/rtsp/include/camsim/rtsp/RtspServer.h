#pragma once
// Live video of the virtual cameras: every camera serves an H.264 test
// picture with its name, a running clock and a band of its own colour along
// the bottom (BandColour) at rtsp://<ip>:<rtsp1>/stream1,
// with Digest authentication against its admin password. A picture is
// encoded only while someone watches, and follows the camera's picture
// record (brightness, contrast, saturation) within a fraction of a second.

#include "camsim/httpapi/DeviceApiHost.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace camsim::rtsp {

struct RtspOptions {
    int width = 640;
    int height = 360;
    int framesPerSecond = 25;
    // How often a watched camera's picture record is read again.
    std::chrono::milliseconds pictureInterval{200};
    // How often the cameras are compared with the served addresses, ports,
    // names and passwords (a camera moved, its RTSP port or password changed).
    std::chrono::milliseconds syncInterval{1000};
    // True while a camera is silent (a reboot, its services down): it serves
    // no video then. Checked at every sync.
    std::function<bool(const CameraKey&)> silent;
};

// The colour of the band along the bottom of a camera's picture, 0xRRGGBB,
// from the camera's identity (its MAC, "02:4F:56:10:00:07"): fully
// saturated, and cameras whose MACs follow each other lie far apart on the
// colour wheel, so a viewer can tell whose picture it shows. The same
// camera has the same band after a restart, a move or a rename.
std::uint32_t BandColour(std::string_view id);
// The band's height: an eighth of the picture's.
inline constexpr int kBandDivisor = 8;

class RtspServer {
public:
    explicit RtspServer(DeviceApiHost& host, RtspOptions options = {});
    ~RtspServer();
    RtspServer(const RtspServer&) = delete;
    RtspServer& operator=(const RtspServer&) = delete;

    // Serves every camera of the host. False when GStreamer or an element
    // is missing or a camera's address and RTSP port cannot be bound (the
    // others are served).
    bool start();
    // Follows the host now rather than at the next sync interval.
    bool sync();
    // Ends every connection and stream.
    void stop();

    // Streams being encoded now (one per watching client).
    int activeStreams() const;
    // A frozen camera keeps its connections but sends no more frames, as a
    // camera whose encoder hung.
    void setFrozen(const CameraKey& key, bool frozen);

private:
    class Impl;
    std::unique_ptr<Impl> m_impl;
};

} // namespace camsim::rtsp

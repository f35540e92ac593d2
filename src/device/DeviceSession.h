#pragma once
// A logged-in conversation with one camera, whatever its protocol. Values
// are the protocol-neutral settings below; each driver converts them to its
// own records at its edge. What a camera gives that the tool does not
// interpret travels in `handback`: a Set built from a Get sends it back
// unchanged, so a camera's own values survive every change the installer
// makes. A session is used by one thread at a time.

#include "DeviceInfo.h"
#include "DeviceResult.h"

#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace orv::device {

struct LocalDateTime {
    int year = 0;
    int month = 0;
    int day = 0;
    int hour = 0;
    int minute = 0;
    int second = 0;
    auto operator<=>(const LocalDateTime&) const = default;
};

struct TimeSettings {
    bool useTimeServer = false;
    LocalDateTime local;
    QString timeServer;
    // Hours east of UTC, -12 to +12.
    int utcOffsetHours = 0;
    std::string handback;
};

struct PortSettings {
    Ports ports;
    std::string handback;
};

struct DdnsSettings {
    bool enabled = false;
    QString provider;
    QString user;
    QString password;
    QString hash;
    QString host;
    std::string handback;
};

enum class StreamKind { Primary, Secondary };
enum class VideoCodec { H264, Mpeg4, Mjpeg, Other };
enum class RateControl { Constant, Variable };

struct StreamSettings {
    bool enabled = false;
    VideoCodec codec = VideoCodec::H264;
    // 0 x 0 where the camera's size has no name the driver knows.
    int width = 0;
    int height = 0;
    int frameRate = 0;
    int bitRateKbps = 0;
    RateControl rateControl = RateControl::Variable;
    int iFrameInterval = 0;
    std::string handback;
};

enum class IrCutMode { Night, Day, Auto };
enum class LocalDisplay { Off, Ntsc, Pal };

struct ImageSettings {
    int powerLineHz = 50;
    IrCutMode irCut = IrCutMode::Auto;
    LocalDisplay localDisplay = LocalDisplay::Off;
    bool indoor = false;
    int exposureLevel = 0;   // 0..10
    int maxExposureTime = 0; // 0..4, see MaxExposureDenominator
    std::string handback;
};

// The longest exposure a maxExposureTime code allows, as N of 1/N second;
// 0 outside 0..4. Whole multiples of the mains half-period keep lamps from
// flickering in the picture, so the steps follow the mains frequency.
constexpr int MaxExposureDenominator(int code, int powerLineHz) {
    constexpr int k50[] = {5, 10, 25, 50, 100};
    constexpr int k60[] = {5, 15, 30, 50, 100};
    if (code < 0 || code > 4) {
        return 0;
    }
    return powerLineHz == 50 ? k50[code] : k60[code];
}

struct PictureSettings {
    int brightness = 0; // 0..255
    int contrast = 0;
    int saturation = 0;
};

// Asked at least once a second while a file is sent; true stops it with
// Fault::Cancelled.
using CancelCheck = std::function<bool()>;

// One decoded picture of a live view: 32-bit pixels, bytes B, G, R and an
// unused one in memory order, rows `stride` bytes apart. Valid only during
// the call that hands it over.
struct VideoFrame {
    int width = 0;
    int height = 0;
    int stride = 0;
    const std::uint8_t* pixels = nullptr;
    // Encoded bytes received since the view started (its bit rate).
    std::uint64_t streamBytes = 0;
};

struct VideoTarget {
    // Every picture, on a streaming thread: a receiver copies what it keeps
    // and returns soon (pictures that arrive meanwhile are dropped).
    std::function<void(const VideoFrame&)> frame;
    // Once, on another thread, when a view that played ends by itself (the
    // stream broke off or stalled), with why; never after StopLiveVideo.
    std::function<void(const Failure&)> ended;
    // The size pictures are scaled to; 0 keeps the stream's own.
    int width = 0;
    int height = 0;
};

class IDeviceSession {
public:
    virtual ~IDeviceSession() = default;

    virtual const DeviceInfo& Device() const = 0;
    // True when the conversation is encrypted and the camera's key checked
    // (TLS with a trusted key), so a secret sent in it stays private.
    virtual bool Encrypted() const = 0;

    // The firmware version the camera runs now (after an upgrade: once it
    // answers again, the version it rebooted into).
    virtual Result<QString> GetFirmwareVersion() = 0;
    virtual Result<TimeSettings> GetTime() = 0;
    virtual Status SetTime(const TimeSettings& settings) = 0;
    virtual Result<PortSettings> GetPorts() = 0;
    virtual Status SetPorts(const PortSettings& settings) = 0;
    virtual Result<DdnsSettings> GetDdns() = 0;
    virtual Status SetDdns(const DdnsSettings& settings) = 0;
    virtual Result<StreamSettings> GetStream(StreamKind kind) = 0;
    virtual Status SetStream(StreamKind kind, const StreamSettings& settings) = 0;
    virtual Result<ImageSettings> GetImage() = 0;
    virtual Status SetImage(const ImageSettings& settings) = 0;
    virtual Result<PictureSettings> GetPicture() = 0;
    virtual Status SetPicture(const PictureSettings& settings) = 0;
    virtual Status SetName(const QString& name) = 0;
    virtual Status ChangePassword(const QString& user, const QString& newPassword) = 0;
    virtual Status Reboot() = 0;
    virtual Status Restore() = 0;
    virtual Status UpdateFirmware(const QString& path, const CancelCheck& cancelled) = 0;
    virtual Status UploadOem(const QString& path, const CancelCheck& cancelled) = 0;
    // Live video handed to `target` picture by picture, until StopLiveVideo
    // or the session ends; returns once the first picture was handed over.
    virtual Status StartLiveVideo(VideoTarget target) = 0;
    virtual Status StopLiveVideo() = 0;
};

} // namespace orv::device

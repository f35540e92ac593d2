#include "camsim/rtsp/RtspServer.h"

#include "camsim/httpapi/CameraConfig.h"

#include <gst/gst.h>
#include <gst/rtsp-server/rtsp-server.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace camsim::rtsp {

namespace {

constexpr const char* kUser = "admin";
constexpr const char* kRole = "admin";
constexpr const char* kPath = "/stream1";

bool initGstreamer() {
    static const bool ok = [] {
        GError* error = nullptr;
        const gboolean done = gst_init_check(nullptr, nullptr, &error);
        if (error != nullptr) {
            g_error_free(error);
        }
        return done == TRUE;
    }();
    return ok;
}

// What the stream shows of one camera, read under the host's lock.
struct CameraView {
    std::string id;
    std::string ip;
    std::string name;
    std::string password;
    int rtspPort = 0;
    int brightness = 128;
    int contrast = 128;
    int saturation = 128;
    // The primary stream record: frames per second (0 lets the camera
    // choose) and frames from one key frame to the next.
    int frameRate = 0;
    int keyInterval = 0;
};

int intAt(const nlohmann::json& config, const char* section, const char* field, int fallback) {
    const auto s = config.find(section);
    if (s == config.end() || !s->is_object()) {
        return fallback;
    }
    const auto f = s->find(field);
    return f != s->end() && f->is_number_integer() ? f->get<int>() : fallback;
}

bool readCamera(DeviceApiHost& host, const CameraKey& key, CameraView& view) {
    // A camera nobody configured holds an empty config: its factory values apply.
    static const nlohmann::json factory = api::factoryConfig();
    return host.withCamera(key, [&](CameraState& camera) {
        const nlohmann::json& config = camera.config;
        view.id = camera.identity.id;
        view.ip = camera.identity.ip;
        view.name = camera.identity.deviceName;
        view.password = camera.identity.adminPassword;
        view.rtspPort = intAt(config, "ports", "rtsp1",
                              api::factoryPorts(camera.identity.httpPort)["rtsp1"].get<int>());
        view.brightness = intAt(config, "picture", "brightness", 128);
        view.contrast = intAt(config, "picture", "contrast", 128);
        view.saturation = intAt(config, "picture", "saturation", 128);
        // The stored record is read as it is: whatever it holds, only
        // whole numbers count.
        const nlohmann::json& streams =
            config.contains("streams") ? config["streams"] : factory["streams"];
        if (streams.is_array() && streams.size() == 2) {
            const nlohmann::json record = {{"primary", streams[1]}};
            view.frameRate = intAt(record, "primary", "frameRate", 0);
            view.keyInterval = intAt(record, "primary", "iFrameInterval", 0);
        }
        return false;
    });
}

// 128 is the neutral value of each field; 0 and 255 reach the ends of the
// balance element's ranges.
void applyPicture(GstElement* balance, const CameraView& view) {
    const double brightness = std::clamp((view.brightness - 128) / 128.0, -1.0, 1.0);
    const double contrast = std::clamp(view.contrast / 128.0, 0.0, 2.0);
    const double saturation = std::clamp(view.saturation / 128.0, 0.0, 2.0);
    g_object_set(balance, "brightness", brightness, "contrast", contrast, "saturation", saturation,
                 nullptr);
}

struct Served {
    CameraKey key;
    std::string ip;
    int rtspPort = 0;
    std::string password;
    GstRTSPServer* server = nullptr;
    GstRTSPAuth* auth = nullptr;
    guint source = 0;
};

struct Active {
    GstRTSPMedia* media = nullptr; // identity only; the server owns it
    CameraKey key;
    GstElement* balance = nullptr;
    GstElement* valve = nullptr;
};

GstRTSPFilterResult dropClient(GstRTSPServer*, GstRTSPClient*, gpointer) {
    return GST_RTSP_FILTER_REMOVE;
}

} // namespace

std::uint32_t BandColour(std::string_view id) {
    // The camera's number is the end of its MAC: the last two bytes. Any
    // other identity is hashed.
    std::uint32_t number = 2166136261u;
    unsigned bytes[6] = {};
    const std::string text(id);
    if (std::sscanf(text.c_str(), "%2x:%2x:%2x:%2x:%2x:%2x", &bytes[0], &bytes[1], &bytes[2],
                    &bytes[3], &bytes[4], &bytes[5]) == 6) {
        number = bytes[4] << 8 | bytes[5];
    } else {
        for (const char c : id) {
            number = (number ^ static_cast<unsigned char>(c)) * 16777619u;
        }
    }
    // The golden angle apart: any run of neighbours spreads over the wheel.
    const double hue = std::fmod(number * 137.50776405, 360.0) / 60.0;
    const double x = 1.0 - std::fabs(std::fmod(hue, 2.0) - 1.0);
    double r = 0;
    double g = 0;
    double b = 0;
    switch (static_cast<int>(hue)) {
    case 0:
        r = 1;
        g = x;
        break;
    case 1:
        r = x;
        g = 1;
        break;
    case 2:
        g = 1;
        b = x;
        break;
    case 3:
        g = x;
        b = 1;
        break;
    case 4:
        r = x;
        b = 1;
        break;
    default:
        r = 1;
        b = x;
        break;
    }
    const auto channel = [](double v) { return static_cast<std::uint32_t>(std::lround(v * 255)); };
    return channel(r) << 16 | channel(g) << 8 | channel(b);
}

class RtspServer::Impl {
public:
    Impl(DeviceApiHost& host, RtspOptions options) : m_host(host), m_options(options) {}
    ~Impl() { stop(); }

    bool start() {
        if (!initGstreamer() || gst_element_factory_find("x264enc") == nullptr) {
            return false;
        }
        if (m_loop == nullptr) {
            m_context = g_main_context_new();
            m_loop = g_main_loop_new(m_context, FALSE);
            m_thread = std::thread([this] {
                g_main_context_push_thread_default(m_context);
                g_main_loop_run(m_loop);
                g_main_context_pop_thread_default(m_context);
            });
            GSource* timer = g_timeout_source_new(
                static_cast<guint>(std::max<long>(10, m_options.pictureInterval.count())));
            g_source_set_callback(timer, &Impl::onTick, this, nullptr);
            m_timer = g_source_attach(timer, m_context);
            g_source_unref(timer);
        }
        return sync();
    }

    // The loop thread does not wait: stop() may hold the lock while joining it.
    bool sync(bool wait = true) {
        std::unique_lock syncGuard(m_syncLock, std::defer_lock);
        if (wait) {
            syncGuard.lock();
        } else if (!syncGuard.try_lock()) {
            return true;
        }
        std::map<CameraKey, CameraView> cameras;
        for (const CameraKey& key : m_host.endpoints()) {
            // A camera that is silent (rebooting, its services down) closes
            // its RTSP port as well, and ends the streams it was sending.
            if (m_options.silent && m_options.silent(key)) {
                continue;
            }
            CameraView view;
            if (readCamera(m_host, key, view)) {
                cameras[key] = view;
            }
        }
        std::vector<Served> gone;
        std::vector<std::pair<CameraKey, CameraView>> added;
        {
            std::lock_guard guard(m_lock);
            for (auto it = m_served.begin(); it != m_served.end();) {
                const auto found = cameras.find(it->first);
                if (found == cameras.end() || found->second.ip != it->second.ip ||
                    found->second.rtspPort != it->second.rtspPort) {
                    gone.push_back(it->second);
                    it = m_served.erase(it);
                    continue;
                }
                if (found->second.password != it->second.password) {
                    it->second.password = found->second.password;
                    addDigest(it->second.auth, it->second.password);
                }
                ++it;
            }
            for (const auto& [key, view] : cameras) {
                if (m_served.count(key) == 0) {
                    added.emplace_back(key, view);
                }
            }
        }
        for (Served& served : gone) {
            close(served);
        }
        bool ok = true;
        for (const auto& [key, view] : added) {
            Served served;
            if (!open(key, view, served)) {
                ok = false;
                continue;
            }
            std::lock_guard guard(m_lock);
            m_served[key] = served;
        }
        for (GstRTSPServer* server : servers()) {
            GstRTSPSessionPool* pool = gst_rtsp_server_get_session_pool(server);
            gst_rtsp_session_pool_cleanup(pool);
            g_object_unref(pool);
            g_object_unref(server);
        }
        return ok;
    }

    void stop() {
        std::lock_guard syncGuard(m_syncLock);
        std::map<CameraKey, Served> served;
        {
            std::lock_guard guard(m_lock);
            served.swap(m_served);
        }
        for (auto& [key, one] : served) {
            close(one);
        }
        if (m_loop != nullptr) {
            if (GSource* timer = g_main_context_find_source_by_id(m_context, m_timer)) {
                g_source_destroy(timer);
            }
            g_main_loop_quit(m_loop);
            m_thread.join();
            // Streams ended above; what the clients' sockets still held goes
            // with the context.
            while (g_main_context_iteration(m_context, FALSE)) {
            }
            g_main_loop_unref(m_loop);
            g_main_context_unref(m_context);
            m_loop = nullptr;
            m_context = nullptr;
        }
        std::vector<Active> active;
        {
            std::lock_guard guard(m_lock);
            active.swap(m_active);
        }
        for (Active& one : active) {
            g_object_weak_unref(G_OBJECT(one.media), &Impl::onMediaGone, this);
            g_signal_handlers_disconnect_by_data(one.media, this);
            release(one);
        }
    }

    int activeStreams() const {
        std::lock_guard guard(m_lock);
        return static_cast<int>(m_active.size());
    }

    void setFrozen(const CameraKey& key, bool frozen) {
        std::lock_guard guard(m_lock);
        if (frozen) {
            m_frozen.insert(key);
        } else {
            m_frozen.erase(key);
        }
        for (const Active& one : m_active) {
            if (one.key == key) {
                g_object_set(one.valve, "drop", frozen ? TRUE : FALSE, nullptr);
            }
        }
    }

private:
    struct FactoryContext {
        Impl* impl;
        CameraKey key;
        std::uint32_t band; // its colour
    };

    static void addDigest(GstRTSPAuth* auth, const std::string& password) {
        GstRTSPToken* token =
            gst_rtsp_token_new(GST_RTSP_TOKEN_MEDIA_FACTORY_ROLE, G_TYPE_STRING, kRole, nullptr);
        gst_rtsp_auth_add_digest(auth, kUser, password.c_str(), token);
        gst_rtsp_token_unref(token);
    }

    std::string launchLine() const {
        const std::string size = "width=" + std::to_string(m_options.width) +
                                 ",height=" + std::to_string(m_options.height);
        const std::string rate = ",framerate=" + std::to_string(m_options.framesPerSecond) + "/1";
        // The test picture with the camera's name and clock, and the band
        // drawn into its bottom eighth (DrawBand, on the "band" element's
        // pictures: one live source, so every picture the camera sends is
        // whole, its first ones too); 4:2:0 into the encoder, as every
        // player takes it. The valve lets a test freeze a camera without
        // closing its connection. One slice per picture (no sliced
        // threads) and the parameter sets once before every key frame:
        // players built on ffmpeg take a picture whose slices are split by
        // SPS/PPS for a corrupt one. The rate and key-frame distance are set
        // per client from the camera's primary stream record.
        return "( videotestsrc is-live=true pattern=smpte ! capsfilter name=caps "
               "caps=\"video/x-raw,format=BGRx," +
               size + rate +
               "\" ! textoverlay name=label valignment=top halignment=left "
               "font-desc=\"Sans 24\" ! clockoverlay valignment=top halignment=right "
               "font-desc=\"Sans 24\" time-format=\"%H:%M:%S\" ! videobalance name=balance ! "
               "identity name=band ! valve name=valve ! videoconvert ! video/x-raw,format=I420 ! "
               "x264enc name=encoder tune=zerolatency "
               "sliced-threads=false threads=1 speed-preset=ultrafast bitrate=1024 key-int-max=" +
               std::to_string(m_options.framesPerSecond) +
               " ! h264parse ! rtph264pay name=pay0 pt=96 config-interval=-1 )";
    }

    // The stream follows the primary stream record within what a test
    // picture can show: 1 to 30 frames per second, key frames 1 to 99 frames apart.
    void applyStream(GstElement* bin, const CameraView& view) const {
        const int rate = view.frameRate >= 1 && view.frameRate <= 30 ? view.frameRate
                                                                     : m_options.framesPerSecond;
        const int interval =
            view.keyInterval >= 1 && view.keyInterval <= 99 ? view.keyInterval : rate;
        if (GstElement* caps = gst_bin_get_by_name(GST_BIN(bin), "caps")) {
            GstCaps* wanted = gst_caps_new_simple("video/x-raw", "format", G_TYPE_STRING, "BGRx",
                                                  "width", G_TYPE_INT, m_options.width, "height",
                                                  G_TYPE_INT, m_options.height, "framerate",
                                                  GST_TYPE_FRACTION, rate, 1, nullptr);
            g_object_set(caps, "caps", wanted, nullptr);
            gst_caps_unref(wanted);
            gst_object_unref(caps);
        }
        if (GstElement* encoder = gst_bin_get_by_name(GST_BIN(bin), "encoder")) {
            g_object_set(encoder, "key-int-max", static_cast<guint>(interval), nullptr);
            gst_object_unref(encoder);
        }
    }

    bool open(const CameraKey& key, const CameraView& view, Served& served) {
        GstRTSPServer* server = gst_rtsp_server_new();
        gst_rtsp_server_set_address(server, view.ip.c_str());
        const std::string port = std::to_string(view.rtspPort);
        gst_rtsp_server_set_service(server, port.c_str());

        GstRTSPAuth* auth = gst_rtsp_auth_new();
        gst_rtsp_auth_set_supported_methods(auth, GST_RTSP_AUTH_DIGEST);
        gst_rtsp_auth_set_realm(auth, "Orvantix Camera");
        addDigest(auth, view.password);
        gst_rtsp_server_set_auth(server, auth);

        GstRTSPMediaFactory* factory = gst_rtsp_media_factory_new();
        const std::string launch = launchLine();
        gst_rtsp_media_factory_set_launch(factory, launch.c_str());
        // One pipeline per watching client, released when it leaves.
        gst_rtsp_media_factory_set_shared(factory, FALSE);
        gst_rtsp_media_factory_add_role(factory, kRole, GST_RTSP_PERM_MEDIA_FACTORY_ACCESS,
                                        G_TYPE_BOOLEAN, TRUE, GST_RTSP_PERM_MEDIA_FACTORY_CONSTRUCT,
                                        G_TYPE_BOOLEAN, TRUE, nullptr);
        g_signal_connect_data(factory, "media-configure", G_CALLBACK(&Impl::onMediaConfigure),
                              new FactoryContext{this, key, BandColour(view.id)},
                              &Impl::freeContext, GConnectFlags{});
        GstRTSPMountPoints* mounts = gst_rtsp_server_get_mount_points(server);
        gst_rtsp_mount_points_add_factory(mounts, kPath, factory);
        g_object_unref(mounts);

        const guint source = gst_rtsp_server_attach(server, m_context);
        if (source == 0) {
            g_object_unref(auth);
            g_object_unref(server);
            return false;
        }
        served = {key, view.ip, view.rtspPort, view.password, server, auth, source};
        return true;
    }

    void close(Served& served) {
        gst_rtsp_server_client_filter(served.server, &dropClient, nullptr);
        if (GSource* source = g_main_context_find_source_by_id(m_context, served.source)) {
            g_source_destroy(source);
        }
        g_object_unref(served.auth);
        g_object_unref(served.server);
    }

    std::vector<GstRTSPServer*> servers() const {
        std::lock_guard guard(m_lock);
        std::vector<GstRTSPServer*> out;
        for (const auto& [key, served] : m_served) {
            out.push_back(GST_RTSP_SERVER(g_object_ref(served.server)));
        }
        return out;
    }

    static void freeContext(gpointer data, GClosure*) { delete static_cast<FactoryContext*>(data); }

    static void release(Active& one) {
        gst_object_unref(one.balance);
        gst_object_unref(one.valve);
    }

    // The camera's band over the bottom eighth of each picture (BGRx, rows
    // width * 4 bytes apart, as the "caps" filter makes them).
    struct Band {
        std::uint32_t colour = 0;
    };
    static void freeBand(gpointer data) { delete static_cast<Band*>(data); }
    static GstPadProbeReturn onPicture(GstPad* pad, GstPadProbeInfo* info, gpointer data) {
        int width = 0;
        int height = 0;
        if (GstCaps* caps = gst_pad_get_current_caps(pad)) {
            const GstStructure* format = gst_caps_get_structure(caps, 0);
            gst_structure_get_int(format, "width", &width);
            gst_structure_get_int(format, "height", &height);
            gst_caps_unref(caps);
        }
        GstBuffer* buffer = gst_buffer_make_writable(gst_pad_probe_info_get_buffer(info));
        GST_PAD_PROBE_INFO_DATA(info) = buffer;
        GstMapInfo map;
        if (width <= 0 || height <= 0 || !gst_buffer_map(buffer, &map, GST_MAP_WRITE)) {
            return GST_PAD_PROBE_OK;
        }
        const std::size_t row = static_cast<std::size_t>(width) * 4;
        const int bandHeight = std::max(2, height / kBandDivisor);
        const std::uint32_t colour = static_cast<Band*>(data)->colour;
        const std::uint8_t pixel[4] = {static_cast<std::uint8_t>(colour),
                                       static_cast<std::uint8_t>(colour >> 8),
                                       static_cast<std::uint8_t>(colour >> 16), 0xFF};
        for (int y = height - bandHeight; y < height; ++y) {
            const std::size_t start = row * static_cast<std::size_t>(y);
            if (start + row > map.size) {
                break;
            }
            for (std::size_t x = 0; x < row; x += 4) {
                std::copy_n(pixel, 4, map.data + start + x);
            }
        }
        gst_buffer_unmap(buffer, &map);
        return GST_PAD_PROBE_OK;
    }
    static void drawBand(GstElement* bin, std::uint32_t colour) {
        GstElement* band = gst_bin_get_by_name(GST_BIN(bin), "band");
        if (band == nullptr) {
            return;
        }
        if (GstPad* out = gst_element_get_static_pad(band, "src")) {
            gst_pad_add_probe(out, GST_PAD_PROBE_TYPE_BUFFER, &Impl::onPicture, new Band{colour},
                              &Impl::freeBand);
            gst_object_unref(out);
        }
        gst_object_unref(band);
    }

    static void onMediaConfigure(GstRTSPMediaFactory*, GstRTSPMedia* media, gpointer data) {
        auto* context = static_cast<FactoryContext*>(data);
        Impl* impl = context->impl;
        GstElement* bin = gst_rtsp_media_get_element(media);
        drawBand(bin, context->band);
        GstElement* label = gst_bin_get_by_name(GST_BIN(bin), "label");
        Active active{media, context->key, gst_bin_get_by_name(GST_BIN(bin), "balance"),
                      gst_bin_get_by_name(GST_BIN(bin), "valve")};
        CameraView view;
        if (readCamera(impl->m_host, context->key, view)) {
            g_object_set(label, "text", view.name.c_str(), nullptr);
            applyPicture(active.balance, view);
            impl->applyStream(bin, view);
        }
        gst_object_unref(bin);
        gst_object_unref(label);
        {
            std::lock_guard guard(impl->m_lock);
            g_object_set(active.valve, "drop", impl->m_frozen.count(context->key) ? TRUE : FALSE,
                         nullptr);
            impl->m_active.push_back(active);
        }
        g_signal_connect(media, "unprepared", G_CALLBACK(&Impl::onUnprepared), impl);
        g_object_weak_ref(G_OBJECT(media), &Impl::onMediaGone, impl);
    }

    void forget(GstRTSPMedia* media) {
        std::vector<Active> gone;
        {
            std::lock_guard guard(m_lock);
            auto split =
                std::stable_partition(m_active.begin(), m_active.end(),
                                      [media](const Active& a) { return a.media != media; });
            gone.assign(split, m_active.end());
            m_active.erase(split, m_active.end());
        }
        for (Active& one : gone) {
            release(one);
        }
    }

    static void onUnprepared(GstRTSPMedia* media, gpointer impl) {
        static_cast<Impl*>(impl)->forget(media);
    }

    static void onMediaGone(gpointer impl, GObject* media) {
        static_cast<Impl*>(impl)->forget(reinterpret_cast<GstRTSPMedia*>(media));
    }

    static gboolean onTick(gpointer data) {
        auto* impl = static_cast<Impl*>(data);
        impl->refreshPictures();
        const auto every =
            std::max<long>(1, impl->m_options.syncInterval / impl->m_options.pictureInterval);
        if (++impl->m_ticks % every == 0) {
            impl->sync(false);
        }
        return G_SOURCE_CONTINUE;
    }

    // The picture record changes through the device API at any time; the
    // watched streams follow it.
    void refreshPictures() {
        std::vector<std::pair<CameraKey, GstElement*>> balances;
        {
            std::lock_guard guard(m_lock);
            for (const Active& one : m_active) {
                balances.emplace_back(one.key, GST_ELEMENT(gst_object_ref(one.balance)));
            }
        }
        for (auto& [key, balance] : balances) {
            CameraView view;
            if (readCamera(m_host, key, view)) {
                applyPicture(balance, view);
            }
            gst_object_unref(balance);
        }
    }

    DeviceApiHost& m_host;
    RtspOptions m_options;
    GMainContext* m_context = nullptr;
    GMainLoop* m_loop = nullptr;
    std::thread m_thread;
    guint m_timer = 0;
    long m_ticks = 0;
    std::mutex m_syncLock;
    mutable std::mutex m_lock;
    std::map<CameraKey, Served> m_served;
    std::vector<Active> m_active;
    std::set<CameraKey> m_frozen;
};

RtspServer::RtspServer(DeviceApiHost& host, RtspOptions options)
    : m_impl(std::make_unique<Impl>(host, options)) {}
RtspServer::~RtspServer() = default;
bool RtspServer::start() {
    return m_impl->start();
}
bool RtspServer::sync() {
    return m_impl->sync();
}
void RtspServer::stop() {
    m_impl->stop();
}
int RtspServer::activeStreams() const {
    return m_impl->activeStreams();
}
void RtspServer::setFrozen(const CameraKey& key, bool frozen) {
    m_impl->setFrozen(key, frozen);
}

} // namespace camsim::rtsp

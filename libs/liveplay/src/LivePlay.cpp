#include "liveplay/LivePlay.h"

#include <X11/Xlib.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/video/videooverlay.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

namespace liveplay {

const char* ErrorText(Error error) {
    switch (error) {
    case Error::Ok:
        return "no error";
    case Error::Unavailable:
        return "live video is not available on this computer (GStreamer, its H.264 decoder or "
               "an X11 video sink is missing)";
    case Error::BadArgument:
        return "no window or no RTSP address";
    case Error::NotAuthorized:
        return "the camera refused the user name or password";
    case Error::Network:
        return "the camera's video stream could not be reached or broke off";
    case Error::Timeout:
        return "no picture arrived in time";
    case Error::Stream:
        return "the camera's video stream could not be read";
    case Error::Internal:
        break;
    }
    return "internal error";
}

namespace {

using Clock = std::chrono::steady_clock;

struct GstObjectDeleter {
    void operator()(gpointer object) const {
        if (object != nullptr) {
            gst_object_unref(object);
        }
    }
};
using ElementPtr = std::unique_ptr<GstElement, GstObjectDeleter>;
using BusPtr = std::unique_ptr<GstBus, GstObjectDeleter>;
using PadPtr = std::unique_ptr<GstPad, GstObjectDeleter>;

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

// ximagesink draws at the stream's own size, so the picture is scaled to
// the window's size before it; a resize of the window restarts the view.
bool windowSize(std::uint64_t window, unsigned& width, unsigned& height) {
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        return false;
    }
    Window root = 0;
    int x = 0;
    int y = 0;
    unsigned border = 0;
    unsigned depth = 0;
    const Status ok = XGetGeometry(display, static_cast<Window>(window), &root, &x, &y, &width,
                                   &height, &border, &depth);
    XCloseDisplay(display);
    return ok != 0 && width > 0 && height > 0;
}

// Under a virtual X server there is no Xv port; xvimagesink then refuses to
// start and the plain X image sink takes over.
ElementPtr makeSink() {
    for (const char* factory : {"xvimagesink", "ximagesink"}) {
        GstElement* sink = gst_element_factory_make(factory, "sink");
        if (sink == nullptr) {
            continue;
        }
        gst_object_ref_sink(sink);
        if (gst_element_set_state(sink, GST_STATE_READY) != GST_STATE_CHANGE_FAILURE) {
            return ElementPtr(sink);
        }
        gst_element_set_state(sink, GST_STATE_NULL);
        gst_object_unref(sink);
    }
    return nullptr;
}

Error errorOf(const GError* error) {
    if (error != nullptr && error->domain == GST_RESOURCE_ERROR &&
        error->code == GST_RESOURCE_ERROR_NOT_AUTHORIZED) {
        return Error::NotAuthorized;
    }
    if (error != nullptr && error->domain == GST_RESOURCE_ERROR) {
        return Error::Network;
    }
    return Error::Stream;
}

class LiveView {
public:
    explicit LiveView(Timing timing) : m_timing(timing) {}
    LiveView(const LiveView&) = delete;
    LiveView& operator=(const LiveView&) = delete;

    ~LiveView() {
        m_stop = true;
        if (m_monitor.joinable()) {
            m_monitor.join();
        }
        if (m_pipeline) {
            gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
        }
    }

    // Into a native window: scaled to the window's size as it is now.
    Error start(const Source& source, std::uint64_t window) {
        const Error made = makePipeline(source);
        if (made != Error::Ok) {
            return made;
        }
        ElementPtr sink = makeSink();
        if (!sink) {
            return Error::Unavailable;
        }
        unsigned width = 0;
        unsigned height = 0;
        if (windowSize(window, width, height)) {
            setSize(static_cast<int>(width), static_cast<int>(height), nullptr);
        }
        g_object_set(sink.get(), "sync", FALSE, nullptr);
        gst_video_overlay_set_window_handle(GST_VIDEO_OVERLAY(sink.get()),
                                            static_cast<guintptr>(window));
        return play(std::move(sink));
    }

    // Into the caller's callbacks: 32-bit pixels at the target's size.
    Error start(const Source& source, FrameTarget target) {
        m_target = std::move(target);
        const Error made = makePipeline(source);
        if (made != Error::Ok) {
            return made;
        }
        GstElement* appSink = gst_element_factory_make("appsink", "sink");
        if (appSink == nullptr) {
            return Error::Unavailable;
        }
        ElementPtr sink(GST_ELEMENT(gst_object_ref_sink(appSink)));
        setSize(m_target.width, m_target.height, "BGRx");
        // The newest picture only: a slow drawer drops pictures, never
        // piles them up.
        g_object_set(sink.get(), "sync", FALSE, "max-buffers", 1u, "drop", TRUE, "emit-signals",
                     FALSE, nullptr);
        GstAppSinkCallbacks callbacks{};
        callbacks.new_sample = &LiveView::onSample;
        gst_app_sink_set_callbacks(GST_APP_SINK(sink.get()), &callbacks, this, nullptr);
        return play(std::move(sink));
    }

private:
    enum class Phase { Starting, Playing, Ended };

    Error makePipeline(const Source& source) {
        GError* parseError = nullptr;
        // TCP inside RTSP: one connection that ends when the camera goes
        // away, so a vanished camera shows as an error instead of silence.
        GstElement* bin = gst_parse_launch(
            "rtspsrc name=src latency=100 protocols=tcp ! rtph264depay ! h264parse name=parse ! "
            "avdec_h264 ! videoconvert ! videoscale ! capsfilter name=size",
            &parseError);
        if (parseError != nullptr) {
            g_error_free(parseError);
            if (bin != nullptr) {
                gst_object_unref(bin);
            }
            return Error::Unavailable;
        }
        m_pipeline.reset(bin);
        // The stream's bytes as they arrive, before decoding: its bit rate.
        ElementPtr parse(gst_bin_get_by_name(GST_BIN(bin), "parse"));
        PadPtr parsed(gst_element_get_static_pad(parse.get(), "sink"));
        gst_pad_add_probe(parsed.get(), GST_PAD_PROBE_TYPE_BUFFER, &LiveView::onStreamBytes, this,
                          nullptr);
        ElementPtr src(gst_bin_get_by_name(GST_BIN(bin), "src"));
        g_object_set(src.get(), "location", source.url.c_str(), "user-id", source.user.c_str(),
                     "user-pw", source.password.c_str(), "tcp-timeout",
                     static_cast<guint64>(2'000'000), nullptr);
        return Error::Ok;
    }

    // The pictures' size (0 x 0: the stream's own) and pixel format.
    void setSize(int width, int height, const char* format) {
        GstCaps* caps = gst_caps_new_empty_simple("video/x-raw");
        if (width > 0 && height > 0) {
            gst_caps_set_simple(caps, "width", G_TYPE_INT, width, "height", G_TYPE_INT, height,
                                "pixel-aspect-ratio", GST_TYPE_FRACTION, 1, 1, nullptr);
        }
        if (format != nullptr) {
            gst_caps_set_simple(caps, "format", G_TYPE_STRING, format, nullptr);
        }
        ElementPtr size(gst_bin_get_by_name(GST_BIN(m_pipeline.get()), "size"));
        g_object_set(size.get(), "caps", caps, nullptr);
        gst_caps_unref(caps);
    }

    // Adds the sink, starts the pipeline and waits for its first picture.
    Error play(ElementPtr sink) {
        GstElement* bin = m_pipeline.get();
        ElementPtr size(gst_bin_get_by_name(GST_BIN(bin), "size"));
        // The bin takes a reference of its own; ours goes with `sink`.
        gst_bin_add(GST_BIN(bin), sink.get());
        if (!gst_element_link(size.get(), sink.get())) {
            return Error::Internal;
        }
        PadPtr pad(gst_element_get_static_pad(sink.get(), "sink"));
        gst_pad_add_probe(pad.get(), GST_PAD_PROBE_TYPE_BUFFER, &LiveView::onFrame, this, nullptr);

        m_monitor = std::thread([this] { monitor(); });
        if (gst_element_set_state(bin, GST_STATE_PLAYING) == GST_STATE_CHANGE_FAILURE) {
            return Error::Network;
        }
        std::unique_lock lock(m_lock);
        const bool decided =
            m_changed.wait_for(lock, m_timing.start, [this] { return m_phase != Phase::Starting; });
        if (!decided) {
            return Error::Timeout;
        }
        return m_phase == Phase::Playing ? Error::Ok : m_error;
    }

    static GstPadProbeReturn onStreamBytes(GstPad*, GstPadProbeInfo* info, gpointer self) {
        if (GstBuffer* buffer = GST_PAD_PROBE_INFO_BUFFER(info)) {
            static_cast<LiveView*>(self)->m_streamBytes += gst_buffer_get_size(buffer);
        }
        return GST_PAD_PROBE_OK;
    }

    static GstFlowReturn onSample(GstAppSink* sink, gpointer self) {
        auto* view = static_cast<LiveView*>(self);
        GstSample* sample = gst_app_sink_pull_sample(sink);
        if (sample == nullptr) {
            return GST_FLOW_EOS;
        }
        GstBuffer* buffer = gst_sample_get_buffer(sample);
        const GstStructure* format = gst_caps_get_structure(gst_sample_get_caps(sample), 0);
        Frame frame;
        gst_structure_get_int(format, "width", &frame.width);
        gst_structure_get_int(format, "height", &frame.height);
        GstMapInfo map{};
        if (buffer != nullptr && frame.width > 0 && frame.height > 0 &&
            gst_buffer_map(buffer, &map, GST_MAP_READ)) {
            // Rows of BGRx are padded to four bytes, which they are already.
            frame.stride = frame.width * 4;
            if (map.size >= static_cast<gsize>(frame.stride) * static_cast<gsize>(frame.height) &&
                view->m_target.frame) {
                frame.pixels = map.data;
                frame.streamBytes = view->m_streamBytes.load();
                view->m_target.frame(frame);
            }
            gst_buffer_unmap(buffer, &map);
        }
        gst_sample_unref(sample);
        return GST_FLOW_OK;
    }

    static GstPadProbeReturn onFrame(GstPad* /*pad*/, GstPadProbeInfo* /*info*/, gpointer self) {
        auto* view = static_cast<LiveView*>(self);
        view->m_lastFrame = Clock::now().time_since_epoch().count();
        if (!view->m_sawFrame.exchange(true)) {
            std::lock_guard lock(view->m_lock);
            if (view->m_phase == Phase::Starting) {
                view->m_phase = Phase::Playing;
            }
            view->m_changed.notify_all();
        }
        return GST_PAD_PROBE_OK;
    }

    void end(Error error) {
        bool played = false;
        {
            std::lock_guard lock(m_lock);
            if (m_phase == Phase::Starting) {
                m_error = error;
            }
            played = m_phase == Phase::Playing;
            m_phase = Phase::Ended;
            m_changed.notify_all();
        }
        if (played && m_target.ended) {
            m_target.ended(error);
        }
    }

    // Watches the bus and the frame clock until stopped; an error, the end
    // of the stream or a camera that stopped sending ends the pipeline here,
    // so the window thread never waits on a dead stream.
    void monitor() {
        BusPtr bus(gst_element_get_bus(m_pipeline.get()));
        while (!m_stop) {
            GstMessage* message = gst_bus_timed_pop_filtered(
                bus.get(), 100 * GST_MSECOND,
                static_cast<GstMessageType>(GST_MESSAGE_ERROR | GST_MESSAGE_EOS));
            Error error = Error::Ok;
            bool ended = false;
            if (message != nullptr) {
                ended = true;
                error = Error::Network;
                if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
                    GError* gerror = nullptr;
                    gst_message_parse_error(message, &gerror, nullptr);
                    error = errorOf(gerror);
                    g_error_free(gerror);
                }
                gst_message_unref(message);
            } else if (m_sawFrame) {
                const auto last = Clock::time_point(Clock::duration(m_lastFrame.load()));
                ended = Clock::now() - last > m_timing.stall;
                error = Error::Network;
            }
            if (ended) {
                gst_element_set_state(m_pipeline.get(), GST_STATE_NULL);
                end(error);
                return;
            }
        }
    }

    const Timing m_timing;
    FrameTarget m_target;
    ElementPtr m_pipeline;
    std::thread m_monitor;
    std::atomic<bool> m_stop{false};
    std::atomic<bool> m_sawFrame{false};
    std::atomic<std::uint64_t> m_streamBytes{0};
    std::atomic<Clock::rep> m_lastFrame{0};
    std::mutex m_lock;
    std::condition_variable m_changed;
    Phase m_phase = Phase::Starting;
    Error m_error = Error::Ok;
};

} // namespace

struct CViews::Impl {
    Timing timing;
    std::mutex lock;
    std::map<std::uint64_t, std::unique_ptr<LiveView>> views;

    std::unique_ptr<LiveView> take(std::uint64_t key) {
        std::lock_guard guard(lock);
        auto found = views.find(key);
        if (found == views.end()) {
            return nullptr;
        }
        auto view = std::move(found->second);
        views.erase(found);
        return view;
    }
};

CViews::CViews(Timing timing) : m_impl(std::make_unique<Impl>()) {
    m_impl->timing = timing;
}

CViews::~CViews() {
    StopAll();
}

Error CViews::Start(std::uint64_t key, const Source& source, std::uint64_t window) {
    // Outside the lock: a view's end waits for its pipeline, and other
    // keys keep starting and stopping meanwhile.
    m_impl->take(key).reset();
    if (window == 0 || !source.url.starts_with("rtsp")) {
        return Error::BadArgument;
    }
    if (!initGstreamer()) {
        return Error::Unavailable;
    }
    auto view = std::make_unique<LiveView>(m_impl->timing);
    const Error error = view->start(source, window);
    if (error != Error::Ok) {
        return error; // the view's destructor releases what was made
    }
    std::lock_guard guard(m_impl->lock);
    m_impl->views[key] = std::move(view);
    return Error::Ok;
}

Error CViews::Start(std::uint64_t key, const Source& source, FrameTarget target) {
    m_impl->take(key).reset();
    if (!target.frame || !source.url.starts_with("rtsp")) {
        return Error::BadArgument;
    }
    if (!initGstreamer()) {
        return Error::Unavailable;
    }
    auto view = std::make_unique<LiveView>(m_impl->timing);
    const Error error = view->start(source, std::move(target));
    if (error != Error::Ok) {
        return error;
    }
    std::lock_guard guard(m_impl->lock);
    m_impl->views[key] = std::move(view);
    return Error::Ok;
}

void CViews::Stop(std::uint64_t key) {
    m_impl->take(key).reset();
}

void CViews::StopAll() {
    std::map<std::uint64_t, std::unique_ptr<LiveView>> views;
    {
        std::lock_guard guard(m_impl->lock);
        views.swap(m_impl->views);
    }
}

} // namespace liveplay

// orvantix-camsim: N virtual cameras behind one network interface, answering
// the discovery protocol and serving the device API over HTTP. See
// docs/camsim.md.

#include "api/Control.h"
#include "api/StoreDeviceApiHost.h"
#include "camsim/httpapi/CameraConfig.h"
#include "camsim/httpapi/DeviceApiServer.h"
#include "camsim/httpapi/TlsIdentity.h"
#include "camsim/rtsp/RtspServer.h"
#include "core/AddressManager.h"
#include "core/CameraStore.h"
#include "core/Config.h"
#include "core/Responder.h"
#include "onvif/OnvifServer.h"
#include "onvif/OnvifService.h"
#include "onvif/WsDiscovery.h"

#include "qvsp/wire/Capture.h"
#include "qvsp/wire/UniqueFd.h"

#include <openssl/crypto.h>
#include <poll.h>
#include <sys/signalfd.h>

#include <atomic>
#include <csignal>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <queue>
#include <vector>

using namespace camsim;
using namespace qvsp::wire;

namespace {

constexpr const char* kFilter = "ether proto 0x0809 and len == 260";

int fail(int code, const std::string& message) {
    std::cerr << "orvantix-camsim: " << message << '\n';
    return code;
}

struct Later {
    bool operator()(const Outgoing& a, const Outgoing& b) const { return a.due > b.due; }
};

class Loop {
public:
    Loop(pcap_t* pcap, Responder& responder, int signalFd, bool verbose)
        : m_pcap(pcap), m_responder(responder), m_signalFd(signalFd), m_verbose(verbose) {}

    int run() {
        const int captureFd = pcap_get_selectable_fd(m_pcap);
        for (;;) {
            sendDue();
            pollfd fds[2] = {{captureFd, POLLIN, 0}, {m_signalFd, POLLIN, 0}};
            if (::poll(fds, 2, timeout()) < 0 && errno != EINTR)
                return fail(1, std::string("poll: ") + std::strerror(errno));
            if (fds[1].revents & POLLIN)
                return 0;
            if (fds[0].revents & (POLLERR | POLLHUP | POLLNVAL))
                return fail(1, "the interface went away");
            if ((fds[0].revents & POLLIN) &&
                pcap_dispatch(m_pcap, 512, &Loop::onPacket, reinterpret_cast<u_char*>(this)) < 0)
                return fail(1, std::string("capture: ") + pcap_geterr(m_pcap));
        }
    }

private:
    static void onPacket(u_char* self, const pcap_pkthdr* header, const u_char* data) {
        auto* loop = reinterpret_cast<Loop*>(self);
        Frame f;
        const auto error = header->caplen == header->len
                               ? decode(std::span<const std::uint8_t>(data, header->caplen), f)
                               : DecodeError::FrameSize;
        if (error != DecodeError::None) {
            if (loop->m_verbose)
                std::cerr << "dropped frame: " << describe(error) << '\n';
            return;
        }
        std::vector<Outgoing> out;
        // One odd frame must not take every camera down.
        try {
            loop->m_responder.handle(f, Clock::now(), out);
        } catch (const std::exception& e) {
            std::cerr << "orvantix-camsim: a frame was not answered: " << e.what() << '\n';
            return;
        }
        for (auto& o : out)
            loop->m_queue.push(std::move(o));
    }

    void sendDue() {
        const auto now = Clock::now();
        while (!m_queue.empty() && m_queue.top().due <= now) {
            if (!sendFrame(m_pcap, m_queue.top().bytes) && m_verbose)
                std::cerr << "send failed: " << pcap_geterr(m_pcap) << '\n';
            m_queue.pop();
        }
    }

    int timeout() const {
        if (m_queue.empty())
            return -1;
        const auto left = m_queue.top().due - Clock::now();
        return static_cast<int>(
            std::max<long long>(0, std::chrono::ceil<std::chrono::milliseconds>(left).count()));
    }

    pcap_t* m_pcap;
    Responder& m_responder;
    int m_signalFd;
    bool m_verbose;
    std::priority_queue<Outgoing, std::vector<Outgoing>, Later> m_queue;
};

} // namespace

int main(int argc, char** argv) {
    // Threads that used TLS (the job engine's pool: Qt does not join its
    // threads) may still be running OpenSSL's per-thread cleanup while the
    // program exits, and OpenSSL's cleanup at exit would free the locks
    // under them: a crash after the work is done. The system takes the
    // memory back anyway. First, before anything else starts OpenSSL.
    OPENSSL_init_crypto(OPENSSL_INIT_NO_ATEXIT, nullptr);
    nlohmann::json settings = nlohmann::json::object();
    std::string configPath;
    if (const auto error = applyArguments(argc, argv, settings, configPath); !error.empty())
        return fail(2, error + "\nusage: orvantix-camsim --interface IF --state FILE "
                               "[--config FILE] [--cameras N] [--first-ip A] [--last-ip A] "
                               "[--ready-file FILE] [--reboot-silence-ms MS] "
                               "[--control-socket PATH] [--verbose]");
    if (!configPath.empty()) {
        std::ifstream in(configPath);
        if (!in)
            return fail(2, "cannot read configuration " + configPath);
        auto file = nlohmann::json::parse(in, nullptr, false, true);
        if (file.is_discarded() || !file.is_object())
            return fail(2, "configuration " + configPath + " is not a JSON object");
        // Command-line values win over the file's.
        file.merge_patch(settings);
        settings = std::move(file);
    }
    const auto parsed = parseConfig(settings);
    if (!parsed.config)
        return fail(2, "bad configuration: " + parsed.error);
    const SimConfig& config = *parsed.config;

    auto loaded = CameraStore::load(config.stateFile);
    if (!loaded.error.empty())
        return fail(2, loaded.error);
    const bool fresh = !loaded.cameras;
    auto cameras = fresh ? makeCameras(config) : std::move(*loaded.cameras);
    // Every camera has its TLS key and certificate from its first start on
    // and keeps them (a state file of an earlier simulator gets them now),
    // all written in one go: the maker's for its device API and ONVIF, the
    // other makers' for ONVIF, each on its web server's one TLS port.
    bool identities = false;
    for (Camera& c : cameras) {
        int port = config.tlsPort;
        if (!c.maker.empty()) {
            port = 443;
            for (const OnvifModel& m : config.onvifModels)
                if (m.maker == c.maker && m.model == c.model)
                    port = m.tlsPort;
        }
        identities =
            tls::ensureIdentity(c.deviceConfig, tls::commonNameFor(macText(c.mac)), port) ||
            identities;
    }
    // Every camera's settings in their full shape from the start, so that a
    // call that only reads (a client's details of a thousand cameras) never
    // writes the state file.
    bool shaped = false;
    for (Camera& c : cameras) {
        const nlohmann::json before = c.deviceConfig;
        api::ensureDefaults(c.deviceConfig, c.net.httpPort);
        shaped = shaped || c.deviceConfig != before;
    }
    CameraStore store(std::move(cameras), config.stateFile);
    std::string error;
    if ((fresh || identities || shaped) && !store.save(error))
        return fail(1, error);

    // Signals arrive as readable data, so the loop ends cleanly and the
    // addresses are taken off the interface.
    sigset_t signals;
    sigemptyset(&signals);
    sigaddset(&signals, SIGINT);
    sigaddset(&signals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    UniqueFd signalFd(::signalfd(-1, &signals, SFD_CLOEXEC));

    auto addresses = AddressManager::open(config.interfaceName, error);
    if (!addresses)
        return fail(1, error);
    for (const Camera& c : store.snapshot()) {
        if (!addresses->acquire(c.net.ip, prefixLength(c.net.netmask).value_or(32), error))
            return fail(1, error);
    }
    store.setAddressHook([&](const Camera& before, const Camera& after) {
        std::string moveError;
        if (!addresses->move(before, after, moveError)) {
            std::cerr << "orvantix-camsim: " << moveError << '\n';
            return false;
        }
        return true;
    });

    CaptureOptions options;
    options.filter = kFilter;
    options.inboundOnly = true;
    const auto pcap = openCapture(config.interfaceName, options, error);
    if (!pcap)
        return fail(1, "cannot capture on " + config.interfaceName + ": " + error);

    const auto behaviours = makeBehaviours(config, store.size());
    Responder responder(store, behaviours, config.answerJitter, config.lossRate, config.seed,
                        Clock::now());

    // The ONVIF face works on the same store: a change through either face
    // shows through the other.
    onvif::OnvifOptions onvifOptions;
    onvifOptions.rebootSilence = config.rebootSilence;
    onvifOptions.nonceLifetime = config.nonceLifetime;
    for (const Behaviour& b : behaviours)
        onvifOptions.quirks.push_back(b.onvif);
    // Set once the device API server exists: its faults and reboots take
    // the ONVIF service of the camera down as well.
    std::function<bool(std::size_t)> webDown;
    onvifOptions.down = [&webDown](std::size_t camera) { return webDown && webDown(camera); };
    onvif::OnvifService onvifService(store, onvifOptions);
    onvif::DiscoveryResponder discoveryResponder(store, onvifService, config.seed);

    // A camera rebooting through its API falls silent on the wire and in
    // its video as well.
    camsim::rtsp::RtspServer* video = nullptr;
    StoreDeviceApiHost host(store, [&](std::size_t camera, std::chrono::milliseconds ms) {
        responder.silenceUntil(camera, Clock::now() + ms);
        onvifService.startReboot(camera);
        if (video != nullptr)
            video->sync();
    });
    // The video of every camera, the other makers' included.
    StoreDeviceApiHost videoHost(store, {}, true);
    DeviceApiOptions apiOptions;
    // Only the lab link reaches the cameras' API, as it reaches their frames.
    apiOptions.bindDevice = config.interfaceName;
    apiOptions.rebootSilence = config.rebootSilence;
    apiOptions.nonceLifetime = config.nonceLifetime;
    apiOptions.defaultTlsPort = config.tlsPort;
    DeviceApiServer server(host, apiOptions);
    webDown = [&server, &host](std::size_t camera) { return server.isSilent(host.keyOf(camera)); };
    // ONVIF over HTTPS: the camera's TLS port is its web server's, the
    // device API's listener passes on what is POSTed outside /api/. Until the ONVIF server runs
    // nobody answers there.
    std::atomic<onvif::OnvifServer*> onvifOverTls{nullptr};
    if (config.onvif)
        server.setHttpsTenant(onvif::kOnvifMaxRequest,
                              [&onvifOverTls](const HttpsTenantRequest& request) {
                                  onvif::OnvifServer* onvif = onvifOverTls.load();
                                  if (onvif == nullptr) {
                                      HttpsTenantReply none;
                                      none.drop = true;
                                      return none;
                                  }
                                  return onvif->serveTls(request);
                              });

    // Faults from the configuration hold from the start and follow the
    // camera's MAC, like those ordered over the control channel.
    // A silent camera is gone from the network: its address leaves the
    // interface (unless another camera shares it), so a connection attempt
    // goes unanswered and costs the client its connect timeout, as with a
    // camera unplugged. Under the store's lock, like every address move.
    std::vector<bool> gone(store.size(), false);
    Control control(store, host, server, [&](std::size_t camera, const FaultPlan& plan) {
        responder.setMuted(camera, plan.silent);
        discoveryResponder.setMuted(camera, plan.silent);
        store.viewCamera(camera, [&](const Camera& c) {
            if (gone[camera] == plan.silent)
                return;
            gone[camera] = plan.silent;
            const int prefix = prefixLength(c.net.netmask).value_or(32);
            std::string ignored;
            if (plan.silent)
                addresses->release(c.net.ip, prefix);
            else if (!addresses->acquire(c.net.ip, prefix, ignored))
                std::cerr << "orvantix-camsim: " << ignored << '\n';
        });
        if (video != nullptr)
            video->sync();
    });
    // Another maker's camera reboots through ONVIF only.
    control.setRebootingElsewhere(
        [&onvifService](std::size_t camera) { return onvifService.silent(camera); });
    for (const auto& [number, behaviour] : config.overrides) {
        if (behaviour.faults.is_null() || static_cast<std::size_t>(number) > store.size())
            continue;
        const auto plan = faultPlanFromJson(behaviour.faults, error);
        if (!plan)
            return fail(2, "bad configuration: \"cameras_override." + std::to_string(number) +
                               ".faults\": " + error);
        control.setFaults(static_cast<std::size_t>(number) - 1, *plan);
    }

    if (!server.start())
        return fail(1, "cannot serve the device API on " + config.interfaceName +
                           " (is an HTTP port of a camera taken?)");
    // Live video at each camera's address and RTSP port, silent with the camera.
    camsim::rtsp::RtspOptions videoOptions;
    videoOptions.silent = [&server, &videoHost, &onvifService](const CameraKey& key) {
        if (server.isSilent(key))
            return true;
        const auto index = videoHost.indexOf(key);
        return index && onvifService.silent(*index);
    };
    camsim::rtsp::RtspServer rtspServer(videoHost, videoOptions);
    video = &rtspServer;
    if (!rtspServer.start())
        std::cerr << "orvantix-camsim: live video is not served on every camera "
                     "(GStreamer element missing or an RTSP port taken)\n";
    std::unique_ptr<onvif::WsDiscovery> discovery;
    std::unique_ptr<onvif::OnvifServer> onvifServer;
    // A modify request may have moved a camera to a port nobody listens on.
    responder.setChangedHook([&](std::size_t camera) {
        if (!server.sync())
            std::cerr << "orvantix-camsim: cannot listen on a camera's new HTTP port\n";
        rtspServer.sync();
        if (onvifServer)
            onvifServer->sync();
        if (discovery)
            discovery->announce(camera);
    });
    host.setPortsHook([&](std::size_t camera) {
        if (onvifServer && !onvifServer->syncCamera(camera))
            std::cerr << "orvantix-camsim: cannot listen on a camera's new ONVIF port\n";
    });
    if (config.onvif) {
        onvif::OnvifServerHooks hooks;
        hooks.reboot = [&](std::size_t camera) {
            responder.silenceUntil(camera, Clock::now() + config.rebootSilence);
            server.startReboot(host.keyOf(camera));
            rtspServer.sync();
        };
        hooks.changed = [&](std::size_t camera) {
            if (!server.sync())
                std::cerr << "orvantix-camsim: cannot listen on a camera's new HTTP port\n";
            rtspServer.sync();
            if (discovery)
                discovery->announce(camera);
        };
        hooks.tlsChanged = [&](std::size_t) {
            if (!server.refreshTls())
                std::cerr << "orvantix-camsim: cannot listen on a camera's new TLS port\n";
        };
        onvifServer = std::make_unique<onvif::OnvifServer>(onvifService, config.interfaceName,
                                                           std::move(hooks));
        if (!onvifServer->start())
            return fail(1, "cannot serve ONVIF on " + config.interfaceName +
                               " (is an ONVIF port of a camera taken?)");
        discovery = std::make_unique<onvif::WsDiscovery>(discoveryResponder, config.interfaceName);
        if (!discovery->start(error))
            return fail(1, error);
        for (std::size_t i = 0; i < store.size(); ++i)
            discovery->announce(i);
        // From here on the ONVIF server lives as long as the device API's.
        onvifOverTls = onvifServer.get();
    }

    ControlServer controlServer;
    if (!config.controlSocket.empty() &&
        !controlServer.start(
            config.controlSocket,
            [&control](const std::string& request) { return control.handle(request); }, error))
        return fail(1, error);

    if (!config.readyFile.empty())
        std::ofstream(config.readyFile) << store.size() << '\n';
    std::cerr << "orvantix-camsim: " << store.size() << " cameras on " << config.interfaceName
              << (fresh ? " (new state)" : " (state restored)") << '\n';

    Loop loop(pcap.get(), responder, signalFd.get(), config.verbose);
    const int rc = loop.run();
    controlServer.stop();
    if (discovery)
        discovery->stop(store.size());
    onvifOverTls = nullptr;
    if (onvifServer)
        onvifServer->stop();
    video = nullptr;
    rtspServer.stop();
    server.stop();
    store.setAddressHook({});
    return rc;
}

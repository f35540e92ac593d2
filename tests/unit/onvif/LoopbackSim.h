#pragma once
// The simulator's ONVIF face on loopback for the client and driver tests:
// cameras at 127.0.0.2 and up, one ONVIF port for all, judged by the
// simulator's camera store.

#include "core/CameraStore.h"
#include "core/Config.h"
#include "onvif/OnvifServer.h"
#include "onvif/OnvifService.h"

#include "../camsim/FreePort.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <unistd.h>

using namespace std::chrono_literals;

// Cameras 0-1: the maker's own; 2: another maker's, without Imaging and
// firmware upgrade.
class LoopbackSim : public ::testing::Test {
protected:
    void start(std::vector<camsim::OnvifQuirks> quirks = {}) {
        char templ[] = "/tmp/onvifc-test.XXXXXX";
        m_dir = ::mkdtemp(templ);
        // Another test process may take the free port between the look and
        // the server's bind: then the cameras move to another one.
        for (int attempt = 0; attempt < 5; ++attempt) {
            if (tryStart(quirks)) {
                return;
            }
            stop();
        }
        FAIL() << "no free port for the simulator";
    }
    bool tryStart(std::vector<camsim::OnvifQuirks> quirks) {
        m_port = freePort();
        camsim::SimConfig c;
        c.cameras = 2;
        c.firstIp = 0x7f000002;
        c.lastIp = 0x7f000010;
        c.httpPort = static_cast<std::uint16_t>(freePort());
        c.tlsPort = 0;
        c.password = "s3cret";
        c.names = {"Cam {n}"};
        c.models = {{"QVIP3651", ""}};
        c.versions = {"13.1.0.5"};
        camsim::OnvifModel other;
        other.maker = "Lumora";
        other.model = "LX-40";
        other.macBase = {0x02, 0x6c, 0x75, 0, 0, 0};
        other.versions = {"2.1.4"};
        other.onvifPort = static_cast<std::uint16_t>(m_port);
        other.imaging = false;
        other.firmwareUpgrade = false;
        c.onvifModels = {other};
        auto cameras = camsim::makeCameras(c);
        for (auto& camera : cameras) {
            if (camera.maker.empty()) {
                camera.deviceConfig["ports"]["onvif"] = m_port;
            }
        }
        m_store.emplace(std::move(cameras), m_dir / "state.json");
        camsim::onvif::OnvifOptions options;
        options.quirks = std::move(quirks);
        options.rebootSilence = 300ms;
        m_service.emplace(*m_store, options);
        m_server.emplace(*m_service, "lo");
        return m_server->start();
    }
    // The server, then what it serves: the store writes its last state
    // before the folder goes.
    void stop() {
        m_server.reset();
        m_service.reset();
        m_store.reset();
    }
    void TearDown() override {
        stop();
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
    }

    std::string url(int camera) const {
        return "http://127.0.0." + std::to_string(camera + 2) + ":" + std::to_string(m_port) +
               "/onvif/device_service";
    }
    template <class F>
    auto view(int camera, F&& f) {
        return m_store->viewCamera(static_cast<std::size_t>(camera), std::forward<F>(f));
    }

    std::filesystem::path m_dir;
    int m_port = 0;
    std::optional<camsim::CameraStore> m_store;
    std::optional<camsim::onvif::OnvifService> m_service;
    std::optional<camsim::onvif::OnvifServer> m_server;
};

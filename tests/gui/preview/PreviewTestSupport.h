#pragma once
// What the Video Previews tests share: the real picture and live-play calls
// with a log of each (name, handle, time, result), cameras on loopback whose
// records the tests set directly, and the page with its device list filled.

#include "DeviceRecords.h"
#include "RecordingSdk.h"
#include "RecordingServices.h"
#include "TestCameras.h"
#include "camsim/httpapi/CameraConfig.h"
#include "discovery/PageEvents.h"
#include "pages/preview/PreviewRules.h"
#include "pages/preview/VideoViewDlg.h"
#include "pages/preview/VideoWnd.h"

#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RecordingPictureSdk : public orv::preview::IPictureSdk {
public:
    struct Call {
        std::string name;
        int handle = 0;
        std::chrono::steady_clock::time_point at;
        int result = 0;
    };
    std::vector<Call> Calls(const std::string& name) const {
        std::lock_guard lock(m_lock);
        std::vector<Call> out;
        for (const Call& call : m_calls) {
            if (call.name == name) {
                out.push_back(call);
            }
        }
        return out;
    }
    QvImagingSettings lastPicture{};

    int GetImagingSettings(int h, QvImagingSettings* r) override {
        return log("GetImagingSettings", h, m_sdk.GetImagingSettings(h, r));
    }
    int SetImagingSettings(int h, const QvImagingSettings* r) override {
        lastPicture = *r;
        return log("SetImagingSettings", h, m_sdk.SetImagingSettings(h, r));
    }
    int LivePlay(int h, QvPlayInfo* play) override {
        return log("LivePlay", h, m_sdk.LivePlay(h, play));
    }
    int StopLivePlay(int h) override { return log("StopLivePlay", h, m_sdk.StopLivePlay(h)); }
    int GetLastError() override { return m_sdk.GetLastError(); }

private:
    int log(const char* name, int handle, int result) {
        std::lock_guard lock(m_lock);
        m_calls.push_back({name, handle, std::chrono::steady_clock::now(), result});
        return result;
    }
    orv::preview::CQvPictureSdk m_sdk;
    mutable std::mutex m_lock;
    std::vector<Call> m_calls;
};

// Changes a camera's stored configuration as if someone else had set it.
template <class Fn>
void EditCamera(testcams::Lab& lab, int camera, Fn&& fn) {
    lab.host.withCamera(lab.key(camera), [&](camsim::CameraState& state) {
        camsim::api::ensureDefaults(state.config);
        fn(state.config);
        return true;
    });
}

inline nlohmann::json CameraConfig(testcams::Lab& lab, int camera) {
    nlohmann::json config = lab.host.snapshot(lab.key(camera))->config;
    camsim::api::ensureDefaults(config);
    return config;
}

struct PreviewPage {
    RecordingServices services;
    RecordingSdk sdk;
    RecordingPictureSdk picture;
    std::unique_ptr<CVideoViewDlg> page;

    void Make(QSize size = {1280, 720}) {
        page = std::make_unique<CVideoViewDlg>(services, nullptr, orv::CDeviceList::Clock{},
                                               CVideoViewDlg::Options{&sdk, &picture});
        page->resize(size);
        page->show();
    }
    void Deliver(const testcams::Lab& lab, int camera) {
        tagQvIpcInfo r = Camera(static_cast<unsigned char>(0xa0 + camera), lab.ip(camera).c_str(),
                                ("Cam" + std::to_string(camera)).c_str());
        r.HttpPort = lab.port();
        QCoreApplication::postEvent(
            page.get(), std::make_unique<orv::CDeviceEvent>(orv::kDeviceFoundEvent, r).release());
        QCoreApplication::sendPostedEvents(page.get());
    }
    // The list row that shows this camera's address.
    int RowOf(const testcams::Lab& lab, int camera) const {
        for (int row = 0; row < page->DeviceListCtrl()->GetItemCount(); ++row) {
            const orv::DeviceRow* device = page->Devices().Row(row);
            if (device != nullptr && lab.ip(camera) == device->record.IpAddr) {
                return row;
            }
        }
        return -1;
    }
    QPoint CellCenter(int row) const {
        auto* list = page->DeviceListCtrl();
        return list->visualRect(list->model()->index(row, 2)).center();
    }
    void ClickRow(int row) {
        QTest::mouseClick(page->DeviceListCtrl()->viewport(), Qt::LeftButton, {}, CellCenter(row));
    }
    void DoubleClickRow(int row) {
        QTest::mouseDClick(page->DeviceListCtrl()->viewport(), Qt::LeftButton, {}, CellCenter(row));
    }
};

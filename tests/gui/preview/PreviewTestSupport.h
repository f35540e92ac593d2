#pragma once
// What the Video Previews tests share: the real picture and live-play calls
// with a log of each (name, handle, time, result), cameras on loopback whose
// records the tests set directly, and the page with its device list filled.

#include "DeviceRecords.h"
#include "RecordingDriver.h"
#include "RecordingServices.h"
#include "TestCameras.h"
#include "camsim/httpapi/CameraConfig.h"
#include "operations/common/ResultLines.h"
#include "operations/preview/PreviewRules.h"
#include "pages/preview/VideoViewDlg.h"
#include "ui/controls/FrameView.h"

#include <QCoreApplication>
#include <QTest>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

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
    RecordingDriver driver;
    orv::jobs::CJobEngine jobs{driver.Set()};
    std::unique_ptr<CVideoViewDlg> page;

    void Make(QSize size = {1280, 720}) {
        page = std::make_unique<CVideoViewDlg>(services, jobs);
        page->resize(size);
        page->show();
    }
    void Deliver(const testcams::Lab& lab, int camera) {
        tagQvIpcInfo r = Camera(static_cast<unsigned char>(0xa0 + camera), lab.ip(camera).c_str(),
                                ("Cam" + std::to_string(camera)).c_str());
        r.HttpPort = lab.port();
        page->OnDevicesFound({Found(r)});
    }
    // The list row that shows this camera's address.
    int RowOf(const testcams::Lab& lab, int camera) const {
        for (const orv::device::DeviceInfo& device : page->Devices().Devices()) {
            if (QString::fromStdString(lab.ip(camera)) == device.AddressText()) {
                return page->Devices().RowOf(device.id);
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

// The window thread and the reboot worker call the SDK at the same time,
// sometimes with the same handle, with more logins between them than the
// SDK keeps connections for: each closes connections the other just used.

#include "TestCameras.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

using namespace testcams;

namespace {

TEST(SdkThreads, TwoThreadsCallAtOnce) {
    Lab lab{3};
    const int shared = lab.login(0);
    ASSERT_GT(shared, 0);
    std::atomic<int> failures{0};
    constexpr int kRounds = 150;

    auto worker = [&](int camera) {
        std::vector<int> logins;
        for (int i = 0; i < 12; ++i) {
            logins.push_back(lab.login(camera));
            if (logins.back() <= 0) {
                ++failures;
                return;
            }
        }
        for (int i = 0; i < kRounds; ++i) {
            QvImagingSettings picture{i % 256, camera, 7};
            QvImagingSettings back{};
            const int own = logins[static_cast<std::size_t>(i) % logins.size()];
            if (i % 3 != 0) {
                if (Qv_Ipc_SetImagingSettings(own, &picture) != 0 ||
                    Qv_Ipc_GetImagingSettings(own, &back) != 0 ||
                    back.brightness != picture.brightness || back.contrast != camera) {
                    ++failures;
                }
            } else if (Qv_Ipc_GetPortInfo(shared, nullptr) == 0 ||
                       Qv_Sdk_GetLastError() != QV_ERR_BAD_ARGUMENT ||
                       Qv_Ipc_GetImagingSettings(shared, &back) != 0) {
                // The error number belongs to the calling thread.
                ++failures;
            }
        }
    };
    std::thread a(worker, 1);
    std::thread b(worker, 2);
    a.join();
    b.join();
    EXPECT_EQ(failures.load(), 0);
}

} // namespace

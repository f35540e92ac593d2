// Large uploads stream from disk: the process never holds the image, and a
// transfer cut in the middle fails cleanly and stores nothing.

#include "ProcStatus.h"
#include "TestCameras.h"

#include <gtest/gtest.h>
#include <openssl/evp.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

using namespace testcams;

namespace {

constexpr std::size_t kImageBytes = 100u * 1024u * 1024u;

// Writes the image in pieces and returns its MD5.
std::string writeImage(const std::string& path) {
    struct Deleter {
        void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
    };
    std::unique_ptr<EVP_MD_CTX, Deleter> ctx(EVP_MD_CTX_new());
    EVP_DigestInit_ex(ctx.get(), EVP_md5(), nullptr);
    std::ofstream out(path, std::ios::binary);
    std::vector<char> chunk(1 << 20);
    for (std::size_t done = 0; done < kImageBytes; done += chunk.size()) {
        for (std::size_t i = 0; i < chunk.size(); ++i) {
            chunk[i] = static_cast<char>((done + i) * 131 >> 7);
        }
        out.write(chunk.data(), static_cast<std::streamsize>(chunk.size()));
        EVP_DigestUpdate(ctx.get(), chunk.data(), chunk.size());
    }
    unsigned char digest[16] = {};
    unsigned int length = 0;
    EVP_DigestFinal_ex(ctx.get(), digest, &length);
    char hex[33] = {};
    for (unsigned int i = 0; i < 16; ++i) {
        std::snprintf(hex + 2 * i, 3, "%02x", digest[i]);
    }
    return hex;
}

class SdkUpload : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // One file per process: CTest runs the upload tests side by side, and
        // a file rewritten under a running upload is a failed upload.
        s_path = ::testing::TempDir() + std::to_string(::getpid()) + "_big_QVFImage_21.bin";
        s_md5 = writeImage(s_path);
    }
    static void TearDownTestSuite() { std::remove(s_path.c_str()); }

    static std::string s_path;
    static std::string s_md5;
    Lab lab{1};
};

std::string SdkUpload::s_path;
std::string SdkUpload::s_md5;

TEST_F(SdkUpload, HundredMegabytesStreamWithSmallPeakMemory) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    // Resets the peak so that it measures this upload alone (both ends of it,
    // since the camera runs in this process too).
    std::ofstream("/proc/self/clear_refs") << "5";
    const long before = StatusValue("VmRSS:");
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(Qv_Ipc_UpdateFirmware(h, s_path.c_str()), 0) << Qv_Sdk_GetLastError();
    const double seconds = secondsSince(start);
    const long peak = StatusValue("VmHWM:");
    std::printf("100 MiB upload: %.2f s, %.0f MiB/s, peak RSS %ld kB (before %ld kB)\n", seconds,
                100.0 / seconds, peak, before);
    EXPECT_LT(peak - before, 24 * 1024);

    const auto camera = lab.host.snapshot(lab.key(0));
    EXPECT_EQ(camera->config["firmware"]["size"], kImageBytes);
    EXPECT_EQ(camera->config["firmware"]["md5"], s_md5);
}

TEST_F(SdkUpload, TransferCutInTheMiddleFailsAndStoresNothing) {
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    camsim::FaultPlan plan;
    plan.closeMidway = true;
    lab.server.setFaults(lab.key(0), plan);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(Qv_Ipc_UpdateFirmware(h, s_path.c_str()), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_NETWORK);
    EXPECT_LT(secondsSince(start), 10.0);
    EXPECT_EQ(lab.host.snapshot(lab.key(0))
                  ->config.value("firmware", nlohmann::json::object())
                  .value("size", 0),
              0);

    // The handle recovers once the camera behaves.
    lab.server.clearFaults(lab.key(0));
    QvPortInfo ports{};
    EXPECT_EQ(Qv_Ipc_GetPortInfo(h, &ports), 0);
}

TEST_F(SdkUpload, ACameraThatReadsTooSlowlyIsGivenUp) {
    Qv_Sdk_SetTimeouts(1000, 2000); // a 2 s stall window
    const int h = lab.login(0);
    ASSERT_GT(h, 0);
    camsim::FaultPlan plan;
    plan.uploadBytesPerSecond = 16 * 1024; // well under the SDK's minimum rate
    lab.server.setFaults(lab.key(0), plan);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_NE(Qv_Ipc_UpdateFirmware(h, s_path.c_str()), 0);
    EXPECT_EQ(Qv_Sdk_GetLastError(), QV_ERR_TIMEOUT);
    EXPECT_LT(secondsSince(start), 6.0);
    Qv_Sdk_SetTimeouts(2500, 5000);
}

} // namespace

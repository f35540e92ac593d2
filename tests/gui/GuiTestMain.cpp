// GoogleTest with a QApplication for widget tests; runs headless. Built
// with ORVANTIX_TEST_X_SERVER it runs under a private X server instead: live
// video needs real X windows (the offscreen platform has none), so it starts
// Xvfb on a free display, uses the xcb platform and ends the server after.

#include "ui/DialogFont.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#if defined(ORVANTIX_TEST_X_SERVER)
#include <csignal>
#include <thread>

#include <sys/wait.h>

namespace {

class XServer {
public:
    XServer() {
        for (int display = 90 + ::getpid() % 100; display < 400 && m_pid <= 0; ++display) {
            const std::string lock = "/tmp/.X" + std::to_string(display) + "-lock";
            if (std::filesystem::exists(lock)) {
                continue;
            }
            tryStart(display);
        }
    }
    ~XServer() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    XServer(const XServer&) = delete;
    XServer& operator=(const XServer&) = delete;
    bool running() const { return m_pid > 0; }
    std::string name() const { return ":" + std::to_string(m_display); }

private:
    void tryStart(int display) {
        const std::string name = ":" + std::to_string(display);
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::execlp("Xvfb", "Xvfb", name.c_str(), "-screen", "0", "1400x900x24", "-nolisten",
                     "tcp", static_cast<char*>(nullptr));
            ::_exit(127);
        }
        if (pid < 0) {
            return;
        }
        // Ready once its socket exists; a taken display makes it exit.
        const std::string socket = "/tmp/.X11-unix/X" + std::to_string(display);
        for (int i = 0; i < 100; ++i) {
            if (::waitpid(pid, nullptr, WNOHANG) == pid) {
                return;
            }
            if (std::filesystem::exists(socket)) {
                m_pid = pid;
                m_display = display;
                return;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        ::kill(pid, SIGTERM);
        ::waitpid(pid, nullptr, 0);
    }
    pid_t m_pid = -1;
    int m_display = 0;
};

} // namespace
#endif

int main(int argc, char** argv) {
#if defined(ORVANTIX_TEST_X_SERVER)
    // Listing the tests needs no screen.
    for (int i = 1; i < argc; ++i) {
        if (std::string(argv[i]) == "--gtest_list_tests") {
            ::testing::InitGoogleTest(&argc, argv);
            return RUN_ALL_TESTS();
        }
    }
    XServer x;
    if (!x.running()) {
        std::fprintf(stderr, "cannot start Xvfb\n");
        return 1;
    }
    ::setenv("DISPLAY", x.name().c_str(), 1);
    ::setenv("QT_QPA_PLATFORM", "xcb", 1);
#else
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
#endif
    ::setenv("LANG", "C.UTF-8", 1);
    // Qt wants a private runtime directory; give it one per run.
    const auto runtime =
        std::filesystem::temp_directory_path() / ("orvantix-gui-" + std::to_string(::getpid()));
    std::filesystem::create_directories(runtime);
    std::filesystem::permissions(runtime, std::filesystem::perms::owner_all);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    int result = 1;
    {
        QApplication app(argc, argv);
        orv::ui::ApplyDialogFont(app);
        ::testing::InitGoogleTest(&argc, argv);
        result = RUN_ALL_TESTS();
    }
    std::error_code ec;
    std::filesystem::remove_all(runtime, ec);
    return result;
}

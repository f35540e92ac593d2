// Opening a site in the window: a book of 5000 cameras and 100,000 changes
// is read on the site's own thread, then its cameras are listed, offline,
// on every page. Prints the time from the request to a listed site, and
// the longest the window thread was held by any one event on the way.

#include "app/MainDlg.h"
#include "pages/common/DeviceListPage.h"
#include "pages/network/SearchDlg.h"
#include "pages/preview/VideoViewDlg.h"
#include "site/SiteBook.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <thread>

namespace {

constexpr int kCameras = 5000;
constexpr int kChanges = 100000;

void makeBook(const std::filesystem::path& file) {
    auto book = orv::site::CSiteBook::Open(file).book;
    std::vector<orv::site::SiteCamera> cameras;
    for (int i = 0; i < kCameras; ++i) {
        char mac[18];
        std::snprintf(mac, sizeof mac, "02:4F:56:10:%02X:%02X", i >> 8, i & 0xff);
        const std::string address =
            "198.18." + std::to_string(i / 250) + "." + std::to_string(i % 250 + 1);
        cameras.push_back({std::string("mac:") + mac, mac, "native", "QVIP3651", "13.1.0.5",
                           address, "Kamera " + std::to_string(i + 1), 1000, 2000});
    }
    book->NoteSeen(cameras);
    for (int job = 0; job < kChanges / kCameras; ++job) {
        const std::int64_t id =
            book->BeginJob({0, "Batch Set Network", 3000 + job, "bench", "2.1", {}});
        std::vector<orv::site::ChangeEntry> changes;
        for (const orv::site::SiteCamera& c : cameras) {
            changes.push_back({id, c.key, "Modify Port", "ports",
                               R"({"http":80,"onvif":8000,"rtsp":554,"rtsp2":555})",
                               R"({"http":80,"onvif":8001,"rtsp":554,"rtsp2":555})", "Succeeded",
                               "", 4000 + job});
        }
        book->Record(changes);
    }
}

// Names every event that holds the window thread 10 ms or more.
class TimedApp : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override {
        QElapsedTimer clock;
        clock.start();
        const int type = event->type();
        ++depth;
        const bool result = QApplication::notify(receiver, event);
        --depth;
        if (depth == 0) {
            longest = std::max(longest, clock.elapsed());
        }
        if (clock.elapsed() >= 10 && depth == 0) {
            std::printf("  slow event: %lld ms, type %d, to %s \"%s\"\n",
                        static_cast<long long>(clock.elapsed()), type,
                        receiver->metaObject()->className(),
                        receiver->objectName().toUtf8().constData());
        }
        return result;
    }
    int depth = 0;
    qint64 longest = 0; // of the outermost events
};

} // namespace

int main(int argc, char** argv) {
    TimedApp app(argc, argv);
    char folder[] = "/tmp/orvantix-bench-open.XXXXXX";
    if (::mkdtemp(folder) == nullptr) {
        return 1;
    }
    makeBook(std::filesystem::path(folder) / "Werk.site");
    std::ofstream(std::filesystem::path(folder) / "last-site") << "Werk\n";
    std::printf("site_open (%u cores): %d cameras, %d changes\n",
                std::thread::hardware_concurrency(), kCameras, kChanges);
    for (int run = 0; run < 3; ++run) {
        CMainDlg dlg(false, CMainDlg::Discovery::Off);
        dlg.show();
        QApplication::processEvents();
        QElapsedTimer clock;
        clock.start();
        dlg.OpenSites(folder);
        app.longest = 0;
        const auto listed = [&dlg] {
            return dlg.VideoViewPage()->Devices().Count() == kCameras &&
                   dlg.SearchPage()->Devices().Count() == kCameras;
        };
        while (!listed() && clock.elapsed() < 30000) {
            QApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
        }
        const qint64 opened = clock.elapsed();
        // Painting the lists comes with the next turns.
        QElapsedTimer settle;
        settle.start();
        while (settle.elapsed() < 200) {
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        std::printf("listed on every page in %lld ms (one event held the window thread at most "
                    "%lld ms); %d rows on Network Settings\n",
                    static_cast<long long>(opened), static_cast<long long>(app.longest),
                    dlg.SearchPage()->Devices().Count());
        std::fflush(stdout);
    }
    std::filesystem::remove_all(folder);
    return 0;
}

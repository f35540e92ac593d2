// The live grid over six loopback cameras with their streams, no display:
// only the page on show receives video (the cameras count their watching
// clients), turning the page or the tile count moves the streams with it,
// a double-click plays that camera on Video Previews, Snapshot writes one
// picture per tile through the file dialog, and a tile whose stream
// stalled plays again once its camera sends again.

#include "FrameProbe.h"
#include "GuiTestBase.h"
#include "PreviewTestSupport.h"
#include "TempDir.h"
#include "camsim/rtsp/RtspServer.h"
#include "jobs/LoginBook.h"
#include "pages/grid/GridDlg.h"

#include <QPushButton>

#include <algorithm>
#include <filesystem>

using namespace std::chrono_literals;

namespace {

constexpr int kCameras = 6;

class GridTest : public GuiTestBase {
protected:
    testcams::Lab lab{kCameras};
    camsim::rtsp::RtspServer rtsp{lab.host};
    PreviewPage p;

    void SetUp() override {
        GuiTestBase::SetUp();
        for (int i = 0; i < kCameras; ++i) {
            const int port = testcams::freePort();
            EditCamera(lab, i, [port](nlohmann::json& c) { c["ports"]["rtsp1"] = port; });
        }
        ASSERT_TRUE(rtsp.start());
        p.Make({1400, 860});
        for (int i = 0; i < kCameras; ++i) {
            p.Deliver(lab, i);
        }
    }
    void TearDown() override {
        p.page.reset();
        rtsp.stop();
        GuiTestBase::TearDown();
    }
    static int playing(const CGridDlg& grid) {
        return static_cast<int>(
            std::count_if(grid.Tiles().begin(), grid.Tiles().end(),
                          [](const CGridTile* t) { return t->View()->Playing(); }));
    }
};

TEST_F(GridTest, OnlyThePageOnShowPlaysAndADoubleClickPlaysThatCameraOnTheVideoPage) {
    CGridDlg* grid = p.page->ShowGrid();
    ASSERT_NE(grid, nullptr);
    ASSERT_EQ(grid->Tiles().size(), static_cast<std::size_t>(kCameras)) << "16 to a page";
    EXPECT_TRUE(WaitFor([&] { return playing(*grid) == kCameras; }, 10s)) << playing(*grid);
    EXPECT_EQ(rtsp.activeStreams(), kCameras);

    // Four to a page: two pages, and only the first page's four streams.
    grid->SetTilesPerPage(4);
    EXPECT_EQ(grid->PageCount(), 2);
    ASSERT_EQ(grid->Tiles().size(), 4u);
    EXPECT_TRUE(WaitFor([&] { return playing(*grid) == 4 && rtsp.activeStreams() == 4; }, 10s))
        << playing(*grid) << " tiles, " << rtsp.activeStreams() << " streams";
    grid->findChild<QPushButton*>(QStringLiteral("gridNext"))->click();
    EXPECT_EQ(grid->Page(), 1);
    ASSERT_EQ(grid->Tiles().size(), 2u);
    EXPECT_TRUE(WaitFor([&] { return playing(*grid) == 2 && rtsp.activeStreams() == 2; }, 10s))
        << playing(*grid) << " tiles, " << rtsp.activeStreams() << " streams";
    EXPECT_FALSE(grid->findChild<QPushButton*>(QStringLiteral("gridNext"))->isEnabled());

    // A tile's camera goes to Video Previews and plays there.
    CGridTile* tile = grid->Tiles().back();
    const orv::device::DeviceId camera = tile->Camera().id;
    QTest::mouseDClick(tile->View(), Qt::LeftButton);
    EXPECT_TRUE(WaitFor([&] { return p.page->IsPlaying(); }, 10s));
    ASSERT_TRUE(p.page->Selection().Current().has_value());
    EXPECT_EQ(*p.page->Selection().Current(), camera);

    // Snapshot: one picture per tile, as the file dialog names them.
    TempDir dir;
    chosenFiles = {QString::fromStdString((dir.path() / "site.png").string())};
    AnswerFileDialogs(false);
    AnswerMessagesWith(true);
    grid->findChild<QPushButton*>(QStringLiteral("gridSnapshot"))->click();
    ASSERT_FALSE(messages.isEmpty());
    EXPECT_TRUE(messages.last().startsWith(QStringLiteral("2 pictures written to")))
        << messages.last().toStdString();
    int pictures = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir.path())) {
        const QImage picture(QString::fromStdString(entry.path().string()));
        EXPECT_GT(GreyLevels(picture), 20) << entry.path();
        ++pictures;
    }
    EXPECT_EQ(pictures, 2);

    // Closed: every stream of the grid ends; Video Previews' own plays on.
    grid->close();
    EXPECT_TRUE(WaitFor([&] { return rtsp.activeStreams() == 1; }, 10s)) << rtsp.activeStreams();
    EXPECT_TRUE(p.page->IsPlaying());
}

// A camera whose encoder hangs turns its tile into "no video"; once it
// sends again, the tile plays again by itself, the others throughout.
TEST_F(GridTest, ATileWhoseStreamStalledPlaysAgainOnceItsCameraSendsAgain) {
    CGridDlg* grid = p.page->ShowGrid();
    ASSERT_NE(grid, nullptr);
    ASSERT_TRUE(WaitFor([&] { return playing(*grid) == kCameras; }, 10s)) << playing(*grid);
    const auto hung = std::find_if(grid->Tiles().begin(), grid->Tiles().end(), [&](auto* t) {
        return t->Camera().AddressText().toStdString() == lab.ip(2);
    });
    ASSERT_NE(hung, grid->Tiles().end());
    CGridTile* tile = *hung;
    rtsp.setFrozen(lab.key(2), true);
    ASSERT_TRUE(WaitFor([&] { return tile->View()->Text().startsWith("no video"); }, 10s))
        << tile->View()->Text().toStdString();
    EXPECT_EQ(playing(*grid), kCameras - 1);
    rtsp.setFrozen(lab.key(2), false);
    EXPECT_TRUE(WaitFor([&] { return tile->View()->Playing(); }, 20s))
        << tile->View()->Text().toStdString();
    EXPECT_EQ(playing(*grid), kCameras);
    grid->close();
    EXPECT_TRUE(WaitFor([&] { return rtsp.activeStreams() == 0; }, 10s)) << rtsp.activeStreams();
}

// The logins a site holds: one camera has a password of its own.
class OwnPasswords : public orv::jobs::ILoginBook {
public:
    std::vector<orv::device::Credentials>
    LoginsFor(const orv::device::DeviceInfo& device,
              const orv::device::Credentials& fallback) override {
        if (device.AddressText() == own) {
            return {{QStringLiteral("admin"), QStringLiteral("0wn-pass")}, fallback};
        }
        return {fallback};
    }
    void LoggedIn(const orv::device::DeviceInfo&, const orv::device::Credentials& login) override {
        worked << login.password;
    }
    QString own;
    QStringList worked;
};

TEST_F(GridTest, VideoPreviewsAndTheGridLogInWithTheCamerasOwnPasswordFirst) {
    lab.host.withCamera(lab.key(2), [](camsim::CameraState& camera) {
        camera.identity.adminPassword = "0wn-pass";
        return true;
    });
    ASSERT_TRUE(rtsp.sync()); // its stream takes the new password too
    auto logins = std::make_shared<OwnPasswords>();
    logins->own = QString::fromStdString(lab.ip(2));
    p.jobs.SetLoginBook(logins);
    p.ClickRow(p.RowOf(lab, 2));
    WaitForJobs(p.jobs);
    EXPECT_TRUE(p.page->LoggedIn()) << "the default login is refused; its own is not";
    EXPECT_TRUE(logins->worked.contains(QStringLiteral("0wn-pass")));

    CGridDlg* grid = p.page->ShowGrid();
    ASSERT_NE(grid, nullptr);
    EXPECT_TRUE(WaitFor([&] { return playing(*grid) == kCameras; }, 10s)) << playing(*grid);
    for (const CGridTile* tile : grid->Tiles()) {
        EXPECT_TRUE(tile->View()->Playing()) << tile->Camera().AddressText().toStdString() << ": "
                                             << tile->View()->Text().toStdString();
    }
    grid->close();
}

} // namespace

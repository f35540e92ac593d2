#pragma once
// Live video of many cameras at once: 4, 9 or 16 tiles to a page, paged
// beyond that. Each tile draws its camera's pictures itself under its name,
// address, frame rate and bit rate; a stream that does not start, breaks
// off or stalls shows "no video: <why>", never a frozen last picture, and
// tries again a few seconds later (a camera back from a reboot comes back
// by itself). Only
// the page on show plays: turning the page stops the other tiles' streams,
// so nothing unseen is received or decoded. Logins and stream starts and
// stops are jobs on the engine's workers (each camera with its own
// password first); the window thread only draws.

#include "device/DeviceInfo.h"
#include "jobs/JobEngine.h"

#include <QDialog>
#include <QFrame>

#include <functional>
#include <memory>
#include <vector>

class QComboBox;
class QLabel;
class QPushButton;
class QGridLayout;

namespace orv::ui {
class CFrameView;
}

class CGridTile : public QFrame {
    Q_OBJECT
public:
    CGridTile(const orv::device::DeviceInfo& camera, QWidget* parent = nullptr);

    const orv::device::DeviceInfo& Camera() const { return m_camera; }
    orv::ui::CFrameView* View() const { return m_view; }
    QString Caption() const;
    // The name and address line, with the rates of the last seconds.
    void UpdateCaption();

signals:
    void opened(const orv::device::DeviceId& camera);

private:
    orv::device::DeviceInfo m_camera;
    orv::ui::CFrameView* m_view = nullptr;
    QLabel* m_caption = nullptr;
};

class CGridDlg : public QDialog {
    Q_OBJECT
public:
    static constexpr int kSizes[] = {4, 9, 16};

    // `login`: the default login, which each camera's own passwords come
    // before.
    CGridDlg(orv::jobs::CJobEngine& jobs, std::vector<orv::device::DeviceInfo> cameras,
             std::function<orv::device::Credentials()> login, QWidget* parent = nullptr);
    ~CGridDlg() override;

    // 4, 9 or 16 tiles to a page; the page that holds the first tile on
    // show now comes up.
    void SetTilesPerPage(int tiles);
    int TilesPerPage() const { return m_perPage; }
    void ShowPage(int page);
    int Page() const { return m_page; }
    int PageCount() const;
    const std::vector<CGridTile*>& Tiles() const { return m_tiles; }
    // A PNG of every tile on show, "<base>-<MAC>.png" beside `base`; the
    // files written, or nothing with `error` said.
    std::vector<QString> SaveSnapshots(const QString& base, QString& error) const;

signals:
    // A tile was double-clicked: its camera goes to Video Previews.
    void openCamera(const orv::device::DeviceId& camera);

private:
    struct Slot;
    void buildPage();
    void stop(std::size_t tile);
    void stopAll();
    void start(CGridTile* tile, const std::shared_ptr<Slot>& slot);
    // A tile whose stream failed or ended starts it again.
    void retry(CGridTile* tile);
    void setLanguageText();
    void updatePager();
    void snapshot();

    orv::jobs::CJobEngine& m_jobs;
    const std::vector<orv::device::DeviceInfo> m_cameras;
    std::function<orv::device::Credentials()> m_login;
    int m_perPage = 16;
    int m_page = 0;
    std::vector<CGridTile*> m_tiles;
    // One per tile on show: the stream's session, shared with its jobs.
    std::vector<std::shared_ptr<Slot>> m_slots;

    QComboBox* m_size = nullptr;
    QPushButton* m_previous = nullptr;
    QPushButton* m_next = nullptr;
    QLabel* m_pageLabel = nullptr;
    QPushButton* m_snapshot = nullptr;
    QPushButton* m_close = nullptr;
    QGridLayout* m_grid = nullptr;
    QWidget* m_gridArea = nullptr;
};

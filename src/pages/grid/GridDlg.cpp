#include "GridDlg.h"

#include "pages/common/LiveTarget.h"
#include "ui/FileDialog.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/FrameView.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <mutex>

using orv::ui::LangText;

namespace {

// The widest picture a tile asks for: a quarter of a large screen.
constexpr int kTileWidth = 640;
// A tile whose stream failed or ended tries again this long after: a camera
// that rebooted or was plugged back in comes back on the grid by itself.
constexpr std::chrono::milliseconds kRetryAfter{5000};

int columnsFor(int tiles) {
    return static_cast<int>(std::lround(std::sqrt(static_cast<double>(tiles))));
}

} // namespace

CGridTile::CGridTile(const orv::device::DeviceInfo& camera, QWidget* parent)
    : QFrame(parent), m_camera(camera) {
    setObjectName(QStringLiteral("gridTile"));
    setFrameShape(QFrame::StyledPanel);
    m_view = new orv::ui::CFrameView(this);
    m_view->setMinimumSize(96, 54);
    m_caption = new QLabel(this);
    m_caption->setTextFormat(Qt::PlainText);
    m_caption->setObjectName(QStringLiteral("gridCaption"));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(2, 2, 2, 2);
    layout->setSpacing(2);
    layout->addWidget(m_view, 1);
    layout->addWidget(m_caption);
    connect(m_view, &orv::ui::CFrameView::doubleClicked, this,
            [this] { emit opened(m_camera.id); });
    // No rates of a stream that has ended.
    connect(m_view, &orv::ui::CFrameView::ended, this, &CGridTile::UpdateCaption);
    UpdateCaption();
}

QString CGridTile::Caption() const {
    return m_caption->text();
}

void CGridTile::UpdateCaption() {
    QString text = m_camera.name + QStringLiteral(" \u2014 ") + m_camera.AddressText();
    if (m_view->Playing()) {
        text += QStringLiteral(" \u2014 ") + LangText(L"97008", L"%1 fps, %2 kbit/s")
                                                 .arg(m_view->FramesPerSecond(), 0, 'f', 0)
                                                 .arg(m_view->KilobitsPerSecond(), 0, 'f', 0);
    }
    m_caption->setText(text);
}

// A tile's stream as its jobs share it: the session that plays, and whether
// the tile has left the page (a start that ends after that stops at once).
struct CGridDlg::Slot {
    std::mutex lock;
    std::shared_ptr<orv::device::IDeviceSession> session;
    bool stopped = false;
};

CGridDlg::CGridDlg(orv::jobs::CJobEngine& jobs, std::vector<orv::device::DeviceInfo> cameras,
                   std::function<orv::device::Credentials()> login, QWidget* parent)
    : QDialog(parent), m_jobs(jobs), m_cameras(std::move(cameras)), m_login(std::move(login)) {
    setObjectName(QStringLiteral("gridDialog"));
    setWindowFlags(windowFlags() | Qt::WindowMaximizeButtonHint);
    m_size = new QComboBox(this);
    m_size->setObjectName(QStringLiteral("gridSize"));
    m_previous = new QPushButton(QStringLiteral("<"), this);
    m_previous->setObjectName(QStringLiteral("gridPrevious"));
    m_next = new QPushButton(QStringLiteral(">"), this);
    m_next->setObjectName(QStringLiteral("gridNext"));
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("gridPage"));
    m_snapshot = new QPushButton(this);
    m_snapshot->setObjectName(QStringLiteral("gridSnapshot"));
    m_close = new QPushButton(this);
    m_close->setObjectName(QStringLiteral("gridClose"));
    m_gridArea = new QWidget(this);
    m_grid = new QGridLayout(m_gridArea);
    m_grid->setContentsMargins(0, 0, 0, 0);
    m_grid->setSpacing(4);

    auto* bar = new QHBoxLayout;
    bar->addWidget(m_size);
    bar->addWidget(m_previous);
    bar->addWidget(m_pageLabel);
    bar->addWidget(m_next);
    bar->addStretch();
    bar->addWidget(m_snapshot);
    bar->addWidget(m_close);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_gridArea, 1);
    layout->addLayout(bar);

    setLanguageText();
    m_size->setCurrentIndex(2);
    connect(m_size, &QComboBox::currentIndexChanged, this,
            [this](int index) { SetTilesPerPage(kSizes[std::clamp(index, 0, 2)]); });
    connect(m_previous, &QPushButton::clicked, this, [this] { ShowPage(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { ShowPage(m_page + 1); });
    connect(m_snapshot, &QPushButton::clicked, this, &CGridDlg::snapshot);
    connect(m_close, &QPushButton::clicked, this, &QDialog::close);
    auto* captions = new QTimer(this);
    connect(captions, &QTimer::timeout, this, [this] {
        for (CGridTile* tile : m_tiles) {
            tile->UpdateCaption();
        }
    });
    captions->start(1000);
    resize(1280, 800);
    buildPage();
}

CGridDlg::~CGridDlg() {
    stopAll();
}

void CGridDlg::setLanguageText() {
    setWindowTitle(LangText(L"97000", L"Live grid"));
    const int index = m_size->currentIndex();
    m_size->clear();
    for (const int tiles : kSizes) {
        m_size->addItem(LangText(L"97001", L"%1 per page").arg(tiles));
    }
    m_size->setCurrentIndex(index);
    m_snapshot->setText(LangText(L"97003", L"Snapshot..."));
    m_close->setText(LangText(L"96036", L"Close"));
    updatePager();
}

int CGridDlg::PageCount() const {
    const int cameras = static_cast<int>(m_cameras.size());
    return std::max(1, (cameras + m_perPage - 1) / m_perPage);
}

void CGridDlg::SetTilesPerPage(int tiles) {
    if (tiles == m_perPage) {
        return;
    }
    const int first = m_page * m_perPage;
    m_perPage = tiles;
    m_page = first / tiles;
    buildPage();
}

void CGridDlg::ShowPage(int page) {
    page = std::clamp(page, 0, PageCount() - 1);
    if (page == m_page && !m_tiles.empty()) {
        return;
    }
    m_page = page;
    buildPage();
}

void CGridDlg::updatePager() {
    m_pageLabel->setText(LangText(L"97002", L"Page %1 of %2").arg(m_page + 1).arg(PageCount()));
    m_previous->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < PageCount());
}

void CGridDlg::stop(std::size_t tile) {
    std::shared_ptr<orv::device::IDeviceSession> session;
    {
        std::lock_guard hold(m_slots[tile]->lock);
        m_slots[tile]->stopped = true;
        session = std::move(m_slots[tile]->session);
    }
    if (!session) {
        return; // a start still on its way stops itself when done
    }
    // Stopping tears the camera's stream down: off the window thread.
    orv::jobs::JobSpec order;
    order.name = "Grid stop";
    order.targets = {m_tiles[tile]->Camera()};
    order.probe = false;
    order.work = [session](orv::jobs::CameraRun&) { (void)session->StopLiveVideo(); };
    m_jobs.Start(std::move(order));
}

void CGridDlg::retry(CGridTile* tile) {
    const auto at = std::find(m_tiles.begin(), m_tiles.end(), tile);
    if (at == m_tiles.end() || tile->View()->Playing()) {
        return;
    }
    const auto i = static_cast<std::size_t>(at - m_tiles.begin());
    stop(i);
    m_slots[i] = std::make_shared<Slot>();
    start(tile, m_slots[i]);
}

void CGridDlg::stopAll() {
    for (std::size_t i = 0; i < m_slots.size(); ++i) {
        stop(i);
    }
    m_slots.clear();
    for (CGridTile* tile : m_tiles) {
        delete tile;
    }
    m_tiles.clear();
}

void CGridDlg::buildPage() {
    stopAll();
    const int columns = columnsFor(m_perPage);
    const std::size_t first = static_cast<std::size_t>(m_page) * m_perPage;
    const std::size_t last = std::min(m_cameras.size(), first + m_perPage);
    for (std::size_t i = first; i < last; ++i) {
        auto* tile = new CGridTile(m_cameras[i], m_gridArea);
        const int n = static_cast<int>(i - first);
        m_grid->addWidget(tile, n / columns, n % columns);
        connect(tile, &CGridTile::opened, this, &CGridDlg::openCamera);
        // The timer goes with the tile when the page turns.
        connect(tile->View(), &orv::ui::CFrameView::ended, tile, [this, tile] {
            QTimer::singleShot(kRetryAfter, tile, [this, tile] { retry(tile); });
        });
        m_tiles.push_back(tile);
    }
    for (int c = 0; c < columns; ++c) {
        m_grid->setColumnStretch(c, 1);
        m_grid->setRowStretch(c, 1);
    }
    updatePager();
    for (CGridTile* tile : m_tiles) {
        auto slot = std::make_shared<Slot>();
        m_slots.push_back(slot);
        start(tile, slot);
    }
}

void CGridDlg::start(CGridTile* tile, const std::shared_ptr<Slot>& slot) {
    // Pictures at a tile's share of a large screen (16:9, even sizes): the
    // scaling is done while decoding, not on the window thread, and a
    // tile drawn larger still looks right.
    const int width = std::min(kTileWidth, (2 * kTileWidth / columnsFor(m_perPage)) & ~1);
    const int height = (width * 9 / 16) & ~1;
    std::shared_ptr<orv::ui::CFrameView::CMailbox> box =
        tile->View()->Begin(LangText(L"97004", L"connecting..."));
    orv::jobs::JobSpec order;
    order.name = "Grid";
    order.targets = {tile->Camera()};
    order.credentials = m_login();
    order.work = [slot, box, target = orv::LiveTarget(box, width, height),
                  words = orv::CNoVideoText()](orv::jobs::CameraRun& run) {
        {
            std::lock_guard hold(slot->lock);
            if (slot->stopped) {
                return;
            }
        }
        if (const orv::device::Status opened = run.Open(); !opened) {
            box->End(words(opened.Error()));
            return;
        }
        std::shared_ptr<orv::device::IDeviceSession> session = run.Session();
        if (const orv::device::Status started = session->StartLiveVideo(target); !started) {
            box->End(words(started.Error()));
            return;
        }
        std::lock_guard hold(slot->lock);
        if (slot->stopped) {
            (void)session->StopLiveVideo(); // the tile left the page meanwhile
            return;
        }
        slot->session = std::move(session);
    };
    m_jobs.Start(std::move(order));
}

std::vector<QString> CGridDlg::SaveSnapshots(const QString& base, QString& error) const {
    const QFileInfo chosen(base);
    const QString stem = chosen.dir().filePath(chosen.completeBaseName());
    std::vector<QString> written;
    for (CGridTile* tile : m_tiles) {
        // The camera's picture as it came; a tile without one as it shows.
        const QImage picture =
            tile->View()->Playing() ? tile->View()->Picture() : tile->grab().toImage();
        QString mac = QString::fromStdString(tile->Camera().MacText());
        mac.remove(QLatin1Char(':'));
        const QString file = stem + QLatin1Char('-') + mac + QStringLiteral(".png");
        if (!picture.save(file, "PNG")) {
            error = file;
            return {};
        }
        written.push_back(file);
    }
    return written;
}

void CGridDlg::snapshot() {
    const QString base =
        orv::ui::GetSaveFileName(this, QStringLiteral("PNG (*.png)"), QStringLiteral("grid.png"));
    if (base.isEmpty()) {
        return;
    }
    QString error;
    const std::vector<QString> written = SaveSnapshots(base, error);
    if (written.empty() && !error.isEmpty()) {
        orv::ui::ShowMessage(this, LangText(L"97006", L"The snapshot could not be written: %1")
                                       .arg(QDir::toNativeSeparators(error)));
        return;
    }
    orv::ui::ShowMessage(this, LangText(L"97005", L"%1 pictures written to %2.")
                                   .arg(written.size())
                                   .arg(QDir::toNativeSeparators(QFileInfo(base).absolutePath())));
}

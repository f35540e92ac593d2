#include "VideoViewDlg.h"

#include "pages/common/CapabilityGate.h"

#include "jobs/LoginBook.h"
#include "log/LogFile.h"
#include "operations/common/AppServices.h"
#include "operations/common/ResultLines.h"
#include "pages/common/LiveTarget.h"
#include "pages/grid/GridDlg.h"
#include "ui/DialogFont.h"
#include "ui/FormLayout.h"
#include "ui/LangText.h"
#include "ui/MessageBox.h"
#include "ui/controls/FrameView.h"

#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSlider>
#include <QToolTip>
#include <QVBoxLayout>

#include <algorithm>
#include <string>

using orv::preview::ImagingCodes;
using orv::preview::PictureField;
using orv::ui::LangText;

namespace {

constexpr int kListWidth = 460;
constexpr int kMinListWidth = 200;
constexpr PictureField kFields[3] = {PictureField::Brightness, PictureField::Contrast,
                                     PictureField::Saturation};

int fieldIndex(PictureField field) {
    return static_cast<int>(field);
}

} // namespace

CVideoViewDlg::CVideoViewDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent,
                             orv::CDeviceList::Clock clock)
    : CDeviceListPage(orv::DeviceListKind::VideoPreviews, app, jobs, parent, std::move(clock)) {
    setObjectName(QStringLiteral("videoPreviewsPage"));
    createControls();
    SetLanguageText();
    layoutControls();
}

CVideoViewDlg::~CVideoViewDlg() {
    // The native window goes with the page: whatever still works on the
    // camera finishes first, and the view stops drawing into it.
    m_actions.clear();
    m_jobs.CancelAndWait(m_actionJob);
    if (m_playing && m_session) {
        (void)m_session->StopLiveVideo();
    }
    m_session.reset();
}

void CVideoViewDlg::createControls() {
    using orv::ui::Named;
    m_video = new orv::ui::CFrameView(this);
    m_video->setObjectName(QStringLiteral("videoArea"));
    static const char* const sliderNames[3] = {"brightness", "contrast", "saturation"};
    for (int i = 0; i < 3; ++i) {
        auto* slider = Named(new QSlider(Qt::Horizontal, this), sliderNames[i]);
        slider->setRange(0, orv::preview::kSliderMax);
        slider->setSingleStep(1);
        slider->setPageStep(10);
        slider->setTickInterval(10);
        slider->setTickPosition(QSlider::TicksBelow);
        const PictureField field = kFields[i];
        // Every move, dragging included, goes to the camera at once.
        connect(slider, &QSlider::valueChanged, this, [this, field, slider](int position) {
            slider->setToolTip(QString::number(position));
            MoveSlider(field, position);
        });
        connect(slider, &QSlider::sliderMoved, this, [slider](int position) {
            QToolTip::showText(QCursor::pos(), QString::number(position), slider);
        });
        m_sliders[i] = slider;
        m_sliderLabels[i] = new QLabel(this);
    }
    m_play = Named(new QPushButton(this), "play");
    connect(m_play, &QPushButton::clicked, this, &CVideoViewDlg::PlayOrStop);
    m_grid = Named(new QPushButton(this), "grid");
    connect(m_grid, &QPushButton::clicked, this, &CVideoViewDlg::ShowGrid);
    m_default = Named(new QPushButton(this), "default");
    connect(m_default, &QPushButton::clicked, this, &CVideoViewDlg::Default);

    m_settings = Named(new QGroupBox(this), "settings");
    for (auto*& label : m_listLabels) {
        label = new QLabel(m_settings);
    }
    m_exposureLevel = Named(new QComboBox(m_settings), "exposureLevel");
    for (const std::string& entry : orv::preview::ExposureLevelEntries()) {
        m_exposureLevel->addItem(QString::fromStdString(entry));
    }
    m_exposureTime = Named(new QComboBox(m_settings), "maxExposureTime");
    m_irCut = Named(new QComboBox(m_settings), "irCutMode");
    fillExposureTimes(50);
    fillIrCut();
    showCodes(ImagingCodes{});
    for (QComboBox* list : {m_exposureLevel, m_exposureTime, m_irCut}) {
        // A change is only a wish until Save; Cancel can take it back.
        connect(list, &QComboBox::activated, this, [this] { m_cancel->setEnabled(true); });
    }
    m_save = Named(new QPushButton(this), "save");
    connect(m_save, &QPushButton::clicked, this, &CVideoViewDlg::Save);
    m_cancel = Named(new QPushButton(this), "cancel");
    connect(m_cancel, &QPushButton::clicked, this, &CVideoViewDlg::Cancel);

    using orv::device::Capability;
    NeedsCapability(m_play, Capability::LiveVideo);
    for (QWidget* control :
         std::initializer_list<QWidget*>{m_sliders[0], m_sliders[1], m_sliders[2], m_default}) {
        NeedsCapability(control, Capability::Picture);
    }
    for (QWidget* control : std::initializer_list<QWidget*>{m_exposureLevel, m_exposureTime,
                                                            m_irCut, m_save, m_cancel}) {
        NeedsCapability(control, Capability::Image);
    }
    setControlsEnabled(false);
    m_cancel->setEnabled(false);
}

void CVideoViewDlg::SetLanguageText() {
    CDeviceListPage::SetLanguageText();
    m_sliderLabels[0]->setText(LangText(L"70000", L"Brightness:"));
    m_sliderLabels[1]->setText(LangText(L"70001", L"Contrast:"));
    m_sliderLabels[2]->setText(LangText(L"70002", L"Saturation:"));
    m_play->setText(m_playing ? LangText(L"70004", L"Stop") : LangText(L"70003", L"Play"));
    m_grid->setText(LangText(L"97007", L"Grid..."));
    m_listLabels[0]->setText(LangText(L"70005", L"Exposure Level:"));
    m_listLabels[1]->setText(LangText(L"70006", L"Maximum Exposure Time:"));
    m_listLabels[2]->setText(LangText(L"70007", L"IR-CUT Mode:"));
    m_save->setText(LangText(L"70008", L"Save"));
    m_cancel->setText(LangText(L"70009", L"Cancel:"));
    m_default->setText(LangText(L"70010", L"Default:"));
    fillIrCut();
}

void CVideoViewDlg::fillExposureTimes(int powerLineFrequency) {
    const QSignalBlocker block(m_exposureTime);
    m_exposureTime->clear();
    for (const std::string& entry : orv::preview::ExposureTimeEntries(powerLineFrequency)) {
        m_exposureTime->addItem(QString::fromStdString(entry));
    }
}

void CVideoViewDlg::fillIrCut() {
    const QSignalBlocker block(m_irCut);
    const int selected = m_irCut->count() > 0 ? m_irCut->currentIndex() : 2;
    m_irCut->clear();
    for (const auto& text : orv::preview::IrCutTexts()) {
        m_irCut->addItem(LangText(text.id, text.english));
    }
    m_irCut->setCurrentIndex(selected);
}

void CVideoViewDlg::showCodes(const ImagingCodes& codes) {
    const QSignalBlocker b1(m_exposureLevel);
    const QSignalBlocker b2(m_exposureTime);
    const QSignalBlocker b3(m_irCut);
    m_exposureLevel->setCurrentIndex(codes.exposureLevel);
    m_exposureTime->setCurrentIndex(codes.maxExposureTime);
    m_irCut->setCurrentIndex(codes.irCutMode);
}

ImagingCodes CVideoViewDlg::listCodes() const {
    auto code = [](const QComboBox* list) {
        return static_cast<std::uint8_t>(std::max(0, list->currentIndex()));
    };
    return {code(m_exposureLevel), code(m_exposureTime), code(m_irCut)};
}

QSlider* CVideoViewDlg::slider(PictureField field) const {
    return m_sliders[fieldIndex(field)];
}

void CVideoViewDlg::setSliders(const orv::device::PictureSettings& picture) {
    const int values[3] = {picture.brightness, picture.contrast, picture.saturation};
    for (int i = 0; i < 3; ++i) {
        // Showing the camera's values is no move of the user's.
        const QSignalBlocker block(m_sliders[i]);
        const int position = orv::preview::SliderFromDevice(values[i]);
        m_sliders[i]->setValue(position);
        m_sliders[i]->setToolTip(QString::number(position));
    }
}

void CVideoViewDlg::setControlsEnabled(bool on) {
    for (QWidget* widget :
         std::initializer_list<QWidget*>{m_sliders[0], m_sliders[1], m_sliders[2], m_exposureLevel,
                                         m_exposureTime, m_irCut, m_play, m_save, m_default}) {
        widget->setEnabled(on);
    }
}

void CVideoViewDlg::SelectDevice(const orv::device::DeviceId& key) {
    Selection().Pick(key);
}

void CVideoViewDlg::enqueue(Action action) {
    // Only a slider's newest position matters: one still waiting is replaced.
    if (action.slider >= 0 && !m_actions.empty() && m_actions.back().slider == action.slider) {
        m_actions.back() = std::move(action);
    } else {
        m_actions.push_back(std::move(action));
    }
    pump();
}

void CVideoViewDlg::pump() {
    if (m_actionJob != 0 || m_actions.empty()) {
        return;
    }
    Action action = std::move(m_actions.front());
    m_actions.pop_front();
    orv::jobs::JobSpec order;
    order.name = "Video Previews";
    order.targets = {m_camera};
    order.work = [work = std::move(action.work)](orv::jobs::CameraRun&) { work(); };
    m_actionJob = RunQuiet(std::move(order), [this, done = std::move(action.done)] {
        m_actionJob = 0;
        if (done) {
            done();
        }
        pump();
    });
}

void CVideoViewDlg::PickDevice(const orv::device::DeviceId& key) {
    const orv::DeviceRow* device = Devices().Find(key);
    if (device == nullptr) {
        return;
    }
    m_camera = device->info;
    const orv::device::Credentials login{m_app.DefaultUserText(), m_app.DefaultPasswordText()};
    setControlsEnabled(true);
    m_cancel->setEnabled(false);
    // The old camera's view ends before the new login, in the same job.
    const bool wasPlaying = m_playing;
    std::shared_ptr<orv::device::IDeviceSession> old = std::move(m_session);
    m_playing = false;
    m_video->Show(QString());
    m_play->setText(LangText(L"70003", L"Play"));

    struct Read {
        std::shared_ptr<orv::device::IDeviceSession> session;
        std::optional<orv::device::PictureSettings> picture;
        std::optional<orv::device::ImageSettings> image;
    };
    auto read = std::make_shared<Read>();
    const orv::device::CDriverSet& drivers = m_jobs.Drivers();
    // The camera's own password first, as every job logs in.
    enqueue({[=, &drivers, camera = m_camera, logins = m_jobs.LoginBook()] {
                 if (wasPlaying && old) {
                     (void)old->StopLiveVideo();
                 }
                 auto opened = orv::jobs::OpenWithLogins(drivers, camera, login, logins.get());
                 if (!opened) {
                     return;
                 }
                 read->session = std::move(opened).Value();
                 if (auto picture = read->session->GetPicture()) {
                     read->picture = std::move(picture).Value();
                 }
                 if (auto image = read->session->GetImage()) {
                     read->image = std::move(image).Value();
                 }
             },
             [this, read, key] {
                 if (Selection().Current() != key) {
                     return; // another camera was picked meanwhile
                 }
                 m_session = read->session;
                 if (!m_session) {
                     m_app.AddOperatingInfo(QString::fromLatin1(orv::kLoginFailedLine));
                 }
                 if (read->picture) {
                     setSliders(*read->picture);
                 }
                 if (read->image) {
                     fillExposureTimes(read->image->powerLineHz);
                     m_saved = orv::preview::CodesOf(*read->image);
                     showCodes(m_saved);
                 }
                 // A camera the grid sent here plays at once.
                 if (std::exchange(m_playAfterLogin, false) && m_session && !m_playing) {
                     startLive();
                 }
             }});
}

void CVideoViewDlg::startLive() {
    if (!m_session) {
        return;
    }
    // Pictures at the stream's own size: the area draws them to fit as it
    // grows and shrinks, so a resize never restarts the stream.
    orv::device::VideoTarget target = orv::LiveTarget(m_video->Begin());
    auto started = std::make_shared<orv::device::Status>(orv::device::Done{});
    enqueue({[target = std::move(target), started, session = m_session]() mutable {
                 // The driver writes the camera's own reason to the log.
                 *started = session->StartLiveVideo(std::move(target));
             },
             [this, started] {
                 if (!started->Ok()) {
                     m_video->Show(orv::NoVideoText(started->Error()));
                     return;
                 }
                 m_playing = true;
                 m_play->setText(LangText(L"70004", L"Stop"));
             }});
}

void CVideoViewDlg::stopLive() {
    if (!m_playing) {
        return;
    }
    m_playing = false;
    enqueue({[session = m_session] {
                 if (session) {
                     (void)session->StopLiveVideo();
                 }
             },
             [this] {
                 if (!m_playing) {
                     m_video->Show(QString());
                 }
                 m_play->setText(m_playing ? LangText(L"70004", L"Stop")
                                           : LangText(L"70003", L"Play"));
             }});
}

CGridDlg* CVideoViewDlg::ShowGrid() {
    std::vector<orv::device::DeviceInfo> cameras;
    if (m_checkedCameras) {
        cameras = m_checkedCameras();
    }
    if (cameras.empty()) {
        cameras = Devices().ShownDevices();
    }
    if (cameras.empty()) {
        orv::ui::ShowMessage(this, LangText(L"97009", L"No camera to watch: check cameras on "
                                                      L"Network Settings, or let this list show "
                                                      L"some."));
        return nullptr;
    }
    delete m_gridDlg;
    m_gridDlg = new CGridDlg(
        m_jobs, cameras,
        [this] {
            return orv::device::Credentials{m_app.DefaultUserText(), m_app.DefaultPasswordText()};
        },
        this);
    m_gridDlg->setAttribute(Qt::WA_DeleteOnClose);
    connect(m_gridDlg, &CGridDlg::openCamera, this, [this](const orv::device::DeviceId& camera) {
        if (Devices().Find(camera) == nullptr) {
            return;
        }
        window()->raise();
        Selection().Pick(camera);
        m_playAfterLogin = true;
    });
    m_gridDlg->show();
    m_gridDlg->raise();
    return m_gridDlg;
}

void CVideoViewDlg::PlayOrStop() {
    if (!Selection().Current()) {
        return;
    }
    if (m_playing) {
        stopLive();
        return;
    }
    startLive();
}

void CVideoViewDlg::OnDeviceDoubleClicked(const orv::device::DeviceId&) {
    PlayOrStop();
}

void CVideoViewDlg::MoveSlider(PictureField field, int position) {
    if (!Selection().Current() || !m_session) {
        return;
    }
    // Only the moved field changes; the others keep what the camera has now.
    enqueue({[field, position, session = m_session] {
                 if (const auto camera = session->GetPicture()) {
                     (void)session->SetPicture(
                         orv::preview::WithSliderPosition(camera.Value(), field, position));
                 }
             },
             {},
             static_cast<int>(field)});
}

void CVideoViewDlg::Default() {
    if (!Selection().Current() || !m_session) {
        return;
    }
    auto ok = std::make_shared<bool>(false);
    enqueue({[ok, session = m_session] {
                 *ok = session->SetPicture(orv::preview::DefaultPicture()).Ok();
             },
             [this, ok] {
                 if (*ok) {
                     setSliders(orv::preview::DefaultPicture());
                 }
             }});
}

void CVideoViewDlg::Save() {
    if (!Selection().Current() || !m_session) {
        return;
    }
    enqueue({[codes = listCodes(), session = m_session] {
                 if (auto read = session->GetImage()) {
                     orv::device::ImageSettings image = std::move(read).Value();
                     orv::preview::PutCodes(image, codes);
                     (void)session->SetImage(image);
                 }
             },
             {}});
}

void CVideoViewDlg::Cancel() {
    if (!Selection().Current() || !m_session) {
        return;
    }
    auto ok = std::make_shared<bool>(false);
    enqueue({[ok, saved = m_saved, session = m_session] {
                 if (auto read = session->GetImage()) {
                     orv::device::ImageSettings image = std::move(read).Value();
                     orv::preview::PutCodes(image, saved);
                     *ok = session->SetImage(image).Ok();
                 }
             },
             [this, ok] {
                 if (*ok) {
                     showCodes(m_saved);
                 }
             }});
}

void CVideoViewDlg::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter ||
        event->key() == Qt::Key_Escape) {
        event->accept();
        return;
    }
    CDeviceListPage::keyPressEvent(event);
}

void CVideoViewDlg::layoutControls() {
    // The list at the left, narrowed first in a narrow window; the picture
    // with Play under it and the three sliders under that; the camera's
    // exposure settings at the right with Save and Cancel.
    LimitListWidth(kMinListWidth, kListWidth);
    m_video->setMinimumSize(160, 120);
    auto* sliders = new QGridLayout;
    sliders->setHorizontalSpacing(6);
    for (int i = 0; i < 3; ++i) {
        m_sliderLabels[i]->setBuddy(m_sliders[i]);
        sliders->addWidget(m_sliderLabels[i], i, 0);
        sliders->addWidget(m_sliders[i], i, 1);
    }
    sliders->addWidget(m_default, 3, 1, Qt::AlignHCenter);
    sliders->setColumnStretch(1, 1);
    auto* picture = new QVBoxLayout;
    picture->addWidget(m_video, 1);
    auto* playRow = new QHBoxLayout;
    playRow->addWidget(m_play);
    playRow->addWidget(m_grid);
    playRow->addStretch();
    picture->addLayout(playRow);
    auto* slidersRow = new QHBoxLayout;
    slidersRow->setContentsMargins(30, 0, 0, 0);
    slidersRow->addLayout(sliders);
    picture->addLayout(slidersRow);

    auto* lists = new QGridLayout(m_settings);
    QComboBox* choices[3] = {m_exposureLevel, m_exposureTime, m_irCut};
    for (int i = 0; i < 3; ++i) {
        m_listLabels[i]->setBuddy(choices[i]);
        lists->addWidget(m_listLabels[i], i, 0);
        // Each list as wide as its longest entry in the current language.
        choices[i]->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        choices[i]->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
        lists->addWidget(choices[i], i, 1);
    }
    lists->setColumnStretch(0, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(m_save);
    buttons->addWidget(m_cancel);
    lists->addLayout(buttons, 3, 0, 1, 2);
    lists->setRowStretch(4, 1);
    m_settings->setMinimumWidth(static_cast<int>(260 * orv::ui::FontScale(this)));

    auto* page = new QHBoxLayout(this);
    page->setContentsMargins(0, 0, 0, 4);
    page->addLayout(ListColumn(), 1);
    page->addLayout(picture, 1);
    page->addWidget(m_settings);
}

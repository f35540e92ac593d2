#pragma once
// The Video Previews page: the discovered cameras beside the live video of
// the selected one, its picture sliders (sent at once) and its exposure and
// IR-cut lists (sent by Save, reverted by Cancel).

#include "operations/preview/PreviewRules.h"
#include "pages/common/DeviceListPage.h"

#include <QPointer>

class CGridDlg;
namespace orv::ui {
class CFrameView;
}
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

#include <deque>
#include <functional>
#include <memory>

class CVideoViewDlg : public CDeviceListPage {
    Q_OBJECT
public:
    CVideoViewDlg(orv::IAppServices& app, orv::jobs::CJobEngine& jobs, QWidget* parent = nullptr,
                  orv::CDeviceList::Clock clock = {});
    ~CVideoViewDlg() override;

    void SetLanguageText() override;

    // Makes the camera current, ends a running live view, logs in to the
    // camera and reads its picture and imaging settings.
    void SelectDevice(const orv::device::DeviceId& key);
    void PlayOrStop();
    // Live video of many cameras in a grid of its own (one window): the
    // cameras `checked` gives (the window's check marks), else those this
    // list shows, its filter applied. A double-click on a tile brings its
    // camera here and plays it.
    CGridDlg* ShowGrid();
    void SetCheckedCameras(std::function<std::vector<orv::device::DeviceInfo>()> checked) {
        m_checkedCameras = std::move(checked);
    }
    void MoveSlider(orv::preview::PictureField field, int position);
    void Default();
    void Save();
    void Cancel();

    bool IsPlaying() const { return m_playing; }
    bool LoggedIn() const { return m_session != nullptr; }
    orv::preview::ImagingCodes SavedCodes() const { return m_saved; }
    orv::ui::CFrameView* VideoArea() const { return m_video; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void PickDevice(const orv::device::DeviceId& key) override;
    void OnDeviceDoubleClicked(const orv::device::DeviceId& key) override;

private:
    void createControls();
    void layoutControls();
    void fillExposureTimes(int powerLineFrequency);
    void fillIrCut();
    void showCodes(const orv::preview::ImagingCodes& codes);
    orv::preview::ImagingCodes listCodes() const;
    void setSliders(const orv::device::PictureSettings& picture);
    void setControlsEnabled(bool on);
    void startLive();
    void stopLive();
    // The page's device work, one call chain at a time and in order, off
    // the window thread; `done` follows on the window thread.
    struct Action {
        std::function<void()> work;
        std::function<void()> done;
        int slider = -1; // a slider move: the field
    };
    void enqueue(Action action);
    void pump();
    QSlider* slider(orv::preview::PictureField field) const;

    orv::device::DeviceInfo m_camera;
    std::deque<Action> m_actions;
    orv::jobs::JobId m_actionJob = 0;
    // The logged-in camera; only the page's action in flight uses it.
    std::shared_ptr<orv::device::IDeviceSession> m_session;
    bool m_playing = false;
    // The grid sent a camera here: it plays once its login is back.
    bool m_playAfterLogin = false;
    orv::preview::ImagingCodes m_saved;

    orv::ui::CFrameView* m_video = nullptr;
    QSlider* m_sliders[3] = {};
    QLabel* m_sliderLabels[3] = {};
    QPushButton* m_play = nullptr;
    QPushButton* m_grid = nullptr;
    QPointer<CGridDlg> m_gridDlg;
    std::function<std::vector<orv::device::DeviceInfo>()> m_checkedCameras;
    QPushButton* m_default = nullptr;
    QGroupBox* m_settings = nullptr;
    QLabel* m_listLabels[3] = {};
    QComboBox* m_exposureLevel = nullptr;
    QComboBox* m_exposureTime = nullptr;
    QComboBox* m_irCut = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

#pragma once
// The Video Previews page: the discovered cameras beside the live video of
// the selected one, its picture sliders (sent at once) and its exposure and
// IR-cut lists (sent by Save, reverted by Cancel).

#include "PreviewRules.h"
#include "pages/DeviceListPage.h"

class CVideoWnd;
class QComboBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QSlider;

namespace orv {
class IAppServices;
namespace batchset {
class IDeviceSdk;
}
} // namespace orv

namespace orv::preview {
// What tests replace; nullptr: the real SDK.
struct PreviewOptions {
    orv::batchset::IDeviceSdk* sdk = nullptr;
    IPictureSdk* picture = nullptr;
};
} // namespace orv::preview

class CVideoViewDlg : public CDeviceListPage {
    Q_OBJECT
public:
    using Options = orv::preview::PreviewOptions;

    static constexpr const char* kLoginFailedLine =
        "Login Failed.Please check your username and password.";

    explicit CVideoViewDlg(orv::IAppServices& app, QWidget* parent = nullptr,
                           orv::CDeviceList::Clock clock = {}, Options options = {});
    ~CVideoViewDlg() override;

    void SetLanguageText() override;

    // Makes the row current, ends a running live view, logs in to the
    // camera and reads its picture and imaging settings.
    void SelectDevice(int row);
    void PlayOrStop();
    void MoveSlider(orv::preview::PictureField field, int position);
    void Default();
    void Save();
    void Cancel();

    bool IsPlaying() const { return m_playing; }
    int LoginHandle() const { return m_handle; }
    orv::preview::ImagingCodes SavedCodes() const { return m_saved; }
    CVideoWnd* VideoArea() const { return m_video; }

protected:
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void OnRowDoubleClicked(int row) override;

private:
    void createControls();
    void layoutControls();
    void fillExposureTimes(int powerLineFrequency);
    void fillIrCut();
    void showCodes(const orv::preview::ImagingCodes& codes);
    orv::preview::ImagingCodes listCodes() const;
    void setSliders(const QvImagingSettings& picture);
    void setControlsEnabled(bool on);
    bool startLive();
    void stopLive();
    void onRowSelectionChanged(int row, bool selected);
    QSlider* slider(orv::preview::PictureField field) const;

    orv::IAppServices& m_app;
    orv::batchset::IDeviceSdk& m_sdk;
    orv::preview::IPictureSdk& m_picture;
    int m_handle = -1;
    bool m_playing = false;
    orv::preview::ImagingCodes m_saved;

    CVideoWnd* m_video = nullptr;
    QSlider* m_sliders[3] = {};
    QLabel* m_sliderLabels[3] = {};
    QPushButton* m_play = nullptr;
    QPushButton* m_default = nullptr;
    QGroupBox* m_settings = nullptr;
    QLabel* m_listLabels[3] = {};
    QComboBox* m_exposureLevel = nullptr;
    QComboBox* m_exposureTime = nullptr;
    QComboBox* m_irCut = nullptr;
    QPushButton* m_save = nullptr;
    QPushButton* m_cancel = nullptr;
};

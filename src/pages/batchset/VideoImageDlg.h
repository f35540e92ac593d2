#pragma once
// The Video/Image sub-page: the camera's primary and secondary stream and
// three image options, with exactly the frame sizes, frame rates and bit
// rates its model and mains frequency allow. In checked mode the stream
// lists follow the most limited camera of the set. Save applies imaging,
// primary and secondary stream through the batch operations.

#include "BatchSubPage.h"
#include "operations/batchset/VideoImageRules.h"

#include "operations/batchset/VideoImageRules.h"
#include <QSet>

class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace orv {
namespace batchset {
class CBatchOperations;
}
} // namespace orv

class CVideoImageDlg : public CBatchSubPage {
    Q_OBJECT
public:
    explicit CVideoImageDlg(orv::batchset::CBatchOperations& operations, QWidget* parent = nullptr);

    void SetLanguageText() override;
    void ShowSettings(const orv::batchset::DeviceSettings& settings) override;
    // The two streams of the checked set's reference camera.
    void ShowReferenceStreams(const orv::batchset::DeviceSettings& settings);
    void CheckedSetChanged(const std::vector<orv::device::DeviceInfo>& checked) override;
    void SetSaveEnabled(bool enabled) override;
    void SetCheckedMode(bool on) override;

    void ShowImageSettings(const orv::device::ImageSettings& image);
    void ShowSecondaryStream(const orv::device::StreamSettings& stream, int powerLineFrequency);
    void ShowPrimaryStream(const orv::device::StreamSettings& stream, int powerLineFrequency,
                           std::string_view model);
    void Save();

    // The model text and mains frequency the stream lists were built for.
    const std::string& KeptModel() const { return m_keptModel; }
    int KeptPowerLineFrequency() const { return m_keptFrequency; }

signals:
    // The checked set's reference camera, whose streams the page should read
    // and hand to ShowReferenceStreams.
    void referenceReadWanted(const orv::device::DeviceInfo& device);

protected:
private:
    struct StreamControls {
        QLabel* codecLabel = nullptr;
        QComboBox* codec = nullptr;
        QLabel* sizeLabel = nullptr;
        QComboBox* size = nullptr;
        QLabel* rateLabel = nullptr;
        QComboBox* rate = nullptr;
        QLabel* bitRateLabel = nullptr;
        QComboBox* bitRate = nullptr;
        QLabel* controlLabel = nullptr;
        QComboBox* control = nullptr;
        QLabel* iFrameLabel = nullptr;
        QLineEdit* iFrame = nullptr;
    };

    void createControls();
    void createStream(StreamControls& stream, const char* prefix);
    void layoutControls();
    void readReference();
    void showStreams(const orv::batchset::DeviceSettings& settings, int powerLineFrequency);
    void noteStreamsOf(const orv::batchset::DeviceSettings& settings);
    int modelClass() const;
    int primarySize() const;
    void applyEnableRule();
    void applyCodecRule();
    void applyPrimarySizeRule();
    void showNormalSecondarySizes(int position);
    orv::batchset::VideoImageForm form() const;
    // What the fields stand for as filled: a checked Save sends only what
    // differs from it or was set by hand since.
    void rememberShown();
    // Sends only what differs from what the page showed, or what was set by
    // hand: for a checked set, and for one camera where SendsOnlyChanges.
    void saveChanges(const orv::batchset::VideoImageParams& params);

    orv::batchset::CBatchOperations& m_operations;

    QGroupBox* m_primaryFrame = nullptr;
    QGroupBox* m_secondaryFrame = nullptr;
    QGroupBox* m_imageFrame = nullptr;
    StreamControls m_primary;
    StreamControls m_secondary;
    QCheckBox* m_enable = nullptr;
    QLabel* m_powerLineLabel = nullptr;
    QComboBox* m_powerLine = nullptr;
    QLabel* m_outdoorLabel = nullptr;
    QComboBox* m_outdoor = nullptr;
    QLabel* m_localDisplayLabel = nullptr;
    QComboBox* m_localDisplay = nullptr;
    QPushButton* m_save = nullptr;

    std::string m_keptModel;
    int m_keptFrequency = 50;
    // What the last camera reported, for lists that show no selection.
    orv::device::StreamSettings m_shownPrimary;
    orv::device::StreamSettings m_shownSecondary;
    orv::device::ImageSettings m_shownImage;
    // Set while the secondary size list holds "176*144" alone for a 3M
    // primary stream; the normal position it replaced comes back after.
    bool m_secondaryFor3M = false;
    // A click on a row's text checks it for a moment before the page takes
    // the check away again and loads that camera; the reference camera is
    // therefore read once the click is over, and only if checked mode lasted.
    bool m_checkedMode = false;
    bool m_referenceReadQueued = false;
    std::vector<orv::device::DeviceInfo> m_pendingChecked;
    int m_secondaryNormalPosition = orv::batchset::kStartSecondarySize;
    // The camera whose streams the lists should show but do not: its read
    // failed or has not come back. Save waits for them.
    std::optional<orv::device::DeviceInfo> m_unreadCamera;
    bool m_onlyChanges = false;
    std::optional<orv::batchset::VideoImageParams> m_shownParams;
    QSet<const QWidget*> m_setByHand; // since the fields were last filled
};

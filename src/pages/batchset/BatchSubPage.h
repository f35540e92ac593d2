#pragma once
// A sub-page of the Batch Set page. The page fills each from the selected
// camera, enables or disables their Save buttons together, and tells them
// when checked mode or the checked set changes.

#include "device/DeviceInfo.h"
#include "operations/batchset/DeviceSettings.h"

#include <QWidget>

#include <vector>

class CBatchSubPage : public QWidget {
    Q_OBJECT
public:
    using QWidget::QWidget;

    virtual void SetLanguageText() {}
    // A camera was picked: what the list tells of it is shown at once.
    virtual void ShowDevice(const orv::device::DeviceInfo& device);
    // What was read from the picked camera; fields whose read failed stay.
    virtual void ShowSettings(const orv::batchset::DeviceSettings& settings);
    // The checked devices in list order, after a check mark changed.
    virtual void CheckedSetChanged(const std::vector<orv::device::DeviceInfo>& checked);
    virtual void SetSaveEnabled(bool enabled);
    virtual void SetCheckedMode(bool on);
    // While the page's job runs, buttons that start another one wait.
    virtual void SetJobRunning(bool running);

protected:
    // Whether Save, with this one camera picked, sends only what the person
    // changed, as for a checked set: a camera this maker's protocol does not
    // reach shows its values through this maker's lists and rules, which
    // need not hold them (one port for HTTP and ONVIF, a frame size no list
    // names), and sending them back would change what nobody touched.
    static bool SendsOnlyChanges(const orv::batchset::DeviceSettings& shown) {
        return !shown.device.Speaks(orv::device::Protocol::Maker);
    }
    // Enter and Escape do nothing here: the main window must neither close
    // nor press a default button while someone edits a camera's settings.
    void keyPressEvent(QKeyEvent* event) override;
};

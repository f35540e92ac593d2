#pragma once
// The device list of a page on screen: the sortable list showing the page's
// device list in its order, with the columns of its page kind. It speaks of
// cameras, never of rows: every notification names the camera's key.

#include "DeviceList.h"
#include "ui/controls/SortListCtrl.h"

#include <optional>

namespace orv {

class CDeviceListCtrl : public ui::CSortListCtrl {
    Q_OBJECT
public:
    explicit CDeviceListCtrl(CDeviceList& list, QWidget* parent = nullptr);

    CDeviceList& List() const { return m_list; }
    // Column headers in the current language.
    void SetHeaderTexts();
    // The camera on the first highlighted row, if any.
    std::optional<device::DeviceId> SelectedDevice() const;
    // Highlights the camera's row (and only it); false when it is not listed.
    bool SelectDevice(const device::DeviceId& key);

signals:
    void deviceCheckToggled(const orv::device::DeviceId& key, bool checked);
    void deviceSelected(const orv::device::DeviceId& key);
    // A left click on a camera's row, in `column`.
    void deviceClicked(const orv::device::DeviceId& key, int column);
    void deviceDoubleClicked(const orv::device::DeviceId& key);

private:
    CDeviceList& m_list;
};

} // namespace orv

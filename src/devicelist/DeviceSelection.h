#pragma once
// Which cameras a page works on, and the rules by which clicks and checks
// change that. In single-device mode a page works on its current camera; in
// checked mode on every checked camera in the list's order. The rules here
// need no window: the page's list and widgets feed them what the person did
// and follow their signals.

#include "DeviceList.h"

#include <QObject>

#include <optional>

namespace orv {

class CDeviceSelection : public QObject {
    Q_OBJECT
public:
    explicit CDeviceSelection(CDeviceList& list, QObject* parent = nullptr);

    bool CheckedMode() const { return m_checkedMode; }
    // Switches checked mode and says so (also when it was in that mode).
    void SwitchCheckedMode(bool on);
    // The camera of single-device operations; nothing when none is chosen or
    // it has left the list.
    std::optional<device::DeviceId> Current() const;
    const DeviceRow* CurrentDevice() const;
    // Makes the camera current and announces it as picked.
    void Pick(const device::DeviceId& key);

    // A row became the selected row: outside checked mode its camera is
    // picked, unless it is current already.
    void RowSelected(const device::DeviceId& key);
    // A click on a row's texts clears that row's check; once no row stays
    // checked, Select All is cleared, checked mode ends and the clicked
    // camera is picked.
    void TextClicked(const device::DeviceId& key);
    // A person set or cleared a check: setting one switches checked mode
    // on; clearing the last one clears Select All and switches it off.
    void CheckChanged(bool nowChecked);
    // Select All: every row checked and checked mode on, or every row
    // cleared and checked mode off.
    void SelectAll(bool checked);

    // Another listed camera has the same IP address (letter case ignored).
    bool Conflicts(const device::DeviceId& key) const;
    // Some checked camera shares its address with any other listed one.
    bool CheckedSetConflicts() const;

signals:
    void checkedModeSwitched(bool on);
    void selectAllCleared();
    void picked(const orv::device::DeviceId& key);

private:
    CDeviceList& m_list;
    bool m_checkedMode = false;
    std::optional<device::DeviceId> m_current;
};

} // namespace orv

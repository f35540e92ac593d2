#include "DeviceSelection.h"

#include <QString>

#include <cstring>
#include <unordered_map>

namespace orv {

CDeviceSelection::CDeviceSelection(CDeviceList& list, QObject* parent)
    : QObject(parent), m_list(list) {
    connect(&list, &CDeviceList::deviceDropped, this, [this](const device::DeviceId& key) {
        if (m_current == key) {
            m_current.reset();
        }
    });
    connect(&list, &CDeviceList::deviceRekeyed, this,
            [this](const device::DeviceId& former, const device::DeviceId& now) {
                if (m_current == former) {
                    m_current = now;
                }
            });
}

void CDeviceSelection::SwitchCheckedMode(bool on) {
    m_checkedMode = on;
    emit checkedModeSwitched(on);
}

std::optional<device::DeviceId> CDeviceSelection::Current() const {
    return m_current && m_list.Find(*m_current) != nullptr ? m_current : std::nullopt;
}

const DeviceRow* CDeviceSelection::CurrentDevice() const {
    return m_current ? m_list.Find(*m_current) : nullptr;
}

void CDeviceSelection::Pick(const device::DeviceId& key) {
    m_current = key;
    emit picked(key);
}

void CDeviceSelection::RowSelected(const device::DeviceId& key) {
    if (!m_checkedMode && Current() != key) {
        Pick(key);
    }
}

void CDeviceSelection::TextClicked(const device::DeviceId& key) {
    m_list.SetChecked(key, false);
    if (m_list.AnyChecked()) {
        return;
    }
    emit selectAllCleared();
    SwitchCheckedMode(false);
    Pick(key);
}

void CDeviceSelection::CheckChanged(bool nowChecked) {
    if (nowChecked) {
        SwitchCheckedMode(true);
    } else if (!m_list.AnyChecked()) {
        emit selectAllCleared();
        SwitchCheckedMode(false);
    }
}

void CDeviceSelection::SelectAll(bool checked) {
    m_list.SetAllChecks(checked);
    SwitchCheckedMode(checked);
}

bool CDeviceSelection::Conflicts(const device::DeviceId& key) const {
    const DeviceRow* device = m_list.Find(key);
    if (device == nullptr) {
        return false;
    }
    const std::uint32_t address = device->info.address;
    for (const device::DeviceInfo& other : m_list.Devices()) {
        if (!(other.id == key) && other.address == address) {
            return true;
        }
    }
    return false;
}

bool CDeviceSelection::CheckedSetConflicts() const {
    std::unordered_map<std::uint32_t, int> users;
    for (const device::DeviceInfo& device : m_list.Devices()) {
        ++users[device.address];
    }
    for (const device::DeviceInfo& device : m_list.CheckedDevices()) {
        if (users[device.address] > 1) {
            return true;
        }
    }
    return false;
}

} // namespace orv

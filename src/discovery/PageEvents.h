#pragma once
// The events that carry device records from the discovery thread to the
// pages. Each device event owns its 380-byte copy of the record, so the copy
// is freed whenever Qt disposes of the event: after delivery, or unread when
// the receiver is destroyed first.

#include "qvsp/QvspTypes.h"

#include <QEvent>

#include <memory>

namespace orv {

// Numbered above the framework's user range, as the pages expect them.
inline constexpr QEvent::Type kDeviceFoundEvent = static_cast<QEvent::Type>(0x499);
inline constexpr QEvent::Type kModifyDoneEvent = static_cast<QEvent::Type>(0x500);
inline constexpr QEvent::Type kRenumberListEvent = static_cast<QEvent::Type>(0x501);

class CDeviceEvent : public QEvent {
public:
    CDeviceEvent(QEvent::Type type, const tagQvIpcInfo& record);
    const tagQvIpcInfo& Record() const { return *m_record; }

private:
    std::unique_ptr<tagQvIpcInfo> m_record;
};

} // namespace orv

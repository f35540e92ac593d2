#include "PageEvents.h"

namespace orv {

CDeviceEvent::CDeviceEvent(QEvent::Type type, const tagQvIpcInfo& record)
    : QEvent(type), m_record(std::make_unique<tagQvIpcInfo>(record)) {}

} // namespace orv

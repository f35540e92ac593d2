#include "NameRules.h"

#include "protocols/qv/RecordText.h"

namespace orv {

std::wstring CutDeviceName(const std::wstring& name) {
    return CutToRecordField(name, kCpUtf8, kDeviceNameField);
}

} // namespace orv

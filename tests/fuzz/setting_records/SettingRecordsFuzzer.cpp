// Any bytes as a setting's record (the first byte picks the setting): a
// record that reads writes back to a record that reads to the same value,
// and a summary of any two records is made without failing.

#include "device/SettingsRecord.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

template <class T>
void roundTrip(std::string_view record) {
    T value{};
    if (!orv::device::ReadRecord(record, value)) {
        return;
    }
    const std::string written = orv::device::RecordOf(value);
    T again{};
    check(orv::device::ReadRecord(written, again));
    check(orv::device::RecordOf(again) == written);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::string_view record(reinterpret_cast<const char*>(data) + 1, size - 1);
    switch (data[0] % 8) {
    case 0:
        roundTrip<orv::device::TimeSettings>(record);
        break;
    case 1:
        roundTrip<orv::device::PortSettings>(record);
        break;
    case 2:
        roundTrip<orv::device::DdnsSettings>(record);
        break;
    case 3:
        roundTrip<orv::device::StreamSettings>(record);
        break;
    case 4:
        roundTrip<orv::device::ImageSettings>(record);
        break;
    case 5:
        roundTrip<orv::device::PictureSettings>(record);
        break;
    case 6:
        roundTrip<orv::device::AddressChange>(record);
        break;
    default:
        roundTrip<QString>(record);
        break;
    }
    const std::size_t half = record.size() / 2;
    (void)orv::device::ChangeSummary(std::string(record.substr(0, half)),
                                     std::string(record.substr(half)));
    return 0;
}

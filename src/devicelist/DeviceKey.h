#pragma once
// A camera's identity in every list: all 8 bytes of its MAC field. Pages
// keep this, never a row number, so sorting, new rows and dropped rows can
// never make an operation reach another camera.

#include "qvsp/QvspTypes.h"

#include <array>
#include <cstdint>
#include <cstring>
#include <functional>

namespace orv {

struct DeviceKey {
    std::array<std::uint8_t, 8> bytes{};

    static DeviceKey Of(const tagQvIpcInfo& record) {
        DeviceKey key;
        std::memcpy(key.bytes.data(), record.Mac, key.bytes.size());
        return key;
    }
    bool operator==(const DeviceKey&) const = default;
};

struct DeviceKeyHash {
    std::size_t operator()(const DeviceKey& key) const {
        std::uint64_t v = 0;
        std::memcpy(&v, key.bytes.data(), sizeof v);
        return std::hash<std::uint64_t>{}(v);
    }
};

} // namespace orv

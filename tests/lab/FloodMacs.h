#pragma once
// The invented cameras of the flood station: locally administered MACs
// 02:46:4c:xx:xx:xx ("FL"), numbered from 0, never those of the lab's tool
// adapters (02:4f:56:...) or of the simulator's cameras.

#include "qvsp/wire/Frame.h"

inline constexpr int kMaxFloodCameras = 1 << 20;

inline qvsp::wire::MacAddress FloodMac(int index) {
    return {0x02,
            0x46,
            0x4c,
            static_cast<std::uint8_t>(index >> 16),
            static_cast<std::uint8_t>(index >> 8),
            static_cast<std::uint8_t>(index)};
}

inline bool IsFloodMac(const unsigned char* mac) {
    return mac[0] == 0x02 && mac[1] == 0x46 && mac[2] == 0x4c;
}

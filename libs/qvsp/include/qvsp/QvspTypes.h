#pragma once

// Records exchanged between the discovery library and the program. They are
// plain, fixed-layout structures because they cross a library boundary and
// are copied byte for byte into window messages.

#include <cstddef>
#include <cstdint>

// Message types handed to the capture callback.
inline constexpr int CAP_SEARCH_RESP = 1;
inline constexpr int CAP_MODIFY_RESULT = 3;
// Capture on the adapter has ended for good: the record names the adapter
// (Mac: its MAC, DevName: its name) and Result holds a QVSP_ERROR_ value.
inline constexpr int CAP_CAPTURE_STOPPED = 4;

// One camera. Text fields are zero-terminated inside their width; DevName is
// UTF-8. In a modify request the same record carries the requested values.
struct tagQvIpcInfo {
    std::uint8_t Mac[8];
    char UserName[32];
    char Password[16];
    char DevName[64];
    char IpAddr[32];
    std::int32_t HttpPort;
    char NetMask[32];
    char Gateway[32];
    char Dns[32];
    char Model[32];
    char Version[32];
    char Reserved[32];
    char DisplayModel[32];
};

static_assert(sizeof(tagQvIpcInfo) == 380);
static_assert(offsetof(tagQvIpcInfo, Mac) == 0);
static_assert(offsetof(tagQvIpcInfo, UserName) == 8);
static_assert(offsetof(tagQvIpcInfo, Password) == 40);
static_assert(offsetof(tagQvIpcInfo, DevName) == 56);
static_assert(offsetof(tagQvIpcInfo, IpAddr) == 120);
static_assert(offsetof(tagQvIpcInfo, HttpPort) == 152);
static_assert(offsetof(tagQvIpcInfo, NetMask) == 156);
static_assert(offsetof(tagQvIpcInfo, Gateway) == 188);
static_assert(offsetof(tagQvIpcInfo, Dns) == 220);
static_assert(offsetof(tagQvIpcInfo, Model) == 252);
static_assert(offsetof(tagQvIpcInfo, Version) == 284);
static_assert(offsetof(tagQvIpcInfo, Reserved) == 316);
static_assert(offsetof(tagQvIpcInfo, DisplayModel) == 348);

// What the callback receives: the record, and for CAP_MODIFY_RESULT the
// outcome (0 = applied, anything else = refused or unanswered).
struct tagMsgInfo {
    tagQvIpcInfo Info;
    std::int32_t Result;
};

static_assert(offsetof(tagMsgInfo, Result) == 380);
static_assert(sizeof(tagMsgInfo) == 384);

// Result words of CAP_MODIFY_RESULT besides 0.
inline constexpr std::int32_t QVSP_RESULT_BAD_PROOF = 1;   // wrong user name or password
inline constexpr std::int32_t QVSP_RESULT_BAD_VALUES = 2;  // address, mask or port unusable
inline constexpr std::int32_t QVSP_RESULT_NO_ANSWER = 3;   // the camera stopped answering
inline constexpr std::int32_t QVSP_RESULT_STALE_NONCE = 4; // challenge unknown or expired

// Why discovery cannot run on an adapter: the result of a failed InitQvsp,
// and the result word of CAP_CAPTURE_STOPPED.
inline constexpr std::int32_t QVSP_ERROR_NO_ADAPTER = -1;    // no such adapter with a MAC
inline constexpr std::int32_t QVSP_ERROR_NO_PERMISSION = -2; // capture needs root or cap_net_raw
inline constexpr std::int32_t QVSP_ERROR_CAPTURE = -3;       // opening or reading failed otherwise
inline constexpr std::int32_t QVSP_ERROR_ADAPTER_GONE = -4;  // the adapter was removed while in use

// One network adapter as listed by CQvsp::SearchAdapter.
struct QvAdapter {
    char Name[256];
    char Description[256];
    std::uint8_t Mac[6];
    std::uint8_t Unused[2];
};

static_assert(sizeof(QvAdapter) == 520);
static_assert(offsetof(QvAdapter, Description) == 256);
static_assert(offsetof(QvAdapter, Mac) == 512);

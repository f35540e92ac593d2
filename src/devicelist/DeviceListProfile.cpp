#include "DeviceListProfile.h"

#include "text/TextConv.h"

#include <cstdio>
#include <cstring>

namespace orv {
namespace {

constexpr DeviceColumn kCheck{DeviceField::CheckBox, 20, nullptr, L""};
constexpr DeviceColumn kNumber{DeviceField::Number, 30, nullptr, L""};

std::vector<DeviceColumn> wideColumns() {
    return {kCheck,
            kNumber,
            {DeviceField::DeviceName, 120, L"20000", L"Device Name"},
            {DeviceField::Mac, 120, L"20001", L"MAC"},
            {DeviceField::Ip, 120, L"20002", L"IP"},
            {DeviceField::Port, 40, L"20003", L"Port"},
            {DeviceField::Netmask, 120, L"20004", L"Netmask"},
            {DeviceField::Gateway, 120, L"20005", L"Gateway"},
            {DeviceField::Model, 120, L"20006", L"Model"},
            {DeviceField::Version, 100, L"20007", L"Version"}};
}

std::vector<DeviceColumn> narrowColumns(bool checkBoxes) {
    std::vector<DeviceColumn> columns;
    if (checkBoxes) {
        columns.push_back(kCheck);
    }
    columns.push_back(kNumber);
    columns.push_back({DeviceField::DeviceName, 80, L"20000", L"Device Name"});
    columns.push_back({DeviceField::Mac, 120, L"20001", L"MAC"});
    columns.push_back({DeviceField::Ip, 120, L"20002", L"IP"});
    columns.push_back({DeviceField::Model, 80, L"20006", L"Model"});
    return columns;
}

template <size_t N>
std::wstring fieldText(const char (&field)[N], int codePage) {
    const std::string_view bytes(field, strnlen(field, N));
    std::wstring text = codePage == kCpUtf8 ? FromUtf8(bytes) : FromAnsi(bytes);
    if (text.size() > 255) {
        text.resize(255);
    }
    return text;
}

} // namespace

const DeviceListProfile& ProfileFor(DeviceListKind kind) {
    static const DeviceListProfile specs[] = {
        {DeviceListKind::NetworkSettings, true, wideColumns(), 4, 1, 4, SortAfterAdd::IpAscending,
         1000, false, 1},
        {DeviceListKind::BatchSet, true, narrowColumns(true), 4, 1, 4, SortAfterAdd::IpAscending,
         1001, false, 0},
        {DeviceListKind::BatchUpgrade, true, wideColumns(), 4, 1, 9, SortAfterAdd::CurrentColumn,
         1000, false, 0},
        {DeviceListKind::VideoPreviews, false, narrowColumns(false), 3, 0, 3,
         SortAfterAdd::IpAscending, 1000, false, 0},
        {DeviceListKind::Oem, true, wideColumns(), 4, 1, 4, SortAfterAdd::CurrentColumn, 1000, true,
         0},
    };
    return specs[static_cast<int>(kind)];
}

std::wstring MacCellText(const tagQvIpcInfo& r) {
    wchar_t text[32] = {};
    std::swprintf(text, 32, L"%.2X:%.2X:%.2X:%.2X:%.2X:%.2X", r.Mac[0], r.Mac[1], r.Mac[2],
                  r.Mac[3], r.Mac[4], r.Mac[5]);
    return text;
}

std::wstring CellText(DeviceField field, const tagQvIpcInfo& r, bool modelOnly) {
    switch (field) {
    case DeviceField::CheckBox:
    case DeviceField::Number:
        return {};
    case DeviceField::DeviceName:
        return fieldText(r.DevName, kCpUtf8);
    case DeviceField::Mac:
        return MacCellText(r);
    case DeviceField::Ip:
        return fieldText(r.IpAddr, kCpAnsi);
    case DeviceField::Port:
        return std::to_wstring(r.HttpPort);
    case DeviceField::Netmask:
        return fieldText(r.NetMask, kCpAnsi);
    case DeviceField::Gateway:
        return fieldText(r.Gateway, kCpAnsi);
    case DeviceField::Model:
        return !modelOnly && r.DisplayModel[0] != '\0' ? fieldText(r.DisplayModel, kCpAnsi)
                                                       : fieldText(r.Model, kCpAnsi);
    case DeviceField::Version:
        return fieldText(r.Version, kCpAnsi);
    }
    return {};
}

} // namespace orv

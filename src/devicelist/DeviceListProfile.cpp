#include "DeviceListProfile.h"

#include "lang/Language.h"
#include "text/Printable.h"
#include "text/TextConv.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

namespace orv {
namespace {

constexpr DeviceColumn kCheck{DeviceField::CheckBox, 20, nullptr, L""};
constexpr DeviceColumn kNumber{DeviceField::Number, 30, nullptr, L""};
// Last on every page, so the columns the pages know by number stay where
// they are.
constexpr DeviceColumn kProtocol{DeviceField::Protocol, 90, L"20040", L"Protocol"};

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
            {DeviceField::Version, 100, L"20007", L"Version"},
            kProtocol};
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
    columns.push_back(kProtocol);
    return columns;
}

// A camera's text as a one-line cell shows it: its control characters and
// directional marks as escapes, at most 255 characters.
QString cell(const QString& text) {
    // Every character Printable escapes lies in the basic plane, so a look
    // at each UTF-16 unit spares the common text a conversion.
    const bool raw =
        std::any_of(text.begin(), text.end(), [](QChar c) { return Unprintable(c.unicode()); });
    const QString shown = raw ? QString::fromStdString(Printable(text.toStdString())) : text;
    return shown.size() > 255 ? shown.left(255) : shown;
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

QString MacCellText(const device::DeviceInfo& d) {
    return d.mac ? QString::fromStdString(device::MacText(*d.mac)) : QString();
}

QString CellText(DeviceField field, const device::DeviceInfo& d, bool modelOnly) {
    switch (field) {
    case DeviceField::CheckBox:
    case DeviceField::Number:
        return {};
    case DeviceField::DeviceName:
        return cell(d.name);
    case DeviceField::Mac:
        return MacCellText(d);
    case DeviceField::Ip:
        return d.AddressText();
    case DeviceField::Port:
        return QString::number(d.ports.http);
    case DeviceField::Netmask:
        return device::Ipv4Text(d.netmask);
    case DeviceField::Gateway:
        return device::Ipv4Text(d.gateway);
    case DeviceField::Model:
        return cell(modelOnly ? d.model : d.ShownModel());
    case DeviceField::Version:
        return cell(d.firmware);
    case DeviceField::Protocol:
        return ProtocolText(d);
    }
    return {};
}

QString ProtocolText(const device::DeviceInfo& d) {
    QString text;
    for (const device::ServiceAddress& service : d.services) {
        if (!text.isEmpty()) {
            text += ", ";
        }
        text += service.protocol == device::Protocol::Onvif
                    ? QStringLiteral("ONVIF")
                    : QString::fromStdWString(TheLanguage().Text(L"20041", L"Native"));
    }
    return text;
}

} // namespace orv

namespace orv {

namespace {

QString camerasLine(const wchar_t* id, const wchar_t* english,
                    const std::vector<DeviceRow>& offline) {
    constexpr std::size_t kNamed = 10;
    QStringList names;
    for (std::size_t i = 0; i < std::min(offline.size(), kNamed); ++i) {
        const device::DeviceInfo& d = offline[i].info;
        names << (d.name.isEmpty() ? d.AddressText() : d.name);
    }
    if (offline.size() > kNamed) {
        names << QStringLiteral("...");
    }
    return QString::fromStdWString(TheLanguage().Text(id, english))
        .arg(offline.size())
        .arg(names.join(QStringLiteral(", ")));
}

} // namespace

QString LeftOutLine(const std::vector<DeviceRow>& offline) {
    return camerasLine(L"96010", L"Left out, offline: %1 cameras (%2).", offline);
}

QString NotAnsweringLine(const std::vector<DeviceRow>& cameras) {
    return camerasLine(L"96011", L"Left out, not answering: %1 cameras (%2).", cameras);
}

} // namespace orv

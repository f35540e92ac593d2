#include "NetworkParamRules.h"

#include "pages/common/RecordText.h"

#include <cstdio>
#include <functional>
#include <string_view>

namespace orv::batchset {

// Public dynamic-DNS services. Entries 2 and 3 are listed by a member host
// and named in the record by their bare domain.
const std::array<DdnsProvider, kProviderCount> kProviders = {{
    {L"dynu.com", "dynu.com"},
    {L"freedns.afraid.org", "freedns.afraid.org"},
    {L"members.dyndns.org", "dyndns.org"},
    {L"dynupdate.no-ip.com", "no-ip.com"},
}};

int ProviderIndexFor(const std::wstring& recordText) {
    for (int i = 0; i < kProviderCount - 1; ++i) {
        if (std::wstring_view(kProviders[static_cast<size_t>(i)].listText).find(recordText) !=
            std::wstring_view::npos) {
            return i;
        }
    }
    return kProviderCount - 1;
}

namespace {

std::wstring trimmed(const std::wstring& text) {
    const size_t first = text.find_first_not_of(L" \t");
    if (first == std::wstring::npos) {
        return {};
    }
    const size_t last = text.find_last_not_of(L" \t");
    return text.substr(first, last - first + 1);
}

// Decimal value of a digits-only field; the field takes at most five digits,
// so anything longer is read as far as an int goes.
int portValue(const std::wstring& text) {
    long value = 0;
    for (const wchar_t c : text) {
        if (c < L'0' || c > L'9' || value > 99999999) {
            break;
        }
        value = value * 10 + (c - L'0');
    }
    return static_cast<int>(value);
}

} // namespace

NetworkParams CheckNetworkParams(const PortForm& ports, const DdnsForm& ddns) {
    NetworkParams out = CheckPorts(ports);
    if (out.error) {
        return out;
    }
    const NetworkParams checked = CheckDdns(ddns);
    out.ddns = checked.ddns;
    out.error = checked.error;
    out.field = checked.field;
    return out;
}

NetworkParams CheckPorts(const PortForm& form) {
    NetworkParams out;
    const std::wstring http = trimmed(form.http);
    const std::wstring rtsp1 = trimmed(form.rtsp1);
    const std::wstring rtsp2 = trimmed(form.rtsp2);
    const std::wstring onvif = trimmed(form.onvif);
    if (http.empty()) {
        out.error = kHttpPortEmpty;
    } else if (rtsp1.empty()) {
        out.error = kRtspPort1Empty;
    } else if (rtsp2.empty()) {
        out.error = kRtspPort2Empty;
    } else if (onvif.empty()) {
        out.error = kOnvifPortEmpty;
    }
    if (out.error) {
        return out;
    }
    const int values[4] = {portValue(http), portValue(rtsp1), portValue(rtsp2), portValue(onvif)};
    for (int i = 0; i < 4; ++i) {
        for (int j = i + 1; j < 4; ++j) {
            if (values[i] == values[j]) {
                out.error = kSamePort;
                return out;
            }
        }
    }
    out.ports.httpPort = values[0];
    out.ports.onvifPort = values[3];
    out.ports.rtspPort1 = values[1];
    out.ports.rtspPort2 = values[2];
    out.ports.reserved = 0;
    return out;
}

NetworkParams CheckDdns(const DdnsForm& ddns) {
    NetworkParams out;
    const int provider =
        ddns.provider >= 0 && ddns.provider < kProviderCount ? ddns.provider : kProviderCount - 1;
    out.ddns.enable = ddns.enable ? 1 : 0;
    std::snprintf(out.ddns.provider, sizeof out.ddns.provider, "%s",
                  kProviders[static_cast<size_t>(provider)].recordText);
    if (!ddns.enable) {
        return out;
    }
    QvDdnsInfo& r = out.ddns;
    struct Field {
        const std::wstring& text;
        const Message& empty;
        const Message& label;
        bool required;
        std::function<bool(const std::wstring&)> put;
    };
    const Field fields[] = {
        {ddns.user, kDdnsUserEmpty, kDdnsUserLabel, true,
         [&r](const std::wstring& t) { return PutRecordText(r.user, t, kCpAnsi); }},
        {ddns.password, kDdnsPasswordEmpty, kDdnsPasswordLabel, true,
         [&r](const std::wstring& t) { return PutRecordText(r.password, t, kCpAnsi); }},
        {ddns.host, kDdnsHostEmpty, kDdnsHostLabel, true,
         [&r](const std::wstring& t) { return PutRecordText(r.host, t, kCpAnsi); }},
        {ddns.hash, kDdnsHashEmpty, kDdnsHashLabel, provider == kHashProvider,
         [&r](const std::wstring& t) { return PutRecordText(r.hash, t, kCpAnsi); }},
    };
    for (const Field& field : fields) {
        const std::wstring text = trimmed(field.text);
        if (text.empty() && field.required) {
            out.error = field.empty;
            return out;
        }
        // A hash that the chosen provider does not use may stay behind.
        if (!field.put(text) && field.required) {
            out.error = kTooLongForCamera;
            out.field = field.label;
            return out;
        }
    }
    return out;
}

} // namespace orv::batchset

#include "NetworkParamRules.h"

#include "protocols/qv/RecordText.h"

#include <cstdio>
#include <cstring>
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

namespace orv::batchset {

CheckedChange CheckChanges(const PortForm& shown, const PortForm& typed, const DdnsForm& shownDdns,
                           const DdnsForm& typedDdns) {
    CheckedChange out;
    const auto touched = [](const std::wstring& before, const std::wstring& now,
                            std::optional<std::int32_t>& slot) {
        const std::wstring text = trimmed(now);
        if (!text.empty() && text != trimmed(before)) {
            slot = portValue(text);
        }
    };
    PortChange& p = out.ports;
    touched(shown.http, typed.http, p.http);
    touched(shown.rtsp1, typed.rtsp1, p.rtsp1);
    touched(shown.rtsp2, typed.rtsp2, p.rtsp2);
    touched(shown.onvif, typed.onvif, p.onvif);
    const std::optional<std::int32_t>* changed[] = {&p.http, &p.rtsp1, &p.rtsp2, &p.onvif};
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            if (*changed[i] && *changed[j] && **changed[i] == **changed[j]) {
                out.error = kSamePort;
                return out;
            }
        }
    }

    DdnsChange& d = out.ddns;
    d.enable = shownDdns.enable != typedDdns.enable;
    d.provider = shownDdns.provider != typedDdns.provider;
    d.user = trimmed(shownDdns.user) != trimmed(typedDdns.user);
    d.password = trimmed(shownDdns.password) != trimmed(typedDdns.password);
    d.host = trimmed(shownDdns.host) != trimmed(typedDdns.host);
    d.hash = trimmed(shownDdns.hash) != trimmed(typedDdns.hash);
    if (d.Any()) {
        const NetworkParams checked = CheckDdns(typedDdns);
        out.error = checked.error;
        out.field = checked.field;
        d.record = checked.ddns;
        if (!typedDdns.enable) {
            // Switched off: the texts as typed still go where they were
            // touched, so a later switch-on finds them.
            PutRecordText(d.record.user, trimmed(typedDdns.user), kCpAnsi);
            PutRecordText(d.record.password, trimmed(typedDdns.password), kCpAnsi);
            PutRecordText(d.record.host, trimmed(typedDdns.host), kCpAnsi);
            PutRecordText(d.record.hash, trimmed(typedDdns.hash), kCpAnsi);
        }
    }
    return out;
}

std::string ApplyPortChange(QvPortInfo& camera, const PortChange& change) {
    QvPortInfo merged = camera;
    merged.httpPort = change.http.value_or(camera.httpPort);
    merged.onvifPort = change.onvif.value_or(camera.onvifPort);
    merged.rtspPort1 = change.rtsp1.value_or(camera.rtspPort1);
    merged.rtspPort2 = change.rtsp2.value_or(camera.rtspPort2);
    const std::pair<const char*, std::int32_t> ports[] = {{"HTTP", merged.httpPort},
                                                          {"RTSP1", merged.rtspPort1},
                                                          {"RTSP2", merged.rtspPort2},
                                                          {"ONVIF", merged.onvifPort}};
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            if (ports[i].second == ports[j].second) {
                return std::string(ports[i].first) + " " + std::to_string(ports[i].second) + " = " +
                       ports[j].first;
            }
        }
    }
    camera = merged;
    return {};
}

void ApplyDdnsChange(QvDdnsInfo& camera, const DdnsChange& change) {
    const QvDdnsInfo& r = change.record;
    const auto copy = [](bool touched, auto& to, const auto& from) {
        if (touched) {
            std::memcpy(&to, &from, sizeof to);
        }
    };
    copy(change.enable, camera.enable, r.enable);
    copy(change.provider, camera.provider, r.provider);
    copy(change.user, camera.user, r.user);
    copy(change.password, camera.password, r.password);
    copy(change.host, camera.host, r.host);
    copy(change.hash, camera.hash, r.hash);
}

} // namespace orv::batchset

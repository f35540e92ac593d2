#include "NetworkParamRules.h"

#include <string_view>

namespace orv::batchset {

// Public dynamic-DNS services. Entries 2 and 3 are listed by a member host
// and named in a camera's settings by their bare domain.
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

QString text(const std::wstring& text) {
    return QString::fromStdWString(text);
}

// The text as the cameras keep it: whole, or empty where one does not fit.
QString kept(const device::CDriverSet& drivers, device::TextField field,
             const std::wstring& typed) {
    const QString whole = text(typed);
    return drivers.Takes(field, whole) ? whole : QString();
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

NetworkParams CheckNetworkParams(const PortForm& ports, const DdnsForm& ddns,
                                 const device::CDriverSet& drivers) {
    NetworkParams out = CheckPorts(ports);
    if (out.error) {
        return out;
    }
    const NetworkParams checked = CheckDdns(ddns, drivers);
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
    out.ports.ports.http = values[0];
    out.ports.ports.onvif = values[3];
    out.ports.ports.rtsp = values[1];
    out.ports.ports.rtsp2 = values[2];
    return out;
}

NetworkParams CheckDdns(const DdnsForm& ddns, const device::CDriverSet& drivers) {
    NetworkParams out;
    const int provider =
        ddns.provider >= 0 && ddns.provider < kProviderCount ? ddns.provider : kProviderCount - 1;
    out.ddns.enabled = ddns.enable;
    out.ddns.provider = QString::fromLatin1(kProviders[static_cast<size_t>(provider)].recordText);
    if (!ddns.enable) {
        return out;
    }
    device::DdnsSettings& d = out.ddns;
    struct Field {
        const std::wstring& text;
        const Message& empty;
        const Message& label;
        bool required;
        device::TextField kind;
        QString& slot;
    };
    const Field fields[] = {
        {ddns.user, kDdnsUserEmpty, kDdnsUserLabel, true, device::TextField::DdnsUser, d.user},
        {ddns.password, kDdnsPasswordEmpty, kDdnsPasswordLabel, true,
         device::TextField::DdnsPassword, d.password},
        {ddns.host, kDdnsHostEmpty, kDdnsHostLabel, true, device::TextField::DdnsHost, d.host},
        {ddns.hash, kDdnsHashEmpty, kDdnsHashLabel, provider == kHashProvider,
         device::TextField::DdnsHash, d.hash},
    };
    for (const Field& field : fields) {
        const std::wstring typed = trimmed(field.text);
        if (typed.empty() && field.required) {
            out.error = field.empty;
            return out;
        }
        // A hash that the chosen provider does not use may stay behind.
        if (field.required && !drivers.Takes(field.kind, text(typed))) {
            out.error = kTooLongForCamera;
            out.field = field.label;
            return out;
        }
        field.slot = kept(drivers, field.kind, typed);
    }
    return out;
}

} // namespace orv::batchset

namespace orv::batchset {

CheckedChange CheckChanges(const PortForm& shown, const PortForm& typed, const DdnsForm& shownDdns,
                           const DdnsForm& typedDdns, const device::CDriverSet& drivers) {
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
        const NetworkParams checked = CheckDdns(typedDdns, drivers);
        out.error = checked.error;
        out.field = checked.field;
        d.settings = checked.ddns;
        if (!typedDdns.enable) {
            // Switched off: the texts as typed still go where they were
            // touched, so a later switch-on finds them.
            using device::TextField;
            d.settings.user = kept(drivers, TextField::DdnsUser, trimmed(typedDdns.user));
            d.settings.password =
                kept(drivers, TextField::DdnsPassword, trimmed(typedDdns.password));
            d.settings.host = kept(drivers, TextField::DdnsHost, trimmed(typedDdns.host));
            d.settings.hash = kept(drivers, TextField::DdnsHash, trimmed(typedDdns.hash));
        }
    }
    return out;
}

std::string ApplyPortChange(device::PortSettings& camera, const PortChange& change) {
    device::Ports merged = camera.ports;
    merged.http = change.http.value_or(camera.ports.http);
    merged.onvif = change.onvif.value_or(camera.ports.onvif);
    merged.rtsp = change.rtsp1.value_or(camera.ports.rtsp);
    merged.rtsp2 = change.rtsp2.value_or(camera.ports.rtsp2);
    const std::pair<const char*, int> ports[] = {{"HTTP", merged.http},
                                                 {"RTSP1", merged.rtsp},
                                                 {"RTSP2", merged.rtsp2},
                                                 {"ONVIF", merged.onvif}};
    // Only a change can make two ports one: a port the camera itself serves
    // two ways (another maker's camera answers ONVIF on its HTTP port) stays.
    const bool changed[] = {change.http.has_value(), change.rtsp1.has_value(),
                            change.rtsp2.has_value(), change.onvif.has_value()};
    for (std::size_t i = 0; i < 4; ++i) {
        for (std::size_t j = i + 1; j < 4; ++j) {
            if (ports[i].second == ports[j].second && (changed[i] || changed[j])) {
                return std::string(ports[i].first) + " " + std::to_string(ports[i].second) + " = " +
                       ports[j].first;
            }
        }
    }
    camera.ports = merged;
    return {};
}

void ApplyDdnsChange(device::DdnsSettings& camera, const DdnsChange& change) {
    const device::DdnsSettings& typed = change.settings;
    if (change.enable) {
        camera.enabled = typed.enabled;
    }
    const std::pair<bool, QString device::DdnsSettings::*> texts[] = {
        {change.provider, &device::DdnsSettings::provider},
        {change.user, &device::DdnsSettings::user},
        {change.password, &device::DdnsSettings::password},
        {change.host, &device::DdnsSettings::host},
        {change.hash, &device::DdnsSettings::hash}};
    for (const auto& [touched, text] : texts) {
        if (touched) {
            camera.*text = typed.*text;
        }
    }
}

} // namespace orv::batchset

#include "core/Camera.h"

#include "qvsp/wire/Records.h"

#include <bit>
#include <cstdio>

namespace camsim {

using qvsp::wire::ipv4Text;
using qvsp::wire::parseIpv4;

std::string macText(const MacAddress& mac) {
    char buf[18];
    std::snprintf(buf, sizeof buf, "%02x:%02x:%02x:%02x:%02x:%02x", mac[0], mac[1], mac[2], mac[3],
                  mac[4], mac[5]);
    return buf;
}

std::optional<MacAddress> parseMac(std::string_view text) {
    if (text.size() != 17)
        return std::nullopt;
    MacAddress mac{};
    for (std::size_t i = 0; i < 6; ++i) {
        if (i > 0 && text[i * 3 - 1] != ':')
            return std::nullopt;
        unsigned value = 0;
        for (std::size_t k = 0; k < 2; ++k) {
            const char c = text[i * 3 + k];
            value <<= 4;
            if (c >= '0' && c <= '9')
                value |= static_cast<unsigned>(c - '0');
            else if (c >= 'a' && c <= 'f')
                value |= static_cast<unsigned>(c - 'a' + 10);
            else if (c >= 'A' && c <= 'F')
                value |= static_cast<unsigned>(c - 'A' + 10);
            else
                return std::nullopt;
        }
        mac[i] = static_cast<std::uint8_t>(value);
    }
    return mac;
}

std::optional<int> prefixLength(std::uint32_t netmask) {
    const int ones = std::popcount(netmask);
    if (ones == 0 || std::countl_one(netmask) != ones)
        return std::nullopt;
    return ones;
}

nlohmann::json toJson(const Camera& c) {
    return {
        {"mac", macText(c.mac)},
        {"name", c.name},
        {"ip", ipv4Text(c.net.ip)},
        {"netmask", ipv4Text(c.net.netmask)},
        {"gateway", ipv4Text(c.net.gateway)},
        {"dns", ipv4Text(c.net.dns)},
        {"http_port", c.net.httpPort},
        {"model", c.model},
        {"version", c.version},
        {"display_model", c.displayModel},
        {"user", c.user},
        {"password", c.password},
        {"deviceConfig", c.deviceConfig},
        {"maker", c.maker},
        {"onvif", c.onvif},
    };
}

namespace {

bool text(const nlohmann::json& j, const char* key, std::size_t width, std::string& out,
          std::string& error) {
    const auto it = j.find(key);
    if (it == j.end() || !it->is_string()) {
        error = std::string("\"") + key + "\" must be a text";
        return false;
    }
    out = it->get<std::string>();
    if (out.size() >= width) {
        error =
            std::string("\"") + key + "\" is longer than " + std::to_string(width - 1) + " bytes";
        return false;
    }
    return true;
}

bool address(const nlohmann::json& j, const char* key, std::uint32_t& out, std::string& error) {
    std::string t;
    if (!text(j, key, 16, t, error))
        return false;
    const auto a = parseIpv4(t);
    if (!a || t.empty()) {
        error = std::string("\"") + key + "\" is not an IPv4 address: " + t;
        return false;
    }
    out = *a;
    return true;
}

} // namespace

std::optional<Camera> cameraFromJson(const nlohmann::json& j, std::string& error) {
    if (!j.is_object()) {
        error = "a camera must be an object";
        return std::nullopt;
    }
    Camera c;
    std::string mac;
    if (!text(j, "mac", 18, mac, error))
        return std::nullopt;
    const auto parsed = parseMac(mac);
    if (!parsed) {
        error = "\"mac\" is not a MAC address: " + mac;
        return std::nullopt;
    }
    c.mac = *parsed;
    using qvsp::wire::kModelWidth;
    if (!text(j, "name", qvsp::wire::kNameWidth, c.name, error) ||
        !address(j, "ip", c.net.ip, error) || !address(j, "netmask", c.net.netmask, error) ||
        !address(j, "gateway", c.net.gateway, error) || !address(j, "dns", c.net.dns, error) ||
        !text(j, "model", kModelWidth, c.model, error) ||
        !text(j, "version", qvsp::wire::kVersionWidth, c.version, error) ||
        !text(j, "display_model", qvsp::wire::kDisplayModelWidth, c.displayModel, error) ||
        !text(j, "user", qvsp::wire::kUserWidth, c.user, error) ||
        !text(j, "password", 16, c.password, error))
        return std::nullopt;
    const auto port = j.find("http_port");
    if (port == j.end() || !port->is_number_integer() || port->get<long long>() < 1 ||
        port->get<long long>() > 65535) {
        error = "\"http_port\" must be a number from 1 to 65535";
        return std::nullopt;
    }
    c.net.httpPort = port->get<std::uint16_t>();
    if (!prefixLength(c.net.netmask)) {
        error = "\"netmask\" is not a contiguous netmask";
        return std::nullopt;
    }
    if (const auto cfg = j.find("deviceConfig"); cfg != j.end())
        c.deviceConfig = *cfg;
    // Both are newer than the first state files, which lack them.
    if (const auto maker = j.find("maker"); maker != j.end()) {
        if (!maker->is_string() || maker->get_ref<const std::string&>().size() > 63) {
            error = "\"maker\" must be a text of at most 63 bytes";
            return std::nullopt;
        }
        c.maker = maker->get<std::string>();
    }
    if (const auto onvif = j.find("onvif"); onvif != j.end()) {
        if (!onvif->is_object()) {
            error = "\"onvif\" must be an object";
            return std::nullopt;
        }
        c.onvif = *onvif;
    }
    return c;
}

} // namespace camsim

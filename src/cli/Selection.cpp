#include "Selection.h"

#include "operations/network/AddressPlan.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <functional>
#include <optional>

namespace orv::cli {
namespace {

std::optional<std::uint32_t> address(const std::string& text) {
    in_addr a{};
    if (inet_pton(AF_INET, text.c_str(), &a) != 1) {
        return std::nullopt;
    }
    return ntohl(a.s_addr);
}

bool sameText(std::string a, std::string b) {
    const auto low = [](std::string& s) {
        std::transform(s.begin(), s.end(), s.begin(),
                       [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    };
    low(a);
    low(b);
    return a == b;
}

std::vector<std::string> split(const std::string& text) {
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t comma = text.find(',', start);
        parts.push_back(text.substr(start, comma - start));
        if (comma == std::string::npos) {
            return parts;
        }
        start = comma + 1;
    }
}

} // namespace

SelectResult SelectCameras(const std::vector<device::DeviceInfo>& cameras,
                           const std::vector<std::string>& terms) {
    SelectResult result;
    std::vector<bool> chosen(cameras.size(), terms.empty());
    for (const std::string& term : terms) {
        const std::size_t eq = term.find('=');
        const std::string kind = term.substr(0, eq);
        const std::string value = eq == std::string::npos ? "" : term.substr(eq + 1);
        std::vector<std::function<bool(const device::DeviceInfo&)>> tests;
        if (term == "all") {
            tests.emplace_back([](const device::DeviceInfo&) { return true; });
        } else if (kind == "mac" && !value.empty()) {
            for (const std::string& m : split(value)) {
                const std::optional<plan::Mac> mac = plan::ReadMac(m);
                if (!mac) {
                    result.error = "--select " + term + ": \"" + m + "\" is not a MAC address";
                    return result;
                }
                tests.emplace_back([mac](const device::DeviceInfo& c) { return c.mac == *mac; });
            }
        } else if (kind == "model" && !value.empty()) {
            tests.emplace_back([value](const device::DeviceInfo& c) {
                return sameText(c.model.toStdString(), value) ||
                       sameText(c.displayModel.toStdString(), value);
            });
        } else if (kind == "ip" && !value.empty()) {
            const std::size_t dash = value.find('-');
            const auto from = address(value.substr(0, dash));
            const auto to = dash == std::string::npos ? from : address(value.substr(dash + 1));
            if (!from || !to || *from > *to) {
                result.error = "--select " + term + ": not an address range A-B";
                return result;
            }
            tests.emplace_back([from, to](const device::DeviceInfo& c) {
                return c.address != 0 && c.address >= *from && c.address <= *to;
            });
        } else {
            result.error = "--select " + term + ": expected mac=, model=, ip= or all";
            return result;
        }
        for (const auto& test : tests) {
            bool any = false;
            for (std::size_t i = 0; i < cameras.size(); ++i) {
                if (test(cameras[i])) {
                    chosen[i] = any = true;
                }
            }
            if (!any && term != "all") {
                result.error = "--select " + term + ": no camera that answered matches";
                return result;
            }
        }
    }
    for (std::size_t i = 0; i < cameras.size(); ++i) {
        if (chosen[i]) {
            result.cameras.push_back(cameras[i]);
        }
    }
    return result;
}

} // namespace orv::cli

// Any bytes as a settings profile: reading gives a profile or a fault, never
// both; a profile that builds for a set of cameras gives every camera a name
// it can keep and steps in a bounded number.

#include "MakerDrivers.h"
#include "operations/profile/Profile.h"
#include "protocols/qv/QvRecords.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string_view>

namespace {

void check(bool ok) {
    if (!ok) {
        std::abort();
    }
}

// A camera as the maker's discovery finds it.
orv::device::DeviceInfo camera(int n, const char* model) {
    tagQvIpcInfo c{};
    c.Mac[0] = 0x02;
    c.Mac[5] = static_cast<std::uint8_t>(n);
    std::snprintf(c.Model, sizeof c.Model, "%s", model);
    return orv::qv::DeviceOf(c, {});
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace orv::profile;
    const ReadResult read =
        ReadProfile(std::string_view(reinterpret_cast<const char*>(data), size));
    check(read.profile.has_value() != read.error.has_value());
    if (!read.profile) {
        check(!read.error->text.empty());
        return 0;
    }
    const std::vector<orv::device::DeviceInfo> targets = {
        camera(1, "QV-N3951"), camera(2, "QV-N3476"), camera(3, "QV-N3300")};
    const BuildResult built =
        BuildProfile(*read.profile, targets, MakerDrivers(), {2024, 5, 7, 9, 5, 3});
    check(built.built.has_value() != built.error.has_value());
    if (built.built) {
        for (const orv::device::DeviceInfo& c : targets) {
            const auto name = built.built->names.find(c.id);
            check(!read.profile->name ||
                  (name != built.built->names.end() &&
                   name->second.text.size() < sizeof(tagQvIpcInfo::DevName)));
            check(built.built->StepsFor(c).size() <= 8);
            built.built->Describe(c);
        }
    }
    return 0;
}

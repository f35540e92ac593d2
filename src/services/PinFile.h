#pragma once
// The keys cameras are trusted by, kept in the user's configuration
// directory ($XDG_CONFIG_HOME/orvantix/pins.json) until a site book keeps
// them. The window and the command line may run at once: each write reads
// the file again under a lock and applies only this process's own changes,
// so neither loses the other's pins. Writes of many first contacts at once
// (a job over a new site) are folded into as few file writes as the disk
// allows.

#include "device/TrustStore.h"

#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>

namespace orv {

using PinMap = std::map<device::MacAddress, device::TrustedKey>;

struct PinText {
    PinMap pins;
    bool readable = true; // false: not the file's JSON shape at all
    int skipped = 0;      // entries that could not be used
};

// The pins of a file's text; an entry with a bad MAC, pin, port or date is
// skipped (the camera then counts as never seen), never guessed.
PinText ReadPins(std::string_view text);
std::string WritePins(const PinMap& pins);

// pins.json beside the settings file; empty where there is no private
// configuration directory.
std::filesystem::path PinFilePath();

class CPinFile final : public device::ITrustStore {
public:
    // An empty path keeps the pins in memory only.
    explicit CPinFile(std::filesystem::path path);
    CPinFile(const CPinFile&) = delete;
    CPinFile& operator=(const CPinFile&) = delete;

    std::optional<device::TrustedKey> Find(const device::MacAddress& mac) const override;
    void Keep(const device::MacAddress& mac, const device::TrustedKey& key) override;
    bool Forget(const device::MacAddress& mac) override;
    const std::filesystem::path& Path() const { return m_path; }

private:
    // What the file holds now, with this process's changes on top.
    PinMap load() const;
    void save(std::unique_lock<std::mutex>& lock);

    const std::filesystem::path m_path;
    mutable std::mutex m_lock;
    PinMap m_pins;
    // Changes not yet in the file; nothing: forgotten.
    std::map<device::MacAddress, std::optional<device::TrustedKey>> m_changes;
    bool m_writing = false;
};

} // namespace orv

#include "SettingsStore.h"

#include "paths/AppPaths.h"
#include "text/TextConv.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#else
#include <fcntl.h>
#include <nlohmann/json.hpp>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace orv {

void ReadRegString(RegRoot root, std::u16string_view subKey, std::u16string_view valueName,
                   std::u16string_view defaultText, char16_t* buffer, std::uint32_t bufferBytes) {
    if (buffer == nullptr || bufferBytes < sizeof(char16_t)) {
        return;
    }
    auto useDefault = [&] {
        const size_t chars = std::min<size_t>(defaultText.size(), bufferBytes / 2 - 1);
        std::memcpy(buffer, defaultText.data(), chars * sizeof(char16_t));
        buffer[chars] = u'\0';
    };
    RegKey key;
    if (!OpenRegKeyForRead(root, subKey, key)) {
        useDefault();
        return;
    }
    const std::int64_t size = key.ValueSize(valueName);
    if (size < 0) {
        useDefault();
        return;
    }
    // The caller zeroed the buffer; a UTF-16 terminator takes two bytes, so
    // the value may fill all but the last whole unit.
    const std::uint32_t room = (bufferBytes - sizeof(char16_t)) & ~std::uint32_t{1};
    const auto bytes = static_cast<std::uint32_t>(std::min<std::int64_t>(size, room));
    key.ReadValue(valueName, buffer, bytes);
}

int WriteRegValue(RegRoot root, const char16_t* subKey, const char16_t* valueName, const void* data,
                  std::uint32_t bytes, std::uint32_t type) {
    RegKey key;
    if (CreateRegKey(root, subKey, &key) == 0) {
        return 0;
    }
    key.WriteValue(valueName != nullptr ? valueName : u"", data, bytes, type);
    return 1;
}

RegKey::RegKey() = default;
RegKey::~RegKey() {
    Close();
}
RegKey::RegKey(RegKey&&) noexcept = default;
RegKey& RegKey::operator=(RegKey&&) noexcept = default;

#if defined(_WIN32)

struct RegKey::Impl {
    HKEY key = nullptr;
};

namespace {
HKEY rootHandle(RegRoot root) {
    switch (root) {
    case RegRoot::CurrentUser:
        return HKEY_CURRENT_USER;
    case RegRoot::LocalMachine:
        return HKEY_LOCAL_MACHINE;
    case RegRoot::None:
        break;
    }
    return nullptr;
}
std::wstring wide(std::u16string_view s) {
    return std::wstring(s.begin(), s.end());
}
} // namespace

bool OpenRegKeyForRead(RegRoot root, std::u16string_view subKey, RegKey& key) {
    HKEY handle = nullptr;
    const HKEY base = rootHandle(root);
    if (base == nullptr || RegOpenKeyExW(base, wide(subKey).c_str(), 0, KEY_READ | KEY_WOW64_64KEY,
                                         &handle) != ERROR_SUCCESS) {
        return false;
    }
    key.Close();
    key.m_impl = std::make_unique<RegKey::Impl>();
    key.m_impl->key = handle;
    return true;
}

int CreateRegKey(RegRoot root, const char16_t* subKey, RegKey* outKey) {
    const HKEY base = rootHandle(root);
    if (base == nullptr || subKey == nullptr || subKey[0] == u'\0') {
        return 0;
    }
    HKEY handle = nullptr;
    if (RegCreateKeyExW(base, wide(subKey).c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS) {
        return 0;
    }
    if (outKey != nullptr) {
        outKey->Close();
        outKey->m_impl = std::make_unique<RegKey::Impl>();
        outKey->m_impl->key = handle;
    } else {
        RegCloseKey(handle);
    }
    return 1;
}

bool RegKey::IsOpen() const {
    return m_impl && m_impl->key != nullptr;
}

std::int64_t RegKey::ValueSize(std::u16string_view name) const {
    DWORD size = 0;
    if (!IsOpen() || RegQueryValueExW(m_impl->key, wide(name).c_str(), nullptr, nullptr, nullptr,
                                      &size) != ERROR_SUCCESS) {
        return -1;
    }
    return size;
}

bool RegKey::ReadValue(std::u16string_view name, void* data, std::uint32_t bytes) const {
    std::vector<BYTE> all(static_cast<size_t>(std::max<std::int64_t>(ValueSize(name), 0)));
    DWORD size = static_cast<DWORD>(all.size());
    if (!IsOpen() || RegQueryValueExW(m_impl->key, wide(name).c_str(), nullptr, nullptr, all.data(),
                                      &size) != ERROR_SUCCESS) {
        return false;
    }
    std::memcpy(data, all.data(), std::min<size_t>(bytes, size));
    return true;
}

bool RegKey::WriteValue(std::u16string_view name, const void* data, std::uint32_t bytes,
                        std::uint32_t type) {
    return IsOpen() && RegSetValueExW(m_impl->key, wide(name).c_str(), 0, type,
                                      static_cast<const BYTE*>(data), bytes) == ERROR_SUCCESS;
}

void RegKey::Close() {
    if (m_impl && m_impl->key != nullptr) {
        RegCloseKey(m_impl->key);
    }
    m_impl.reset();
}

std::string SettingsFilePath() {
    return {};
}

#else // POSIX: one JSON file holds every key.

using nlohmann::json;

struct RegKey::Impl {
    std::string path; // "HKEY_CURRENT_USER\SOFTWARE\Orvantix"
    json values;      // snapshot taken when the key was opened
};

namespace {

std::string rootName(RegRoot root) {
    switch (root) {
    case RegRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    case RegRoot::None:
        break;
    }
    return {};
}

std::string utf8(std::u16string_view s) {
    return ToUtf8(std::wstring(s.begin(), s.end()));
}

// Registry key and value names compare without regard to ASCII case.
bool sameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

json::iterator findName(json& object, std::string_view name) {
    for (auto it = object.begin(); it != object.end(); ++it) {
        if (sameName(it.key(), name)) {
            return it;
        }
    }
    return object.end();
}

json loadStore() {
    std::ifstream in(SettingsFilePath(), std::ios::binary);
    if (!in) {
        return json::object();
    }
    json doc = json::parse(in, nullptr, false);
    if (doc.is_discarded() || !doc.is_object() || !doc.contains("keys") ||
        !doc["keys"].is_object()) {
        return json::object();
    }
    return doc;
}

bool saveStore(const json& doc) {
    namespace fs = std::filesystem;
    const fs::path file = SettingsFilePath();
    std::error_code ec;
    fs::create_directories(file.parent_path(), ec);
    ::chmod(file.parent_path().c_str(), 0700);
    const std::string temp = file.string() + ".tmp";
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    if (fd < 0) {
        return false;
    }
    ::fchmod(fd, 0600);
    const std::string text = doc.dump(2) + "\n";
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || ::rename(temp.c_str(), file.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// REG_SZ data is UTF-16LE; it is kept as readable text when it is whole
// UTF-16, and as hex bytes otherwise (odd lengths, other types).
json encodeValue(const void* data, std::uint32_t bytes, std::uint32_t type) {
    const auto* p = static_cast<const unsigned char*>(data);
    if (type == kRegSz && bytes % 2 == 0) {
        bool whole = true;
        const std::wstring text =
            FromUtf16Bytes(std::string_view(reinterpret_cast<const char*>(p), bytes), true, &whole);
        if (whole) {
            return {{"type", type}, {"text", ToUtf8(text)}};
        }
    }
    static const char* digits = "0123456789abcdef";
    std::string hex;
    for (std::uint32_t i = 0; i < bytes; ++i) {
        hex += digits[p[i] >> 4];
        hex += digits[p[i] & 15];
    }
    return {{"type", type}, {"hex", hex}};
}

std::optional<std::string> decodeValue(const json& value) {
    if (!value.is_object()) {
        return std::nullopt;
    }
    if (auto text = value.find("text"); text != value.end() && text->is_string()) {
        return ToUtf16LeBytes(FromUtf8(text->get<std::string>()));
    }
    if (auto hex = value.find("hex"); hex != value.end() && hex->is_string()) {
        const std::string h = hex->get<std::string>();
        if (h.size() % 2 != 0 ||
            h.find_first_not_of("0123456789abcdefABCDEF") != std::string::npos) {
            return std::nullopt;
        }
        std::string bytes;
        for (size_t i = 0; i < h.size(); i += 2) {
            bytes += static_cast<char>(std::stoi(h.substr(i, 2), nullptr, 16));
        }
        return bytes;
    }
    return std::nullopt;
}

} // namespace

bool OpenRegKeyForRead(RegRoot root, std::u16string_view subKey, RegKey& key) {
    const std::string rootText = rootName(root);
    if (rootText.empty()) {
        return false;
    }
    json doc = loadStore();
    if (doc.empty()) {
        return false;
    }
    const std::string path = rootText + "\\" + utf8(subKey);
    auto it = findName(doc["keys"], path);
    if (it == doc["keys"].end() || !it->is_object()) {
        return false;
    }
    key.Close();
    key.m_impl = std::make_unique<RegKey::Impl>();
    key.m_impl->path = it.key();
    key.m_impl->values = *it;
    return true;
}

int CreateRegKey(RegRoot root, const char16_t* subKey, RegKey* outKey) {
    const std::string rootText = rootName(root);
    if (rootText.empty() || subKey == nullptr || subKey[0] == u'\0') {
        return 0;
    }
    json doc = loadStore();
    if (doc.empty()) {
        doc = {{"keys", json::object()}};
    }
    const std::string path = rootText + "\\" + utf8(subKey);
    auto it = findName(doc["keys"], path);
    std::string storedPath = path;
    if (it == doc["keys"].end() || !it->is_object()) {
        doc["keys"][path] = json::object();
        if (!saveStore(doc)) {
            return 0;
        }
    } else {
        storedPath = it.key();
    }
    if (outKey != nullptr) {
        outKey->Close();
        outKey->m_impl = std::make_unique<RegKey::Impl>();
        outKey->m_impl->path = storedPath;
        outKey->m_impl->values = doc["keys"][storedPath];
    }
    return 1;
}

bool RegKey::IsOpen() const {
    return m_impl != nullptr;
}

std::int64_t RegKey::ValueSize(std::u16string_view name) const {
    if (!IsOpen()) {
        return -1;
    }
    auto it = findName(m_impl->values, utf8(name));
    if (it == m_impl->values.end()) {
        return -1;
    }
    const auto bytes = decodeValue(*it);
    return bytes ? static_cast<std::int64_t>(bytes->size()) : -1;
}

bool RegKey::ReadValue(std::u16string_view name, void* data, std::uint32_t bytes) const {
    if (!IsOpen()) {
        return false;
    }
    auto it = findName(m_impl->values, utf8(name));
    if (it == m_impl->values.end()) {
        return false;
    }
    const auto stored = decodeValue(*it);
    if (!stored) {
        return false;
    }
    std::memcpy(data, stored->data(), std::min<size_t>(bytes, stored->size()));
    return true;
}

bool RegKey::WriteValue(std::u16string_view name, const void* data, std::uint32_t bytes,
                        std::uint32_t type) {
    if (!IsOpen() || (data == nullptr && bytes > 0)) {
        return false;
    }
    json doc = loadStore();
    if (doc.empty()) {
        doc = {{"keys", json::object()}};
    }
    json& values = doc["keys"][m_impl->path];
    if (!values.is_object()) {
        values = json::object();
    }
    const std::string valueName = utf8(name);
    auto it = findName(values, valueName);
    const std::string storedName = it == values.end() ? valueName : it.key();
    values[storedName] = encodeValue(data, bytes, type);
    m_impl->values = values;
    return saveStore(doc);
}

void RegKey::Close() {
    m_impl.reset();
}

std::string SettingsFilePath() {
    return orv::paths::UserConfigDir() + "/settings.json";
}

#endif

} // namespace orv

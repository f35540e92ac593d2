// The settings store in the current user's registry, 64-bit view. Values are
// REG_SZ written without a terminating zero (two bytes per UTF-16 unit).

#include "SettingsStore.h"

#include <windows.h>

#include <algorithm>
#include <vector>

namespace orv {
namespace {

constexpr wchar_t kKey[] = L"SOFTWARE\\Orvantix";
constexpr DWORD kMaxUnits = 259; // what the registry reader's buffer holds

class Key {
public:
    explicit Key(HKEY key) : m_key(key) {}
    ~Key() {
        if (m_key != nullptr)
            RegCloseKey(m_key);
    }
    Key(const Key&) = delete;
    Key& operator=(const Key&) = delete;
    HKEY get() const { return m_key; }

private:
    HKEY m_key;
};

void readValue(HKEY key, const wchar_t* name, std::u16string& out) {
    DWORD bytes = 0;
    if (RegQueryValueExW(key, name, nullptr, nullptr, nullptr, &bytes) != ERROR_SUCCESS)
        return;
    std::vector<wchar_t> data(bytes / sizeof(wchar_t) + 1, L'\0');
    if (RegQueryValueExW(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                         &bytes) != ERROR_SUCCESS)
        return;
    const auto* begin = data.data();
    const auto* end = begin + std::min<DWORD>(bytes / sizeof(wchar_t), kMaxUnits);
    out.assign(begin, std::find(begin, end, L'\0'));
}

bool writeValue(HKEY key, const wchar_t* name, const std::u16string& text) {
    return RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.data()),
                          static_cast<DWORD>(text.size() * sizeof(char16_t))) == ERROR_SUCCESS;
}

} // namespace

Credentials LoadCredentials() {
    Credentials credentials;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kKey, 0, KEY_READ | KEY_WOW64_64KEY, &handle) !=
        ERROR_SUCCESS)
        return credentials;
    const Key key(handle);
    readValue(key.get(), L"User", credentials.user);
    readValue(key.get(), L"Password", credentials.password);
    return credentials;
}

bool StoreCredentials(const Credentials& credentials) {
    HKEY handle = nullptr;
    if (RegCreateKeyExW(HKEY_CURRENT_USER, kKey, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_ALL_ACCESS | KEY_WOW64_64KEY, nullptr, &handle,
                        nullptr) != ERROR_SUCCESS)
        return false;
    const Key key(handle);
    const bool user = writeValue(key.get(), L"User", credentials.user);
    return writeValue(key.get(), L"Password", credentials.password) && user;
}

std::filesystem::path SettingsFilePath() {
    return {};
}

} // namespace orv

#pragma once
// The settings store: registry semantics (keys, typed values, UTF-16 strings
// without terminator). On Windows it is the current user's registry in the
// 64-bit view; elsewhere a file in the user's configuration directory,
// readable by its owner only, since it holds the default password.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace orv {

enum class RegRoot { None, CurrentUser, LocalMachine };

inline constexpr std::uint32_t kRegSz = 1;
inline constexpr std::uint32_t kRegBinary = 3;
inline constexpr std::uint32_t kRegDword = 4;

inline constexpr char16_t kOrvantixKey[] = u"SOFTWARE\\Orvantix";

// An open key; closes itself.
class RegKey {
public:
    RegKey();
    ~RegKey();
    RegKey(RegKey&&) noexcept;
    RegKey& operator=(RegKey&&) noexcept;

    bool IsOpen() const;
    // Byte length of a value, or -1 when it does not exist.
    std::int64_t ValueSize(std::u16string_view name) const;
    // Copies at most `bytes` bytes of the value's data; false when missing.
    bool ReadValue(std::u16string_view name, void* data, std::uint32_t bytes) const;
    bool WriteValue(std::u16string_view name, const void* data, std::uint32_t bytes,
                    std::uint32_t type);
    void Close();

    struct Impl;

private:
    friend bool OpenRegKeyForRead(RegRoot, std::u16string_view, RegKey&);
    friend int CreateRegKey(RegRoot, const char16_t*, RegKey*);
    std::unique_ptr<Impl> m_impl;
};

bool OpenRegKeyForRead(RegRoot root, std::u16string_view subKey, RegKey& key);

// Reads a string value into `buffer` (zeroed by the caller, `bufferBytes`
// long): as many of the value's bytes as leave a whole terminating unit, or
// the default text when the key or value cannot be read. The value's type is
// not checked.
void ReadRegString(RegRoot root, std::u16string_view subKey, std::u16string_view valueName,
                   std::u16string_view defaultText, char16_t* buffer, std::uint32_t bufferBytes);

// 0 for a null root, a null or empty sub-key, or when the key cannot be
// created or opened with full access; otherwise 1. With `outKey` the open
// key is handed out, else it is closed.
int CreateRegKey(RegRoot root, const char16_t* subKey, RegKey* outKey);

// Creates or opens the key, writes the value and closes the key; 1 on
// success, 0 when the key cannot be created.
int WriteRegValue(RegRoot root, const char16_t* subKey, const char16_t* valueName, const void* data,
                  std::uint32_t bytes, std::uint32_t type);

// Where the store lives on platforms without a registry.
std::string SettingsFilePath();

} // namespace orv

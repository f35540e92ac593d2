#pragma once
// Language files: text lookup by numeric text id with a built-in English
// default, the Language menu's items, and the stored choice in Language.ini
// (Lang/ beside the program, or the user's folders when installed).

#include <filesystem>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "IniFile.h"

// What the language logic needs of a popup menu; the window layer adapts its
// own menu type to it.
class ILanguageMenu {
public:
    virtual ~ILanguageMenu() = default;
    // Replaces the item at position 0 (the "&English" placeholder).
    virtual void ReplaceFirstItem(int command, const std::wstring& text) = 0;
    virtual void AppendItem(int command, const std::wstring& text) = 0;
    // Radio-checks `command` among the items with commands first..last.
    virtual void CheckRadioItem(int first, int last, int command) = 0;
};

class CLanguage {
public:
    static constexpr int kFirstCommand = 99;
    static constexpr int kCommandLimit = 149;
    static constexpr int kPlaceholderCommand = 32772;
    static constexpr int kPathChars = 260;

    // `programDir`: the directory holding Lang/. `systemLangId` answers the
    // system's default language identifier.
    explicit CLanguage(std::wstring programDir,
                       std::function<int()> systemLangId = &CLanguage::SystemDefaultLangId);
    // The language files in `langDir`, the choice in the file `languageIni`.
    CLanguage(std::wstring langDir, std::wstring languageIni,
              std::function<int()> systemLangId = &CLanguage::SystemDefaultLangId);

    // Fills `buffer` (size in characters) with the current language's text for
    // `id`, or with `defaultText` when there is none; both cut to size - 1.
    void GetLangString(const wchar_t* id, wchar_t* buffer, int size,
                       const wchar_t* defaultText) const;
    // The same without a caller's buffer (260 characters, as the windows use).
    std::wstring Text(const wchar_t* id, const wchar_t* defaultText) const;

    // The menu command counter; the menu's owner sets it to 99 before building.
    void SetMenuCounter(int counter);
    int MenuCounter() const;

    void BuildLanguageMenu(ILanguageMenu& menu);
    void SelectLanguage(const std::wstring& displayName);
    void LoadSavedLanguage();

    // Full path of the current language file, empty while none is chosen.
    std::wstring CurrentFile() const;
    std::wstring LanguageIniPath() const;
    std::wstring LangDir() const;

    // The locale's (or on Windows the user's) default language identifier.
    static int SystemDefaultLangId();
    // Identifier for a POSIX locale name such as "de_DE.UTF-8"; 1033 for "C".
    static int LangIdForLocale(const std::string& locale);

private:
    struct LanguageFile {
        std::wstring fileName;
        std::wstring path;
    };
    std::vector<LanguageFile> listLanguageFiles() const;
    const orv::IniDocument& currentDocument() const;

    const std::wstring m_langDir;
    const std::wstring m_languageIni;
    const std::function<int()> m_systemLangId;

    mutable std::mutex m_lock;
    std::wstring m_currentFile;
    int m_menuCounter = kFirstCommand;

    // The parsed current file, re-read when the file changes on disk.
    mutable orv::IniDocument m_cache;
    mutable std::wstring m_cachePath;
    mutable std::filesystem::file_time_type m_cacheTime{};
    mutable std::uintmax_t m_cacheSize = 0;
};

// The process-wide language state, in the places orv::paths::Current() names.
CLanguage& TheLanguage();

void GetLangString(const wchar_t* id, wchar_t* buffer, int size, const wchar_t* defaultText);

#include "Language.h"

#include "LanguageFile.h"
#include "log/LogFile.h"
#include "paths/AppPaths.h"
#include "text/TextConv.h"
#include "text/WideText.h"

#include <algorithm>
#include <cstdlib>
#include <cwchar>
#include <cwctype>
#include <string_view>
#include <system_error>
#include <unordered_map>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace fs = std::filesystem;

namespace {

constexpr std::wstring_view kSepW =
#if defined(_WIN32)
    L"\\";
#else
    L"/";
#endif

void copyCut(wchar_t* buffer, int size, std::wstring_view text) {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    const size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    std::wmemcpy(buffer, text.data(), n);
    buffer[n] = L'\0';
}

int low16(int id) {
    return id & 0xFFFF;
}

} // namespace

CLanguage::CLanguage(std::wstring programDir, std::function<int()> systemLangId)
    : CLanguage(programDir + std::wstring(kSepW) + L"Lang",
                programDir + std::wstring(kSepW) + L"Lang" + std::wstring(kSepW) + L"Language.ini",
                std::move(systemLangId)) {}

CLanguage::CLanguage(std::wstring langDir, std::wstring languageIni,
                     std::function<int()> systemLangId)
    : m_langDir(std::move(langDir)), m_languageIni(std::move(languageIni)),
      m_systemLangId(std::move(systemLangId)) {}

std::wstring CLanguage::LangDir() const {
    return m_langDir;
}

std::wstring CLanguage::LanguageIniPath() const {
    return m_languageIni;
}

std::wstring CLanguage::CurrentFile() const {
    std::lock_guard lock(m_lock);
    return m_currentFile;
}

void CLanguage::SetMenuCounter(int counter) {
    std::lock_guard lock(m_lock);
    m_menuCounter = counter;
}

int CLanguage::MenuCounter() const {
    std::lock_guard lock(m_lock);
    return m_menuCounter;
}

std::vector<CLanguage::LanguageFile> CLanguage::listLanguageFiles() const {
    std::vector<LanguageFile> files;
    std::error_code ec;
    fs::directory_iterator it(orv::ToFsPath(LangDir()), ec);
    if (ec) {
        return files;
    }
    for (const auto& entry : it) {
        std::error_code entryEc;
        if (!entry.is_regular_file(entryEc)) {
            continue;
        }
#if defined(_WIN32)
        const std::wstring name = entry.path().filename().wstring();
#else
        const std::wstring name = orv::FromUtf8(entry.path().filename().string());
#endif
        if (name.size() > 4 &&
            orv::EqualsNoCase(std::wstring_view(name).substr(name.size() - 4), L".lng")) {
            files.push_back({name, LangDir() + std::wstring(kSepW) + name});
        }
    }
    // The listing order of the platform's usual file system: by name, without
    // regard to case.
    std::sort(files.begin(), files.end(), [](const LanguageFile& a, const LanguageFile& b) {
        const std::wstring ua = orv::Upper(a.fileName);
        const std::wstring ub = orv::Upper(b.fileName);
        return ua != ub ? ua < ub : a.fileName < b.fileName;
    });
    return files;
}

const orv::IniDocument& CLanguage::currentDocument() const {
    // Caller holds m_lock.
    std::error_code ec;
    const fs::path path = orv::ToFsPath(m_currentFile);
    const auto time = fs::last_write_time(path, ec);
    const auto size = ec ? 0 : fs::file_size(path, ec);
    if (m_cachePath != m_currentFile || time != m_cacheTime || size != m_cacheSize) {
        m_cache = orv::ReadLanguageFile(m_currentFile);
        m_cachePath = m_currentFile;
        m_cacheTime = time;
        m_cacheSize = size;
    }
    return m_cache;
}

void CLanguage::GetLangString(const wchar_t* id, wchar_t* buffer, int size,
                              const wchar_t* defaultText) const {
    if (buffer == nullptr || size <= 0) {
        return;
    }
    std::wstring text;
    if (id != nullptr) {
        std::lock_guard lock(m_lock);
        if (!m_currentFile.empty()) {
            text = currentDocument().Get(L"PROMPT", id).value_or(L"");
        }
    }
    if (text.empty()) {
        text = defaultText != nullptr ? defaultText : L"";
    }
    copyCut(buffer, size, text);
}

std::wstring CLanguage::Text(const wchar_t* id, const wchar_t* defaultText) const {
    wchar_t buffer[kPathChars] = {};
    GetLangString(id, buffer, kPathChars, defaultText);
    return buffer;
}

void CLanguage::BuildLanguageMenu(ILanguageMenu& menu) {
    int current = orv::ReadProfileInt(LanguageIniPath(), L"Main", L"Language", 0);
    if (low16(current) == 0) {
        current = m_systemLangId ? m_systemLangId() : 0;
    }

    int counter = MenuCounter();
    int checked = -1;
    for (const auto& file : listLanguageFiles()) {
        if (counter >= kCommandLimit) {
            break;
        }
        const auto header = orv::ReadLanguageHeader(file.path);
        if (!header) {
            continue; // not a file the program can use
        }
        if (!header->name.empty()) {
            if (counter == kFirstCommand) {
                menu.ReplaceFirstItem(counter, header->name);
            } else {
                menu.AppendItem(counter, header->name);
            }
        }
        if (low16(header->langId) == low16(current)) {
            checked = counter;
        }
        ++counter;
    }
    SetMenuCounter(counter);

    orv::WriteProfileString(LanguageIniPath(), L"Main", L"Language",
                            std::to_wstring(low16(current)));
    if (checked >= 0) {
        menu.CheckRadioItem(kFirstCommand, counter, checked);
    }
}

void CLanguage::SelectLanguage(const std::wstring& displayName) {
    int id = 0;
    for (const auto& file : listLanguageFiles()) {
        const auto header = orv::ReadLanguageHeader(file.path);
        if (header && orv::EqualsNoCase(header->name, displayName)) {
            id = header->langId;
            std::wstring path = file.path;
            if (path.size() > kPathChars - 1) {
                path.resize(kPathChars - 1);
            }
            std::lock_guard lock(m_lock);
            m_currentFile = std::move(path);
            break;
        }
    }
    orv::WriteProfileString(LanguageIniPath(), L"Main", L"Language", std::to_wstring(low16(id)));
}

void CLanguage::LoadSavedLanguage() {
    const int saved = orv::ReadProfileInt(LanguageIniPath(), L"Main", L"Language", 0);
    for (const auto& file : listLanguageFiles()) {
        const auto header = orv::ReadLanguageHeader(file.path);
        if (header && low16(header->langId) == low16(saved)) {
            SelectLanguage(header->name);
            return;
        }
    }
    orv::WriteProfileString(LanguageIniPath(), L"Main", L"Language", L"0");
}

int CLanguage::SystemDefaultLangId() {
#if defined(_WIN32)
    return GetUserDefaultLangID();
#else
    for (const char* var : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* value = std::getenv(var);
        if (value != nullptr && value[0] != '\0') {
            return LangIdForLocale(value);
        }
    }
    return LangIdForLocale("C");
#endif
}

int CLanguage::LangIdForLocale(const std::string& locale) {
    // language_TERRITORY without charset or modifier.
    std::string key = locale.substr(0, locale.find_first_of(".@"));
    static const std::unordered_map<std::string, int> kIds = {
        {"en_US", 1033}, {"en_GB", 2057}, {"en_AU", 3081},  {"en_CA", 4105},  {"en_NZ", 5129},
        {"en_IE", 6153}, {"en_ZA", 7177}, {"en_IN", 16393}, {"de_DE", 1031},  {"de_CH", 2055},
        {"de_AT", 3079}, {"de_LU", 4103}, {"fr_FR", 1036},  {"fr_BE", 2060},  {"fr_CA", 3084},
        {"fr_CH", 4108}, {"es_ES", 3082}, {"es_MX", 2058},  {"es_AR", 11274}, {"it_IT", 1040},
        {"it_CH", 2064}, {"pt_BR", 1046}, {"pt_PT", 2070},  {"nl_NL", 1043},  {"nl_BE", 2067},
        {"zh_CN", 2052}, {"zh_TW", 1028}, {"zh_HK", 3076},  {"zh_SG", 4100},  {"zh_MO", 5124},
        {"ar_SA", 1025}, {"ar_EG", 3073}, {"sr_RS", 9242},
    };
    static const std::unordered_map<std::string, int> kLanguageOnly = {
        {"en", 1033}, {"de", 1031}, {"fr", 1036}, {"es", 3082}, {"it", 1040}, {"pt", 2070},
        {"nl", 1043}, {"zh", 2052}, {"ja", 1041}, {"ko", 1042}, {"ru", 1049}, {"pl", 1045},
        {"cs", 1029}, {"sk", 1051}, {"hu", 1038}, {"ro", 1048}, {"bg", 1026}, {"uk", 1058},
        {"el", 1032}, {"tr", 1055}, {"he", 1037}, {"ar", 1025}, {"sv", 1053}, {"da", 1030},
        {"nb", 1044}, {"nn", 2068}, {"no", 1044}, {"fi", 1035}, {"et", 1061}, {"lv", 1062},
        {"lt", 1063}, {"sl", 1060}, {"hr", 1050}, {"sr", 9242}, {"th", 1054}, {"vi", 1066},
        {"id", 1057}, {"ms", 1086}, {"hi", 1081}, {"fa", 1065}, {"ca", 1027}, {"eu", 1069},
        {"gl", 1110}, {"is", 1039},
    };
    if (auto it = kIds.find(key); it != kIds.end()) {
        return it->second;
    }
    const std::string language = key.substr(0, key.find('_'));
    if (auto it = kLanguageOnly.find(language); it != kLanguageOnly.end()) {
        return it->second;
    }
    return 1033;
}

CLanguage& TheLanguage() {
    static CLanguage language = [] {
        const orv::paths::Places& places = orv::paths::Current();
#if defined(_WIN32)
        return CLanguage(orv::FromAnsi(places.langDir), orv::FromAnsi(places.languageIni));
#else
        return CLanguage(orv::FromUtf8(places.langDir), orv::FromUtf8(places.languageIni));
#endif
    }();
    return language;
}

void GetLangString(const wchar_t* id, wchar_t* buffer, int size, const wchar_t* defaultText) {
    TheLanguage().GetLangString(id, buffer, size, defaultText);
}

#include "AppPaths.h"

#include "log/LogFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
#include <pwd.h>
#include <unistd.h>
#endif

// The language folder of an installation, relative to the folder of the
// program (the build system derives it from the install prefix).
#ifndef ORVANTIX_INSTALLED_LANG_DIR
#define ORVANTIX_INSTALLED_LANG_DIR "../share/orvantix/lang"
#endif

namespace fs = std::filesystem;

namespace orv::paths {
namespace {

std::string join(const std::string& dir, const char* name) {
    return dir + kPathSep + name;
}

// An environment folder counts only when it is absolute, as the XDG base
// directory rules say.
std::string absoluteEnv(const char* name) {
    const char* value = std::getenv(name);
    if (value == nullptr || value[0] == '\0' || !fs::path(value).is_absolute()) {
        return {};
    }
    return value;
}

bool writable(const std::string& dir) {
#if defined(_WIN32)
    return _access(dir.c_str(), 2) == 0;
#else
    return ::access(dir.c_str(), W_OK) == 0;
#endif
}

std::string baseDir(const std::string& fromEnv, const Facts& facts, const char* underHome) {
    if (!fromEnv.empty()) {
        return fromEnv;
    }
    // Never a shared folder such as /tmp, where another user could have
    // prepared the names: without a home there is no such folder at all.
    return facts.home.empty() ? std::string() : join(facts.home, underHome);
}

// Under `base` unless there is none.
std::string under(const std::string& base, const char* name) {
    return base.empty() ? std::string() : join(base, name);
}

// The home of the account the program runs as, not whatever HOME says: a
// run through sudo may carry another user's HOME.
std::string accountHome() {
#if defined(_WIN32)
    return absoluteEnv("USERPROFILE");
#else
    const passwd* account = ::getpwuid(::geteuid());
    return account != nullptr && account->pw_dir != nullptr && account->pw_dir[0] == '/'
               ? std::string(account->pw_dir)
               : std::string();
#endif
}

} // namespace

Facts CurrentFacts() {
    Facts facts;
    char dir[CLogFile::kPathSize] = {};
    GetModuleDir(dir, sizeof dir);
    facts.programDir = dir;
    facts.programDirWritable = writable(facts.programDir);
    std::error_code ec;
    const fs::path lang = fs::path(facts.programDir) / ORVANTIX_INSTALLED_LANG_DIR;
    facts.installedLangDir = fs::weakly_canonical(lang, ec).string();
    if (ec) {
        facts.installedLangDir = lang.lexically_normal().string();
    }
    facts.installedLangDirExists = fs::is_directory(facts.installedLangDir, ec);
#if defined(_WIN32)
    facts.stateHome = absoluteEnv("LOCALAPPDATA");
    facts.configHome = absoluteEnv("APPDATA");
    facts.dataHome = facts.configHome;
#else
    facts.stateHome = absoluteEnv("XDG_STATE_HOME");
    facts.configHome = absoluteEnv("XDG_CONFIG_HOME");
    facts.dataHome = absoluteEnv("XDG_DATA_HOME");
#endif
    facts.home = accountHome();
    facts.sites = absoluteEnv("ORVANTIX_SITES");
    return facts;
}

Places Decide(const Facts& facts) {
    Places places;
    // As root the installation folder is writable too; the language folder
    // beside it still tells that this is an installation.
    places.installed = !facts.programDirWritable || facts.installedLangDirExists;
    places.langDir =
        facts.installedLangDirExists ? facts.installedLangDir : join(facts.programDir, "Lang");
    if (!places.installed) {
        places.writableDir = facts.programDir;
        places.logDir = join(facts.programDir, "Logs");
        places.languageIni = join(places.langDir, "Language.ini");
        places.sitesDir = facts.sites.empty() ? join(facts.programDir, "Sites") : facts.sites;
        return places;
    }
    places.writableDir = under(baseDir(facts.stateHome, facts, ".local/state"), "orvantix");
    places.logDir = under(places.writableDir, "Logs");
    places.languageIni =
        under(under(baseDir(facts.configHome, facts, ".config"), "orvantix"), "Language.ini");
    // A site's history is the installer's data, kept across versions.
    // A folder of one's own choosing (sites on a stick) before the default.
    places.sitesDir =
        !facts.sites.empty()
            ? facts.sites
            : under(under(baseDir(facts.dataHome, facts, ".local/share"), "orvantix"), "sites");
    return places;
}

const Places& Current() {
    static const Places places = [] {
        Places decided = Decide(CurrentFacts());
        CreateDirs(fs::path(decided.languageIni).parent_path().string().c_str());
        return decided;
    }();
    return places;
}

} // namespace orv::paths

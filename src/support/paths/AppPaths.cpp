#include "AppPaths.h"

#include "log/LogFile.h"

#include <cstdlib>
#include <filesystem>
#include <system_error>

#if defined(_WIN32)
#include <io.h>
#else
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
    // Without a home folder: /tmp, where the settings store has always gone.
    return facts.home.empty() ? std::string("/tmp") : join(facts.home, underHome);
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
    facts.home = absoluteEnv("USERPROFILE");
#else
    facts.stateHome = absoluteEnv("XDG_STATE_HOME");
    facts.configHome = absoluteEnv("XDG_CONFIG_HOME");
    facts.home = absoluteEnv("HOME");
#endif
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
        return places;
    }
    places.writableDir = join(baseDir(facts.stateHome, facts, ".local/state"), "orvantix");
    places.logDir = join(places.writableDir, "Logs");
    places.languageIni =
        join(join(baseDir(facts.configHome, facts, ".config"), "orvantix"), "Language.ini");
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

std::string UserConfigDir() {
    Facts facts;
    facts.configHome = absoluteEnv("XDG_CONFIG_HOME");
    facts.home = absoluteEnv("HOME");
    return join(baseDir(facts.configHome, facts, ".config"), "orvantix");
}

} // namespace orv::paths

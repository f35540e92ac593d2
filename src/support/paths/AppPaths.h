#pragma once
// Where the program reads and writes its own files. A program that runs from
// a folder it may write and that is not an installation (a build tree, an
// unpacked copy) keeps everything beside itself: Logs/, Lang/*.lng and
// Lang/Language.ini. An installed program reads its language files from the
// installation's data folder and writes into the user's folders: logs under
// the XDG state directory, the language choice under the XDG config directory.

#include <string>

namespace orv::paths {

struct Places {
    std::string logDir;      // log files
    std::string langDir;     // language files (*.lng), read only
    std::string languageIni; // the chosen language
    std::string writableDir; // any other file the program writes for itself
    std::string sitesDir;    // one book per site (*.site)
    bool installed = false;
};

// What the decision rests on; Facts() gathers them for the running program.
struct Facts {
    std::string programDir; // folder of the running program
    bool programDirWritable = false;
    std::string installedLangDir; // the installation's language folder
    bool installedLangDirExists = false;
    std::string stateHome;  // XDG_STATE_HOME, or LOCALAPPDATA on Windows
    std::string configHome; // XDG_CONFIG_HOME, or APPDATA on Windows
    std::string dataHome;   // XDG_DATA_HOME, or APPDATA on Windows
    std::string home;       // HOME, or USERPROFILE on Windows
    std::string sites;      // ORVANTIX_SITES: the sites folder, wherever the program is
};

Facts CurrentFacts();
Places Decide(const Facts& facts);

// The places of this process, decided once. The folder of the language
// choice exists when this returns (as far as it can be made).
const Places& Current();

} // namespace orv::paths

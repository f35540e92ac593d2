#include "paths/AppPaths.h"

#include <gtest/gtest.h>

using orv::paths::Decide;
using orv::paths::Facts;

namespace {

Facts facts(bool writable, bool installedLang) {
    Facts f;
    f.programDir = "/opt/o/bin";
    f.programDirWritable = writable;
    f.installedLangDir = "/opt/o/share/orvantix/lang";
    f.installedLangDirExists = installedLang;
    f.home = "/home/u";
    return f;
}

} // namespace

TEST(AppPaths, BuildTreeKeepsEverythingBesideTheProgram) {
    const auto p = Decide(facts(true, false));
    EXPECT_FALSE(p.installed);
    EXPECT_EQ(p.logDir, "/opt/o/bin/Logs");
    EXPECT_EQ(p.langDir, "/opt/o/bin/Lang");
    EXPECT_EQ(p.languageIni, "/opt/o/bin/Lang/Language.ini");
    EXPECT_EQ(p.sitesDir, "/opt/o/bin/Sites");
}

TEST(AppPaths, InstalledReadsTheDataFolderAndWritesTheUsersFolders) {
    // Not writable (a user), or writable but beside an installed data folder
    // (root): both are installations.
    for (const bool writable : {false, true}) {
        const auto p = Decide(facts(writable, true));
        EXPECT_TRUE(p.installed);
        EXPECT_EQ(p.langDir, "/opt/o/share/orvantix/lang");
        EXPECT_EQ(p.logDir, "/home/u/.local/state/orvantix/Logs");
        EXPECT_EQ(p.languageIni, "/home/u/.config/orvantix/Language.ini");
        EXPECT_EQ(p.sitesDir, "/home/u/.local/share/orvantix/sites");
    }
    Facts xdg = facts(false, true);
    xdg.stateHome = "/x/state";
    xdg.configHome = "/x/config";
    xdg.dataHome = "/x/data";
    EXPECT_EQ(Decide(xdg).sitesDir, "/x/data/orvantix/sites");
    EXPECT_EQ(Decide(xdg).logDir, "/x/state/orvantix/Logs");
    EXPECT_EQ(Decide(xdg).languageIni, "/x/config/orvantix/Language.ini");
    // A read-only copy without a data folder still reads its own Lang/.
    EXPECT_EQ(Decide(facts(false, false)).langDir, "/opt/o/bin/Lang");
    // A sites folder of one's own, installed or not.
    for (Facts f : {xdg, facts(true, false)}) {
        f.sites = "/media/stick/sites";
        EXPECT_EQ(Decide(f).sitesDir, "/media/stick/sites");
    }
}

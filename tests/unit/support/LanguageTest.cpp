#include "lang/Language.h"
#include "log/LogFile.h"

#include "TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sys/stat.h>
#include <tuple>
#include <vector>

namespace {

// Records what the language logic does to the popup menu.
class RecordingMenu : public ILanguageMenu {
public:
    struct Item {
        int command;
        std::wstring text;
        bool operator==(const Item&) const = default;
    };
    std::vector<Item> items{{CLanguage::kPlaceholderCommand, L"&English"}};
    int checked = -1;
    int checkFirst = 0;
    int checkLast = 0;

    void ReplaceFirstItem(int command, const std::wstring& text) override {
        items[0] = {command, text};
    }
    void AppendItem(int command, const std::wstring& text) override {
        items.push_back({command, text});
    }
    void CheckRadioItem(int first, int last, int command) override {
        checkFirst = first;
        checkLast = last;
        checked = command;
    }
};

class LanguageTest : public ::testing::Test {
protected:
    TempDir tmp;
    int systemId = 1033;

    std::unique_ptr<CLanguage> make() {
        return std::make_unique<CLanguage>(tmp.path().wstring(), [this] { return systemId; });
    }
    void addLanguage(const std::string& file, const std::string& name, const std::string& id,
                     const std::string& prompts = "") {
        std::string text = "[LANGUAGE]\r\n";
        if (!name.empty()) {
            text += "Language=" + name + "\r\n";
        }
        if (!id.empty()) {
            text += "LangID=" + id + "\r\n";
        }
        text += "[PROMPT]\r\n" + prompts;
        tmp.write("Lang/" + file, text);
    }
    int storedId() const {
        return orv::ReadProfileInt((tmp.path() / "Lang" / "Language.ini").wstring(), L"Main",
                                   L"Language", -1);
    }
    RecordingMenu build(CLanguage& lang) {
        RecordingMenu menu;
        lang.SetMenuCounter(CLanguage::kFirstCommand);
        lang.BuildLanguageMenu(menu);
        return menu;
    }
};

} // namespace

TEST_F(LanguageTest, LookupFallsBackToTheDefaultAndCutsToTheBuffer) {
    addLanguage("de.lng", "Deutsch", "1031", "10000=Sprache\r\n10001=\r\n");
    auto lang = make();
    wchar_t buf[260];
    lang->GetLangString(L"10000", buf, 260, L"Language");
    EXPECT_EQ(std::wstring(buf), L"Language") << "no language chosen yet";

    lang->SelectLanguage(L"deutsch");
    lang->GetLangString(L"10000", buf, 260, L"Language");
    EXPECT_EQ(std::wstring(buf), L"Sprache");
    lang->GetLangString(L"10001", buf, 260, L"Network Settings");
    EXPECT_EQ(std::wstring(buf), L"Network Settings") << "an empty value means no translation";
    lang->GetLangString(L"99999", buf, 260, L"fallback");
    EXPECT_EQ(std::wstring(buf), L"fallback");
    lang->GetLangString(L"10000", buf, 4, L"Language");
    EXPECT_EQ(std::wstring(buf), L"Spr");
}

TEST_F(LanguageTest, LookupSeesAnEditedLanguageFile) {
    addLanguage("de.lng", "Deutsch", "1031", "10000=Sprache\r\n");
    auto lang = make();
    lang->SelectLanguage(L"Deutsch");
    EXPECT_EQ(lang->Text(L"10000", L"Language"), L"Sprache");
    addLanguage("de.lng", "Deutsch", "1031", "10000=Sprachauswahl\r\n");
    EXPECT_EQ(lang->Text(L"10000", L"Language"), L"Sprachauswahl");
}

TEST_F(LanguageTest, MenuWithoutLanguageFilesKeepsThePlaceholder) {
    auto lang = make();
    const RecordingMenu menu = build(*lang);
    EXPECT_EQ(menu.items, (std::vector<RecordingMenu::Item>{{32772, L"&English"}}));
    EXPECT_EQ(menu.checked, -1);
    EXPECT_EQ(lang->MenuCounter(), 99);

    // Choosing the placeholder selects nothing and stores 0.
    lang->SelectLanguage(L"English");
    EXPECT_EQ(lang->CurrentFile(), L"");
}

TEST_F(LanguageTest, MenuListsFilesInNameOrderAndChecksTheCurrentOne) {
    addLanguage("b_german.lng", "Deutsch", "1031");
    addLanguage("a_english.lng", "English", "1033");
    addLanguage("c_chinese.lng", "简体中文", "2052");
    tmp.write("Lang/readme.txt", "not a language");
    systemId = 2052;
    auto lang = make();
    const RecordingMenu menu = build(*lang);
    EXPECT_EQ(menu.items, (std::vector<RecordingMenu::Item>{
                              {99, L"English"}, {100, L"Deutsch"}, {101, L"简体中文"}}));
    EXPECT_EQ(menu.checked, 101) << "no stored choice: the system language is current";
    EXPECT_EQ(std::tie(menu.checkFirst, menu.checkLast), std::make_tuple(99, 102));
    EXPECT_EQ(storedId(), 2052) << "the system default is stored from now on";
}

TEST_F(LanguageTest, DuplicateIdsBothListedLaterCheckedEarlierLoaded) {
    addLanguage("a.lng", "Deutsch (DE)", "1031", "10000=Sprache A\r\n");
    addLanguage("b.lng", "Deutsch (AT)", "66567",
                "10000=Sprache B\r\n"); // 0x10407: low 16 bits 1031
    auto lang = make();
    lang->SelectLanguage(L"Deutsch (AT)");
    EXPECT_EQ(storedId(), 1031);

    const RecordingMenu menu = build(*lang);
    ASSERT_EQ(menu.items.size(), 2u);
    EXPECT_EQ(menu.checked, 100);

    auto restarted = make();
    restarted->LoadSavedLanguage();
    EXPECT_EQ(restarted->Text(L"10000", L"Language"), L"Sprache A");
}

TEST_F(LanguageTest, NamelessFileLeavesPlaceholderAndKeepsItsCommand) {
    addLanguage("a.lng", "", "1041");
    addLanguage("b.lng", "Deutsch", "1031");
    systemId = 1041;
    auto lang = make();
    const RecordingMenu menu = build(*lang);
    EXPECT_EQ(menu.items,
              (std::vector<RecordingMenu::Item>{{32772, L"&English"}, {100, L"Deutsch"}}));
    EXPECT_EQ(menu.checked, 99) << "the nameless file's command is checked though it has no item";
    EXPECT_EQ(lang->MenuCounter(), 101);

    // It can still become current at start-up through its identifier.
    auto restarted = make();
    restarted->LoadSavedLanguage();
    EXPECT_NE(restarted->CurrentFile().find(L"a.lng"), std::wstring::npos);
    EXPECT_EQ(storedId(), 1041);
}

TEST_F(LanguageTest, OnlyFiftyFilesAreConsidered) {
    for (int i = 0; i < 55; ++i) {
        char file[32];
        std::snprintf(file, sizeof file, "lang%02d.lng", i);
        addLanguage(file, "Language " + std::to_string(i), std::to_string(2000 + i));
    }
    systemId = 2054; // the 55th file
    auto lang = make();
    const RecordingMenu menu = build(*lang);
    ASSERT_EQ(menu.items.size(), 50u);
    EXPECT_EQ(menu.items.back(), (RecordingMenu::Item{148, L"Language 49"}));
    EXPECT_EQ(menu.checked, -1);
    EXPECT_EQ(lang->MenuCounter(), 149);
}

TEST_F(LanguageTest, NamesDifferingInCaseSelectTheFirstInListingOrder) {
    addLanguage("a.lng", "deutsch", "1031", "10000=erste\r\n");
    addLanguage("b.lng", "DEUTSCH", "2055", "10000=zweite\r\n");
    auto lang = make();
    lang->SelectLanguage(L"DEUTSCH");
    EXPECT_EQ(lang->Text(L"10000", L""), L"erste");
    EXPECT_EQ(storedId(), 1031);
}

TEST_F(LanguageTest, StoredChoiceIsRestoredAtTheNextStart) {
    addLanguage("de.lng", "Deutsch", "1031", "10000=Sprache\r\n");
    addLanguage("zh.lng", "中文", "2052", "10000=语言\r\n");
    make()->SelectLanguage(L"中文");

    auto restarted = make();
    restarted->LoadSavedLanguage();
    EXPECT_EQ(restarted->Text(L"10000", L"Language"), L"语言");

    // A stored identifier without a file: English stays and 0 is stored.
    orv::WriteProfileString((tmp.path() / "Lang" / "Language.ini").wstring(), L"Main", L"Language",
                            L"1049");
    auto third = make();
    third->LoadSavedLanguage();
    EXPECT_EQ(third->CurrentFile(), L"");
    EXPECT_EQ(storedId(), 0);
}

TEST_F(LanguageTest, StoredZeroLoadsAFileWithoutIdentifier) {
    addLanguage("x.lng", "Custom", "", "10000=custom\r\n");
    auto lang = make();
    lang->LoadSavedLanguage();
    EXPECT_EQ(lang->Text(L"10000", L"Language"), L"custom");
}

TEST_F(LanguageTest, FilesThatAreNotRegularOrTooLargeAreLeftOutAndNothingBlocksOrIsLost) {
    namespace fs = std::filesystem;
    addLanguage("de.lng", "Deutsch", "1031", "10000=Sprache\r\n");
    addLanguage("huge.lng", "Huge", "1031");
    fs::resize_file(tmp.path() / "Lang" / "huge.lng", 200 << 20);
    const fs::path ini = tmp.path() / "Lang" / "Language.ini";
    for (const fs::path& fifo : {tmp.path() / "Lang" / "fifo.lng", ini}) {
        ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0); // a hang is the failure
    }
    auto lang = make();
    lang->LoadSavedLanguage();
    EXPECT_EQ(build(*lang).items, (std::vector<RecordingMenu::Item>{{99, L"Deutsch"}}));
    lang->SelectLanguage(L"Deutsch");
    EXPECT_EQ(lang->Text(L"10000", L"Language"), L"Sprache");
    EXPECT_TRUE(fs::is_fifo(fs::symlink_status(ini))) << "not written over";
    std::ifstream log(TheLogFile().CurrentPath());
    const std::string lines{std::istreambuf_iterator<char>(log), {}};
    EXPECT_NE(lines.find("huge.lng has 209715200 bytes, more than 1048576: left out."),
              std::string::npos);
}

TEST_F(LanguageTest, LocaleNamesMapToLanguageIdentifiers) {
    EXPECT_EQ(CLanguage::LangIdForLocale("de_DE.UTF-8"), 1031);
    EXPECT_EQ(CLanguage::LangIdForLocale("zh_CN.UTF-8"), 2052);
    EXPECT_EQ(CLanguage::LangIdForLocale("zh_TW"), 1028);
    EXPECT_EQ(CLanguage::LangIdForLocale("en_US.UTF-8"), 1033);
    EXPECT_EQ(CLanguage::LangIdForLocale("de_BE.UTF-8"), 1031);
    EXPECT_EQ(CLanguage::LangIdForLocale("sr_RS@latin"), 9242);
    EXPECT_EQ(CLanguage::LangIdForLocale("C"), 1033);
    EXPECT_EQ(CLanguage::LangIdForLocale("POSIX"), 1033);
}

// The language files the program ships must each carry every text the
// English file has, with a name and an identifier of their own.
TEST(ShippedLanguages, AreCompleteAndDistinct) {
    const std::filesystem::path dir = std::filesystem::path(ORVANTIX_SOURCE_DIR) / "lang";
    const auto english = orv::IniDocument::Load((dir / "English.lng").wstring());
    ASSERT_EQ(english.Get(L"LANGUAGE", L"LangID"), L"1033");
    std::set<std::wstring> names;
    std::set<std::wstring> ids;
    int files = 0;
    for (const auto& entry : std::filesystem::directory_iterator(dir)) {
        if (entry.path().extension() != ".lng") {
            continue;
        }
        ++files;
        const auto doc = orv::IniDocument::Load(entry.path().wstring());
        const auto name = doc.Get(L"LANGUAGE", L"Language");
        const auto id = doc.Get(L"LANGUAGE", L"LangID");
        ASSERT_TRUE(name && !name->empty()) << entry.path();
        ASSERT_TRUE(id && !id->empty()) << entry.path();
        EXPECT_TRUE(names.insert(*name).second) << entry.path();
        EXPECT_TRUE(ids.insert(*id).second) << entry.path();
        EXPECT_EQ(doc.Keys(L"PROMPT"), english.Keys(L"PROMPT")) << entry.path();
        for (const auto& textId : english.Keys(L"PROMPT")) {
            const auto text = doc.Get(L"PROMPT", textId);
            EXPECT_TRUE(text && !text->empty()) << entry.path() << " has no text for a key";
        }
    }
    EXPECT_GE(files, 3);
    EXPECT_GE(english.Keys(L"PROMPT").size(), 100u);
    const auto chinese = orv::IniDocument::Load((dir / "Chinese.lng").wstring());
    EXPECT_EQ(chinese.Get(L"PROMPT", L"10001"), L"网络设置");
}

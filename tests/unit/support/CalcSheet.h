#pragma once
// LibreOffice Calc as an outside judge of the CSV files the tool writes: one
// headless soffice run converts them all to flat ODF spreadsheets, whose
// cells say what Calc made of each field (text, number, formula) and what
// it shows. The cameras' hostile names live here too, with what Calc and a
// terminal show of each.

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace calc {

// A name a camera may give itself, with what Calc shows of the tool's CSV
// cell of it: in a file, and on standard output (where control characters
// are a terminal's escapes).
struct HostileName {
    std::string name;
    std::string file;
    std::string screen;
};

// Each starts a formula to a spreadsheet but the last two: Calc keeps the
// tool's guard apostrophe in sight (it shows the cell as written), and a
// carriage return in a quoted field starts a new paragraph of the cell.
inline const std::vector<HostileName>& HostileNames() {
    static const std::vector<HostileName> names = {
        {"=HYPERLINK(\"http://x\",\"y\")", "'=HYPERLINK(\"http://x\",\"y\")",
         "'=HYPERLINK(\"http://x\",\"y\")"},
        {"@SUM(1+1)*cmd|x", "'@SUM(1+1)*cmd|x", "'@SUM(1+1)*cmd|x"},
        {"+1+1", "'+1+1", "'+1+1"},
        {"-2+3", "'-2+3", "'-2+3"},
        {"\tTab", "'\tTab", "\\x09Tab"},
        {"\rCR", "'\nCR", "\\x0dCR"},
        {"'=quoted", "''=quoted", "''=quoted"},
        {"Gate 1", "Gate 1", "Gate 1"},
        {"Kamera S\u00fcd \u76e3\u8996", "Kamera S\u00fcd \u76e3\u8996",
         "Kamera S\u00fcd \u76e3\u8996"},
    };
    return names;
}

struct Cell {
    std::string type; // office:value-type: string, float, ...; empty for an empty cell
    bool formula = false;
    std::string shown; // paragraphs joined by '\n', tabs as '\t'
};

struct Sheet {
    std::vector<std::vector<Cell>> rows;

    // The column whose first row shows `header`, or -1.
    int Column(const std::string& header) const {
        if (rows.empty()) {
            return -1;
        }
        for (std::size_t c = 0; c < rows[0].size(); ++c) {
            if (rows[0][c].shown == header) {
                return static_cast<int>(c);
            }
        }
        return -1;
    }
};

struct Conversion {
    std::string error;         // empty when every file was converted
    std::vector<Sheet> sheets; // in the order of the files
    double seconds = 0;
};

// Whether soffice is on the PATH.
inline bool Present() {
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path != nullptr ? path : "/usr/bin:/bin");
    for (std::string dir; std::getline(dirs, dir, ':');) {
        if (!dir.empty() && ::access((dir + "/soffice").c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

namespace detail {

inline std::string attribute(const std::string& tag, const std::string& name) {
    const std::string key = " " + name + "=\"";
    const std::size_t at = tag.find(key);
    if (at == std::string::npos) {
        return {};
    }
    const std::size_t from = at + key.size();
    return tag.substr(from, tag.find('"', from) - from);
}

inline std::string decoded(const std::string& text) {
    std::string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const std::size_t end = text[i] == '&' ? text.find(';', i) : std::string::npos;
        if (end == std::string::npos) {
            out += text[i];
            continue;
        }
        const std::string entity = text.substr(i + 1, end - i - 1);
        static const std::pair<const char*, char> kNamed[] = {
            {"apos", '\''}, {"quot", '"'}, {"amp", '&'}, {"lt", '<'}, {"gt", '>'}};
        const auto named = std::find_if(std::begin(kNamed), std::end(kNamed),
                                        [&](const auto& n) { return entity == n.first; });
        if (named != std::end(kNamed)) {
            out += named->second;
        } else if (!entity.empty() && entity[0] == '#') {
            const bool hex = entity.size() > 1 && entity[1] == 'x';
            const unsigned long code =
                std::stoul(entity.substr(hex ? 2 : 1), nullptr, hex ? 16 : 10);
            out += code < 0x80 ? std::string(1, static_cast<char>(code)) : "&" + entity + ";";
        } else {
            out += "&" + entity + ";";
        }
        i = end;
    }
    return out;
}

inline int repeated(const std::string& tag) {
    const std::string n = attribute(tag, "table:number-columns-repeated");
    return n.empty() ? 1 : std::min(std::stoi(n), 1024);
}

} // namespace detail

// The first table of a flat ODF spreadsheet.
inline Sheet ReadFods(const std::string& xml) {
    Sheet sheet;
    const std::size_t begin = xml.find("<table:table ");
    const std::size_t end = xml.find("</table:table>");
    if (begin == std::string::npos || end == std::string::npos) {
        return sheet;
    }
    Cell* cell = nullptr;
    int copies = 1;
    bool firstParagraph = true;
    bool inParagraph = false; // only a paragraph's text is shown; the rest is layout
    for (std::size_t at = begin; at < end;) {
        const std::size_t open = xml.find('<', at);
        if (open > at && cell != nullptr && inParagraph) {
            cell->shown += detail::decoded(xml.substr(at, std::min(open, end) - at));
        }
        if (open >= end) {
            break;
        }
        const std::size_t close = xml.find('>', open);
        const std::string tag = xml.substr(open, close + 1 - open);
        at = close + 1;
        const std::string name = tag.substr(1, tag.find_first_of(" />", 2) - 1);
        const bool empty = tag[tag.size() - 2] == '/';
        if (name == "table:table-row") {
            sheet.rows.emplace_back();
        } else if ((name == "table:table-cell" || name == "table:covered-table-cell") &&
                   !sheet.rows.empty()) {
            Cell made{detail::attribute(tag, "office:value-type"),
                      !detail::attribute(tag, "table:formula").empty(),
                      {}};
            if (empty) {
                // Empty cells repeat up to the sheet's last column.
                const int n = detail::repeated(tag);
                sheet.rows.back().insert(sheet.rows.back().end(), n < 1024 ? n : 1, made);
            } else {
                sheet.rows.back().push_back(made);
                cell = &sheet.rows.back().back();
                copies = detail::repeated(tag);
                firstParagraph = true;
            }
        } else if ((name == "/table:table-cell" || name == "/table:covered-table-cell") &&
                   cell != nullptr) {
            const Cell done = *cell;
            cell = nullptr;
            sheet.rows.back().insert(sheet.rows.back().end(), copies - 1, done);
        } else if (cell != nullptr && name == "text:p") {
            if (!firstParagraph) {
                cell->shown += '\n';
            }
            firstParagraph = false;
            inParagraph = !empty;
        } else if (name == "/text:p") {
            inParagraph = false;
        } else if (cell != nullptr && name == "text:tab") {
            cell->shown += '\t';
        } else if (cell != nullptr && name == "text:line-break") {
            cell->shown += '\n';
        } else if (cell != nullptr && name == "text:s") {
            const std::string c = detail::attribute(tag, "text:c");
            cell->shown += std::string(c.empty() ? 1 : std::stoul(c), ' ');
        }
    }
    // Trailing empty rows are Calc's, not the file's.
    while (!sheet.rows.empty() && std::all_of(sheet.rows.back().begin(), sheet.rows.back().end(),
                                              [](const Cell& c) { return c.type.empty(); })) {
        sheet.rows.pop_back();
    }
    return sheet;
}

// Converts every file with one headless soffice run, with a profile of its
// own in `workDir` (made and left there), ended after `timeout`.
inline Conversion Convert(const std::vector<std::string>& files, const std::string& workDir,
                          std::chrono::seconds timeout = std::chrono::seconds(50)) {
    Conversion result;
    const std::filesystem::path dir = std::filesystem::absolute(workDir);
    const std::filesystem::path out = dir / "fods";
    std::filesystem::create_directories(out);
    // The filter is what a person picks in Calc's import dialog: commas,
    // double quotes, Unicode (UTF-8); without a character set Calc reads
    // the files as Windows-1252.
    std::vector<std::string> args = {"soffice",
                                     "-env:UserInstallation=file://" + (dir / "profile").string(),
                                     "--headless",
                                     "--norestore",
                                     "--infilter=CSV:44,34,76,1",
                                     "--convert-to",
                                     "fods",
                                     "--outdir",
                                     out.string()};
    args.insert(args.end(), files.begin(), files.end());
    std::vector<char*> argv;
    for (std::string& a : args) {
        argv.push_back(a.data());
    }
    argv.push_back(nullptr);
    const std::string log = (dir / "soffice.log").string();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setpgroup(&attributes, 0); // ended as a group: soffice starts soffice.bin
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, "soffice", &actions, &attributes, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attributes);
    if (spawned != 0) {
        result.error = "soffice could not be started";
        return result;
    }
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() - start > timeout) {
            ::kill(-pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            result.error =
                "soffice did not finish within " + std::to_string(timeout.count()) + " s";
            return result;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    result.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::ifstream logFile(log);
    const std::string said((std::istreambuf_iterator<char>(logFile)), {});
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        result.error = "soffice failed: " + said;
        return result;
    }
    for (const std::string& file : files) {
        const std::filesystem::path converted =
            out / std::filesystem::path(file).filename().replace_extension(".fods");
        std::ifstream in(converted);
        if (!in) {
            result.error = file + " was not converted: " + said;
            return result;
        }
        result.sheets.push_back(ReadFods(std::string((std::istreambuf_iterator<char>(in)), {})));
    }
    return result;
}

// What is wrong with a converted CSV file of the tool: a formula anywhere;
// a name (in the column `header`) that is not text, or that shows other
// than `shown` of one of `names`; a name of `names` that no row shows.
// `shown` picks what the file should show of a name (HostileName::file or
// HostileName::screen). Empty when nothing is.
inline std::vector<std::string> Problems(const Sheet& sheet, const std::string& header,
                                         const std::vector<HostileName>& names,
                                         std::string HostileName::*shown) {
    std::vector<std::string> problems;
    const auto where = [](std::size_t r, std::size_t c) {
        return "row " + std::to_string(r + 1) + ", column " + std::to_string(c + 1) + ": ";
    };
    for (std::size_t r = 0; r < sheet.rows.size(); ++r) {
        for (std::size_t c = 0; c < sheet.rows[r].size(); ++c) {
            if (sheet.rows[r][c].formula) {
                problems.push_back(where(r, c) + "a formula showing " + sheet.rows[r][c].shown);
            }
        }
    }
    const int column = sheet.Column(header);
    if (column < 0) {
        problems.push_back("no column " + header);
        return problems;
    }
    std::vector<bool> seen(names.size(), false);
    for (std::size_t r = 1; r < sheet.rows.size(); ++r) {
        const std::vector<Cell>& row = sheet.rows[r];
        const Cell cell = static_cast<std::size_t>(column) < row.size() ? row[column] : Cell{};
        const auto name = std::find_if(names.begin(), names.end(), [&](const HostileName& n) {
            return n.*shown == cell.shown;
        });
        if (name == names.end()) {
            problems.push_back(where(r, column) + "a name shown as \"" + cell.shown + "\"");
            continue;
        }
        seen[name - names.begin()] = true;
        if (cell.type != "string") {
            problems.push_back(where(r, column) + "\"" + cell.shown + "\" is a " + cell.type +
                               " cell, not text");
        }
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (!seen[i]) {
            problems.push_back("no row shows \"" + names[i].*shown + "\"");
        }
    }
    return problems;
}

} // namespace calc

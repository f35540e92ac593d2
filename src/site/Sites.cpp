#include "Sites.h"

#include "SiteBook.h"

#include <algorithm>

namespace orv::site {

namespace {

constexpr const char* kExtension = ".site";

bool present(const std::filesystem::path& path) {
    std::error_code error;
    return std::filesystem::exists(path, error);
}

} // namespace

CSites::CSites(std::filesystem::path folder) : m_folder(std::move(folder)) {}

std::filesystem::path CSites::FileOf(const std::string& name) const {
    // POSIX file names are bytes: the UTF-8 name as it is.
    return m_folder / (name + kExtension);
}

std::vector<std::string> CSites::Names() const {
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder, error)) {
        const std::filesystem::path& path = entry.path();
        if (path.extension() == kExtension && entry.is_regular_file(error)) {
            names.push_back(path.stem().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<std::string> CSites::CheckName(const std::string& name) {
    if (name.empty()) {
        return "A site needs a name.";
    }
    if (name.size() > kLongestName) {
        return "A site's name takes at most " + std::to_string(kLongestName) + " bytes.";
    }
    if (name.front() == '.' || name.front() == ' ' || name.back() == ' ') {
        return "A site's name cannot start with a dot or start or end with a blank.";
    }
    for (const char c : name) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || c == '/' || c == '\\' || c == ':') {
            return "A site's name cannot hold /, \\, : or control characters.";
        }
    }
    return std::nullopt;
}

std::optional<std::string> CSites::Create(const std::string& name) {
    if (std::optional<std::string> problem = CheckName(name)) {
        return problem;
    }
    const std::filesystem::path file = FileOf(name);
    if (present(file)) {
        return "A site named \"" + name + "\" exists already.";
    }
    std::error_code error;
    std::filesystem::create_directories(m_folder, error);
    if (error) {
        return "The sites folder " + m_folder.string() + " cannot be made: " + error.message() +
               ".";
    }
    CSiteBook::Opened opened = CSiteBook::Open(file);
    if (opened.error) {
        return opened.error->text;
    }
    return std::nullopt;
}

std::optional<std::string> CSites::Rename(const std::string& from, const std::string& to) {
    if (std::optional<std::string> problem = CheckName(to)) {
        return problem;
    }
    const std::filesystem::path source = FileOf(from);
    const std::filesystem::path target = FileOf(to);
    if (!present(source)) {
        return "There is no site named \"" + from + "\".";
    }
    if (present(target)) {
        return "A site named \"" + to + "\" exists already.";
    }
    // The last tool to close a book folds its log back into the file; while
    // the log is there, a tool has the book open, and the file alone would
    // lose what the log holds.
    if (present(source.string() + "-wal")) {
        return "The site \"" + from + "\" is open in another window or command; close it first.";
    }
    std::error_code error;
    std::filesystem::rename(source, target, error);
    if (error) {
        return "The site \"" + from + "\" cannot be renamed: " + error.message() + ".";
    }
    return std::nullopt;
}

std::optional<std::string> CSites::EnsureOne(std::string& site) {
    const std::vector<std::string> names = Names();
    site = kDefaultSite;
    if (names.empty()) {
        return Create(site);
    }
    if (std::find(names.begin(), names.end(), site) == names.end()) {
        site = names.front();
    }
    return std::nullopt;
}

} // namespace orv::site

#pragma once
// The sites of one installer: a folder with one book per site, named
// "<site>.site". Sites are created, listed and renamed here; a book is
// opened through CSiteBook. Every call says what went wrong in a sentence
// for the installer, and a refused call changes nothing.

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace orv::site {

class CSites {
public:
    static constexpr const char* kDefaultSite = "Default";
    static constexpr std::size_t kLongestName = 64; // bytes of UTF-8

    explicit CSites(std::filesystem::path folder);

    const std::filesystem::path& Folder() const { return m_folder; }
    // The book of site `name`, whether it exists or not.
    std::filesystem::path FileOf(const std::string& name) const;
    // The sites that have a book, in name order.
    std::vector<std::string> Names() const;

    // Why `name` cannot name a site, or nothing: it must be 1 to 64 bytes
    // of text, without path separators, control characters or a leading
    // dot.
    static std::optional<std::string> CheckName(const std::string& name);
    // Makes an empty book; an error when the name is taken or refused.
    std::optional<std::string> Create(const std::string& name);
    // Renames a site's book; refused while a tool has it open (its write-
    // ahead log is on disk), or when `to` is taken.
    std::optional<std::string> Rename(const std::string& from, const std::string& to);
    // The site to open when none was chosen: "Default", made when there is
    // no site yet, or else the first by name.
    std::optional<std::string> EnsureOne(std::string& site);

private:
    std::filesystem::path m_folder;
};

} // namespace orv::site

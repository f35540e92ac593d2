#pragma once
// Reading files that come from outside the program (language files, the
// language choice, the settings) without being led astray by what sits at
// their path: only a regular file is read, never a directory, FIFO or
// device, and never more than the caller's limit. Nothing here blocks on a
// FIFO or throws.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

namespace orv {

enum class FileError {
    None,
    Missing,    // nothing at the path
    NotRegular, // a directory, FIFO, socket or device
    Link,       // a symbolic link where links are refused
    TooLarge,   // larger than the caller's limit
    Unreadable, // no permission, or an input/output error
    Unwritable, // the folder refused a new file, or the disk is full
};

enum class Links { Follow, Refuse };

struct FileContent {
    FileError error = FileError::None;
    std::string bytes;      // empty unless error is None
    std::uint64_t size = 0; // the file's size, when it was a regular file
    bool whole() const { return error == FileError::None && bytes.size() == size; }
};

// Reads a regular file of at most `maxBytes` bytes: the whole file, or only
// its first `firstBytes` bytes when that is less.
FileContent ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes,
                            Links links = Links::Follow, std::size_t firstBytes = SIZE_MAX);

// Writes a file the person named (results, an exported list): the bytes go
// into a new file beside it, which then takes the name, so a reader never
// sees half a file and no link is ever followed (a rename replaces the name,
// not what a link there points at). A link, directory or other non-regular
// file already at the path is refused and left as it is.
enum class Readers { Umask, OwnerOnly };
FileError WriteRegularFile(const std::filesystem::path& path, std::string_view bytes,
                           Readers readers = Readers::Umask);

// "not a regular file", ... for log lines.
std::string_view Describe(FileError error);

} // namespace orv

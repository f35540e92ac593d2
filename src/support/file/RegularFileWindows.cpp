#include "RegularFile.h"

#include <algorithm>
#include <fstream>
#include <system_error>

namespace orv {

// A new file takes its folder's permissions, which on Windows are the
// owner's profile's: `readers` changes nothing there.
FileError WriteRegularFile(const std::filesystem::path& path, std::string_view bytes,
                           Readers /*readers*/) {
    namespace fs = std::filesystem;
    std::error_code ec;
    const fs::file_status there = fs::symlink_status(path, ec);
    if (fs::is_symlink(there)) {
        return FileError::Link;
    }
    if (fs::exists(there) && !fs::is_regular_file(there)) {
        return FileError::NotRegular;
    }
    fs::path temporary = path;
    temporary += ".new";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        if (!out.flush()) {
            fs::remove(temporary, ec);
            return FileError::Unwritable;
        }
    }
    fs::rename(temporary, path, ec);
    if (ec) {
        fs::remove(temporary, ec);
        return FileError::Unwritable;
    }
    return FileError::None;
}

FileContent ReadRegularFile(const std::filesystem::path& path, std::size_t maxBytes, Links links,
                            std::size_t firstBytes) {
    namespace fs = std::filesystem;
    FileContent out;
    std::error_code ec;
    const fs::file_status status =
        links == Links::Refuse ? fs::symlink_status(path, ec) : fs::status(path, ec);
    if (ec || !fs::exists(status)) {
        out.error = ec && ec != std::errc::no_such_file_or_directory ? FileError::Unreadable
                                                                     : FileError::Missing;
        return out;
    }
    if (fs::is_symlink(status)) {
        out.error = FileError::Link;
        return out;
    }
    if (!fs::is_regular_file(status)) {
        out.error = FileError::NotRegular;
        return out;
    }
    out.size = fs::file_size(path, ec);
    if (ec) {
        out.error = FileError::Unreadable;
        return out;
    }
    if (out.size > maxBytes) {
        out.error = FileError::TooLarge;
        return out;
    }
    try {
        std::ifstream in(path, std::ios::binary);
        if (!in) {
            out.error = FileError::Unreadable;
            return out;
        }
        const std::size_t want =
            std::min<std::size_t>(static_cast<std::size_t>(out.size), firstBytes);
        out.bytes.resize(want);
        in.read(out.bytes.data(), static_cast<std::streamsize>(want));
        out.bytes.resize(static_cast<std::size_t>(in.gcount()));
        if (want == out.size)
            out.size = out.bytes.size();
    } catch (const std::exception&) {
        out.error = FileError::Unreadable;
        out.bytes.clear();
    }
    return out;
}

} // namespace orv

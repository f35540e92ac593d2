#include "RegularFile.h"

namespace orv {

std::string_view Describe(FileError error) {
    switch (error) {
    case FileError::None:
        return "read";
    case FileError::Missing:
        return "missing";
    case FileError::NotRegular:
        return "not a regular file";
    case FileError::Link:
        return "a symbolic link";
    case FileError::TooLarge:
        return "too large";
    case FileError::Unreadable:
        return "unreadable";
    case FileError::Unwritable:
        return "cannot be written";
    }
    return "unreadable";
}

} // namespace orv

#pragma once
// The rules of the OEM page that need no window: the OEM information file
// (content, place, writing), the image selection of Browse, the checks of
// Upload and the upload loop over the target cameras.

#include "jobs/JobEngine.h"
#include "operations/common/Message.h"

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace orv::oem {

// Both texts share the id "0000": no language file overrides them.
inline constexpr Message kCompanyEmpty{L"0000", L"Company can't be empty."};
inline constexpr Message kImageEmpty{L"0000", L"Please select a fireware file."};

inline constexpr const char* kOemFileName = "qvoem.cfg";
inline constexpr int kMaxImages = 10;
// Images of 2 MiB or more are left out of a selection.
inline constexpr std::uint64_t kMaxImageBytes = 2097151;
inline constexpr int kMaxOemFileBytes = 511;

// Field limits of the page, in characters.
inline constexpr int kCompanyChars = 24;
inline constexpr int kWebsiteChars = 128;
inline constexpr int kModelChars = 32;
inline constexpr int kVersionChars = 8;
inline constexpr int kImageFieldChars = 2600;

// What the user entered on the page and in the main window, untrimmed.
struct OemForm {
    std::wstring user;
    std::wstring password;
    std::wstring company;
    std::wstring website;
    std::wstring model;
    std::wstring version;
    std::wstring images;
};

// The form converted for the file and the cameras: system code page,
// backslashes and apostrophes escaped, each within its buffer.
struct OemUpload {
    device::Credentials login;
    char company[24] = {};
    char website[128] = {};
    char model[32] = {};
    int softVersion = 0;
    // The image paths, in the field's order.
    std::vector<QString> images;
};

struct CheckedOem {
    std::optional<OemUpload> upload;
    std::optional<Message> error;
    // The field a kTooLongForCamera error names.
    std::optional<Message> field;
};
// The labels of the fields, for a message that names one: the page's own
// texts, which no language file changes, and the main window's.
inline constexpr Message kCompanyLabel{L"", L"Company:"};
inline constexpr Message kWebsiteLabel{L"", L"Website:"};
inline constexpr Message kModelLabel{L"", L"Model:"};
inline constexpr Message kVersionLabel{L"", L"Version:"};
inline constexpr Message kImageLabel{L"", L"Image File:"};
inline constexpr Message kUserLabel{L"10006", L"Username:"};
inline constexpr Message kPasswordLabel{L"10007", L"Password:"};
// The checks of Upload in their order; the first failure wins. A text that
// its buffer cannot take whole is refused (kTooLongForCamera) rather than
// sent empty.
CheckedOem CheckOemForm(const OemForm& form);

// Leading decimal digits (after blanks and a sign), 0 without any.
int ReadSoftVersion(const char* text);

// The information file's bytes: six CRLF lines, the company twice, at most
// 511 bytes, no terminating zero.
std::string OemFileContent(const OemUpload& upload);
// "<dir>/qvoem.cfg", at most 259 bytes.
std::string OemFilePath(const std::string& dir);
// Creates the file anew; on failure writes the diagnostic line and returns
// false.
bool WriteOemFile(const std::string& path, const std::string& content);

// Browse: the chosen paths in the dialog's order, at most ten accepted,
// files that cannot be read or hold 2 MiB or more skipped; joined with "*".
std::wstring JoinImageSelection(const std::vector<std::wstring>& chosen);
// The Image File field split at every "*", empty pieces skipped.
std::vector<std::wstring> SplitImageField(const std::wstring& field);

// The upload as a job: each target logs in and takes the information file
// (path as it is) as the "Upload OEM Files" operation, then, where it did,
// the images (whose refusals are not reported) and its reboot through
// `queueReboot`, which must be safe to call from any thread.
jobs::JobSpec
UploadOemJob(const std::vector<device::DeviceInfo>& targets, const OemUpload& upload,
             const QString& oemFilePath,
             std::function<void(std::shared_ptr<device::IDeviceSession>)> queueReboot);

} // namespace orv::oem

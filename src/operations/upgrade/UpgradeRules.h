#pragma once
// The rules of the Batch Upgrade page that need no window: model families
// from version texts, the family filter, the checks of the checked set, the
// firmware file's size and name against a camera's model, and the upgrade
// job over the target cameras.

#include "jobs/JobEngine.h"
#include "operations/common/Message.h"

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orv::upgrade {

inline constexpr Message kModelUnmatched{L"90011", L"The model of devices is unmatched."};
inline constexpr Message kFileTooBig{L"90013", L"File size is too big."};
inline constexpr Message kSelectFirmware{L"90014", L"Please select a fireware file."};

// The largest image Browse takes: 101 MiB - 1 byte (size / 1 MiB <= 100).
inline constexpr std::uint64_t kMaxFirmwareBytes = 105906175;
bool FirmwareSizeAccepted(std::uint64_t size);

// Family filter entries; the entry index is the family number.
inline constexpr std::array<const char*, 7> kFamilyEntries{
    "XX.XX.XX.XX", "11.XX.XX.XX", "12.XX.XX.XX", "13.XX.XX.XX",
    "14.XX.XX.XX", "21.XX.XX.XX", "22.XX.XX.XX"};
// 1 to 6 from the first two characters of a version text, 0 for any other.
int ModelFamily(std::string_view version);

// One row of a page's list as the check rules see it.
struct ListRow {
    std::string ip;
    std::string version;
    bool checked = false;
    // Which images the camera takes: the maker's (named by the rule below,
    // grouped by firmware family) or its own maker's, which only a camera
    // of the same model takes (`model` names maker and model).
    bool makerImage = true;
    std::string model;
};
ListRow ListRowOf(const device::DeviceInfo& camera, bool checked);
std::vector<ListRow> RowsOf(const std::vector<device::DeviceInfo>& devices,
                            const std::vector<bool>& checks);

// The check marks after the family filter: entry 0 checks every row when
// Select All is on and otherwise changes nothing; entries 1 to 6 take the
// mark from every row of another family and never add one.
std::vector<bool> ApplyFamilyFilter(int entry, bool selectAll, const std::vector<ListRow>& rows);

// True when another row of the list, checked or not, has the same address
// (letter case ignored).
bool HasAddressConflict(const std::vector<ListRow>& rows, int row);

enum class SetVerdict { Valid, AddressConflict, ModelMismatch };
// The checked set: an address conflict first, then (with the model test)
// two checked rows that cannot take one image: the maker's cameras whose
// versions differ in their first two characters, other cameras of another
// model, or one of each.
SetVerdict ValidateCheckedSet(const std::vector<ListRow>& rows, bool withModelTest);

// The image name rule: "QVFImage_" anywhere in the name (case matters),
// then the platform character, whose code plus one must be the model's
// fifth character, and the CMOS character, of which 1 to 4 demand the
// model's sixth character 6, 3, 4 or 9.
enum class NameVerdict { Accepted, NoPrefix, PlatformDiffers, CmosDiffers };
struct NameCheck {
    NameVerdict verdict = NameVerdict::NoPrefix;
    // The name from the prefix on (empty without the prefix).
    std::string fromPrefix;
};
inline constexpr std::string_view kImagePrefix = "QVFImage_";
NameCheck CheckFirmwareName(std::string_view fileName, std::string_view model);
// The models an image name fits, as a six-character pattern: "????36" for
// "QVFImage_21...", "?" where any character fits.
std::string ImageModel(std::string_view fileName);

// The camera an image is checked against before any camera is called.
struct ImageTarget {
    ImageTarget(std::string cameraModel, bool takesMakerImage = true)
        : model(std::move(cameraModel)), makerImage(takesMakerImage) {}
    std::string model;
    // False for a camera only ONVIF reaches: its maker's images follow no
    // naming rule known here, so the camera judges the image itself, and the
    // maker's own images are refused before they reach it.
    bool makerImage = true;
};
ImageTarget ImageTargetOf(const device::DeviceInfo& camera);

// Upgrade, up to the first device call: what the path field holds and the
// reference camera (nothing when there is no reference camera).
enum class UpgradeStop {
    None,       // go on with `path`
    EmptyPath,  // message 90014
    Unreadable, // message about the file
    EmptyFile,  // silent
    NoPrefix,   // log line only
    NoDevice,   // message 90010
    EmptyModel, // silent
    PlatformDiffers,
    CmosDiffers, // both: log line and message 90011
    MakerImage,  // the maker's image for another maker's camera: the same
};
struct UpgradeCheck {
    UpgradeStop stop = UpgradeStop::None;
    std::optional<Message> message;
    // The image's path, for the upload.
    QString path;
};
// Writes the diagnostic lines of the stops that have one.
UpgradeCheck CheckUpgrade(const std::wstring& pathField,
                          const std::optional<ImageTarget>& reference);

// The upgrade as a job: each target whose model the image's name fits logs
// in and takes the image; its outcome is the "Upgrade" operation. A camera
// the image does not fit (the maker's camera and an image not named for its
// model, another maker's camera and the maker's image) fails with
// ModelMismatch before anything is sent.
//
// In waves (a share above 0), one camera takes the image first, then that
// share of the others, then the rest, each wave once the one before is
// done; after `stopAfter` failed cameras (0: never) the cameras not yet
// started are left alone and say so.
//
// A camera that took the image reboots into it; its "Upgrade" is reported
// once it answers again, with the version it runs then kept as the
// upgrade's value after. One that does not answer again within
// `kBackWithin` fails as not back.
inline constexpr std::chrono::seconds kBackWithin{180};
struct Rollout {
    int sharePercent = 0;
    int stopAfter = 0;
    std::chrono::seconds backWithin = kBackWithin;
};
jobs::JobSpec UpgradeJob(const std::vector<device::DeviceInfo>& targets,
                         const device::Credentials& login, const QString& path,
                         Rollout rollout = {});
// The waves of a rollout over `cameras`: {1, share of the others}; the rest
// follow as the last wave. Nothing for a share of 0 (all at once).
std::vector<std::size_t> RolloutWaves(std::size_t cameras, int sharePercent);

} // namespace orv::upgrade

#pragma once
// The Video/Image sub-page's rules that need no window: a camera's model
// class from its model text, the entries each list offers for that class and
// power line frequency, where a camera's codes land in those lists, which
// camera of a checked set speaks for the others, and the three records a
// save sends.

#include "operations/common/Message.h"
#include "qvipcsdk/QvIpcSdk.h"
#include "qvsp/QvspTypes.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace orv::batchset {

inline constexpr Message kIFrameEmpty{L"90025", L"I-frame Field can't be empty."};

using Entries = std::vector<std::string>;

// 1 (fewest frame sizes) to 5 (all of them); any unrecognised model text,
// the empty one included, is class 5.
int ModelClass(std::string_view model);
// The model text of a record's fixed field, without the bytes after its end.
std::string_view ModelText(const tagQvIpcInfo& device);

// Primary frame sizes: codes 0 (5M) to 6 (D1). A class offers the codes from
// its first one up to 6, so a list position is the code minus that first code.
inline constexpr int kCode5M = 0;
inline constexpr int kCode3M = 1;
int FirstPrimarySizeCode(int modelClass);
// All seven sizes: what the list offers before any camera has been shown.
Entries AllPrimarySizes();
Entries PrimarySizes(int modelClass);
// -1 when the class does not offer the code.
int PrimarySizePosition(int modelClass, int code);
// -1 for a position outside the class's list.
int PrimarySizeCode(int modelClass, int position);

// Secondary frame sizes: codes 0 "640*480", 1 "640*368", 2 "176*144",
// 3 "320*240", 4 "320*192". "176*144" is offered alone while the primary size
// is 3M; otherwise the other four are.
Entries SecondarySizes(bool primaryIs3M);
// The list position a camera's secondary code selects in the normal list.
int SecondarySizePosition(int code);
// The code a secondary list position stands for.
int SecondarySizeCode(int position, bool primaryIs3M);

// The secondary stream may be switched on except while the primary size is
// 5M; while it is 3M the secondary stream takes H.264 alone.
bool SecondaryStreamAllowed(int primarySizeCode);
Entries SecondaryCodecsWith(int primarySizeCode);

// Frame rates for every size but 5M and 3M: 60 Hz mains allow 30 frames a
// second, every other frequency starts at 25.
Entries NormalFrameRates(int powerLineFrequency);
// The primary list after its size changed.
Entries PrimaryFrameRates(int primarySizeCode, int keptPowerLineFrequency);
// Before any camera has been shown both lists offer 30 to 8.
Entries InitialFrameRates();

// The primary bit-rate list before any camera is shown, and after one is:
// classes 4 and 5 stop at 6144.
Entries InitialPrimaryBitRates();
Entries PrimaryBitRates(int modelClass);
Entries SecondaryBitRates();

// Lists whose position is the code the camera uses.
Entries PrimaryCodecs();   // "H.264"
Entries SecondaryCodecs(); // "H.264", "MPEG4", "MJPEG"
inline constexpr int kCodecMjpeg = 2;
Entries BitRateControls();      // "CBR", "VBR"
Entries PowerLineFrequencies(); // "60HZ", "50HZ"
Entries OutdoorModes();         // "Outdoor", "Indoor"
Entries LocalDisplayModes();    // "OFF", "NTSC", "PAL"

// Selections before any camera is shown.
inline constexpr int kStartPrimarySize = 5;      // "720P(1280*720)" of all seven
inline constexpr int kStartSecondarySize = 0;    // "640*480"
inline constexpr int kStartPrimaryBitRate = 8;   // "4096"
inline constexpr int kStartSecondaryBitRate = 3; // "512"
inline constexpr int kStartBitRateControl = 1;   // "VBR"
inline constexpr int kStartPowerLine = 1;        // "50HZ"
inline constexpr const char* kStartPrimaryIFrame = "20";
inline constexpr const char* kStartSecondaryIFrame = "30";
inline constexpr int kIFrameDigits = 2;

// The first entry whose text begins with the number in decimal; -1 if none.
int EntryStartingWith(const Entries& entries, int number);
// The number an entry's text begins with.
int EntryNumber(const std::string& entry);
// The Power Line Frequency position that shows a camera's frequency.
int PowerLinePosition(int frequency);

// The checked camera whose options bind the whole set: the first of the
// lowest model class. -1 for an empty set.
int ReferenceDevice(const std::vector<tagQvIpcInfo>& checked);

// One stream's lists as the user left them. A list without a selection is
// nothing; its value is then taken from the record last shown.
struct StreamForm {
    bool enabled = false;
    std::optional<int> codec;          // position = code
    std::optional<int> frameSize;      // list position
    std::optional<int> frameRate;      // the selected entry's number
    std::optional<int> bitRate;        // the selected entry's number
    std::optional<int> bitRateControl; // position = code
    std::wstring iFrame;               // as typed
};

struct VideoImageForm {
    StreamForm primary;
    StreamForm secondary;
    std::optional<int> powerLine; // list position
    std::optional<int> outdoor;
    std::optional<int> localDisplay;
    // What the last shown camera reported; a save keeps these values for
    // lists that show no selection.
    std::string keptModel;
    int keptPowerLineFrequency = 50;
    QvVideoConfig shownPrimary{};
    QvVideoConfig shownSecondary{};
    QvImagingConfig shownImaging{};
};

// The records of one save, or the message of the first empty I-frame field
// (primary first).
struct VideoImageParams {
    QvImagingConfig imaging{};
    QvVideoConfig primary{};
    QvVideoConfig secondary{};
    std::optional<Message> error;
};
VideoImageParams BuildVideoImageParams(const VideoImageForm& form);

// A checked-mode Save sends only the fields the installer changed; every
// other field of a stream or of the image options stays as each camera has
// it. A field counts as changed when its value differs from what the page
// showed, or when the person set it by hand (also to the value shown).
struct StreamFields {
    bool enabled = false;
    bool codec = false;
    bool frameSize = false;
    bool frameRate = false;
    bool bitRate = false;
    bool bitRateControl = false;
    bool iFrameInterval = false;
    bool Any() const {
        return enabled || codec || frameSize || frameRate || bitRate || bitRateControl ||
               iFrameInterval;
    }
};
StreamFields ChangedStreamFields(const QvVideoConfig& shown, const QvVideoConfig& now,
                                 const StreamFields& setByHand);
// `camera` with the chosen fields taken from `now`.
void MergeStream(QvVideoConfig& camera, const QvVideoConfig& now, const StreamFields& fields);

struct ImagingFields {
    bool powerLine = false;
    bool localDisplay = false;
    bool outdoor = false;
    bool Any() const { return powerLine || localDisplay || outdoor; }
};
ImagingFields ChangedImagingFields(const QvImagingConfig& shown, const QvImagingConfig& now,
                                   const ImagingFields& setByHand);
void MergeImaging(QvImagingConfig& camera, const QvImagingConfig& now, const ImagingFields& fields);

// The primary size code the form stands for (the shown one without a
// selection).
int SelectedPrimarySizeCode(const VideoImageForm& form);

} // namespace orv::batchset

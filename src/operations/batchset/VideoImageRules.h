#pragma once
// The Video/Image sub-page's rules that need no window: a camera's model
// class from its model text, the entries each list offers for that class and
// power line frequency, where a camera's values land in those lists, which
// camera of a checked set speaks for the others, and the settings a save
// sends.

#include "device/DeviceInfo.h"
#include "device/DeviceSession.h"
#include "operations/common/Message.h"

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
// The model text as the camera reported it, in the system code page, where
// the class is read from.
std::string ModelText(const device::DeviceInfo& device);

struct FrameSize {
    int width = 0;
    int height = 0;
    bool operator==(const FrameSize&) const = default;
};
FrameSize SizeOf(const device::StreamSettings& stream);

// Primary frame sizes, numbered from 0 (5M) to 6 (D1) by their place in the
// list of all seven. A class offers the sizes from its first one up to 6, so
// a list position is the size's number minus that first number.
inline constexpr int kSize5M = 0;
inline constexpr int kSize3M = 1;
// The size of a number, {0, 0} outside 0 to 6; the number of a size, -1 for
// one the list does not offer.
FrameSize PrimarySize(int number);
int PrimarySizeNumber(const FrameSize& size);
// The number of the first size a class offers.
int FirstPrimarySize(int modelClass);
// All seven sizes: what the list offers before any camera has been shown.
Entries AllPrimarySizes();
Entries PrimarySizes(int modelClass);
// -1 when the class does not offer the size.
int PrimarySizePosition(int modelClass, int number);
// -1 for a position outside the class's list.
int PrimarySizeAt(int modelClass, int position);

// Secondary frame sizes: "176*144" is offered alone while the primary size
// is 3M; otherwise "640*480", "640*368", "320*240" and "320*192" are.
Entries SecondarySizes(bool primaryIs3M);
// The list position a camera's secondary size selects in the normal list;
// -1 for a size it does not offer.
int SecondarySizePosition(const FrameSize& size);
// The size a secondary list position stands for; {0, 0} outside the list.
FrameSize SecondarySize(int position, bool primaryIs3M);

// The secondary stream may be switched on except while the primary size is
// 5M; while it is 3M the secondary stream takes H.264 alone.
bool SecondaryStreamAllowed(int primarySize);
Entries SecondaryCodecsWith(int primarySize);

// Frame rates for every size but 5M and 3M: 60 Hz mains allow 30 frames a
// second, every other frequency starts at 25.
Entries NormalFrameRates(int powerLineFrequency);
// The primary list after its size changed.
Entries PrimaryFrameRates(int primarySize, int keptPowerLineFrequency);
// Before any camera has been shown both lists offer 30 to 8.
Entries InitialFrameRates();

// The primary bit-rate list before any camera is shown, and after one is:
// classes 4 and 5 stop at 6144.
Entries InitialPrimaryBitRates();
Entries PrimaryBitRates(int modelClass);
Entries SecondaryBitRates();

// Lists, and the positions of the values they offer.
Entries PrimaryCodecs();   // "H.264"
Entries SecondaryCodecs(); // "H.264", "MPEG4", "MJPEG"
inline constexpr int kCodecMjpeg = 2;
Entries BitRateControls();      // "CBR", "VBR"
Entries PowerLineFrequencies(); // "60HZ", "50HZ"
Entries OutdoorModes();         // "Outdoor", "Indoor"
Entries LocalDisplayModes();    // "OFF", "NTSC", "PAL"
// -1 for a codec of the camera's own that the lists do not name.
int CodecPosition(device::VideoCodec codec);
device::VideoCodec CodecAt(int position);
int RateControlPosition(device::RateControl control);
device::RateControl RateControlAt(int position);
int LocalDisplayPosition(device::LocalDisplay display);
device::LocalDisplay LocalDisplayAt(int position);
int OutdoorPosition(bool indoor);

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
int ReferenceDevice(const std::vector<device::DeviceInfo>& checked);

// One stream's lists as the user left them. A list without a selection is
// nothing; its value is then taken from the stream last shown.
struct StreamForm {
    bool enabled = false;
    std::optional<int> codec;          // list position
    std::optional<int> frameSize;      // list position
    std::optional<int> frameRate;      // the selected entry's number
    std::optional<int> bitRate;        // the selected entry's number
    std::optional<int> bitRateControl; // list position
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
    device::StreamSettings shownPrimary;
    device::StreamSettings shownSecondary;
    device::ImageSettings shownImage;
};

// The settings of one save, or the message of the first empty I-frame field
// (primary first). A size or codec the lists do not name, left unselected,
// stays the one shown: the camera keeps its own.
struct VideoImageParams {
    device::ImageSettings image;
    device::StreamSettings primary;
    device::StreamSettings secondary;
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
StreamFields ChangedStreamFields(const device::StreamSettings& shown,
                                 const device::StreamSettings& now, const StreamFields& setByHand);
// `camera` with the chosen fields taken from `now`.
void MergeStream(device::StreamSettings& camera, const device::StreamSettings& now,
                 const StreamFields& fields);

struct ImagingFields {
    bool powerLine = false;
    bool localDisplay = false;
    bool outdoor = false;
    bool Any() const { return powerLine || localDisplay || outdoor; }
};
ImagingFields ChangedImagingFields(const device::ImageSettings& shown,
                                   const device::ImageSettings& now,
                                   const ImagingFields& setByHand);
void MergeImaging(device::ImageSettings& camera, const device::ImageSettings& now,
                  const ImagingFields& fields);

// The number of the primary size the form stands for (the shown one without
// a selection; -1 for a size the list does not offer).
int SelectedPrimarySize(const VideoImageForm& form);

} // namespace orv::batchset

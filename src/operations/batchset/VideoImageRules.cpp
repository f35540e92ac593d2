#include "VideoImageRules.h"

#include "text/TextConv.h"

#include <algorithm>
#include <array>
#include <cwctype>

namespace orv::batchset {

namespace {

constexpr std::array<const char*, 7> kPrimarySizes = {
    "5M(2560*1920)",  "3M(2048*1536)",  "1080P(1920*1080)", "2M(1600*1200)",
    "1.3M(1280*960)", "720P(1280*720)", "D1(704*576)",
};
constexpr std::array<FrameSize, 7> kPrimaryFrameSizes = {
    {{2560, 1920}, {2048, 1536}, {1920, 1080}, {1600, 1200}, {1280, 960}, {1280, 720}, {704, 576}}};
constexpr int kLastPrimarySize = 6;
// The normal list's sizes by position; "176*144" has a list of its own.
constexpr std::array<FrameSize, 4> kNormalSecondarySizes = {
    {{640, 480}, {640, 368}, {320, 240}, {320, 192}}};
constexpr FrameSize kSecondary176{176, 144};

std::wstring trimmed(const std::wstring& text) {
    size_t begin = 0;
    size_t end = text.size();
    while (begin < end && std::iswspace(text[begin]) != 0) {
        ++begin;
    }
    while (end > begin && std::iswspace(text[end - 1]) != 0) {
        --end;
    }
    return text.substr(begin, end - begin);
}

// The decimal value of the leading digits; the field takes digits only.
int decimal(const std::wstring& text) {
    int value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            break;
        }
        value = value * 10 + (c - L'0');
    }
    return value;
}

} // namespace

int ModelClass(std::string_view model) {
    auto at = [&](size_t position) {
        return position <= model.size() ? model[position - 1] : '\0';
    };
    if (at(6) == '9') {
        return 1;
    }
    if (at(5) == '2') {
        return 2;
    }
    const char seventh = at(7);
    const char eighth = at(8);
    if (seventh == '5' || seventh == '6' || seventh == '7') {
        if (eighth == '1' || eighth == '2' || eighth == '3') {
            return 3;
        }
        if (eighth == '6') {
            return 4;
        }
    }
    return 5;
}

std::string ModelText(const device::DeviceInfo& device) {
    return ToAnsi(device.model.toStdWString());
}

FrameSize SizeOf(const device::StreamSettings& stream) {
    return {stream.width, stream.height};
}

FrameSize PrimarySize(int number) {
    return number >= 0 && number <= kLastPrimarySize
               ? kPrimaryFrameSizes[static_cast<size_t>(number)]
               : FrameSize{};
}

int PrimarySizeNumber(const FrameSize& size) {
    const auto it = std::find(kPrimaryFrameSizes.begin(), kPrimaryFrameSizes.end(), size);
    return it == kPrimaryFrameSizes.end() ? -1 : static_cast<int>(it - kPrimaryFrameSizes.begin());
}

int FirstPrimarySize(int modelClass) {
    switch (modelClass) {
    case 1:
        return 5;
    case 2:
        return 4;
    case 3:
        return 2;
    case 4:
        return 1;
    default:
        return 0;
    }
}

Entries AllPrimarySizes() {
    return PrimarySizes(5);
}

Entries PrimarySizes(int modelClass) {
    return Entries(kPrimarySizes.begin() + FirstPrimarySize(modelClass), kPrimarySizes.end());
}

int PrimarySizePosition(int modelClass, int number) {
    const int first = FirstPrimarySize(modelClass);
    return number >= first && number <= kLastPrimarySize ? number - first : -1;
}

int PrimarySizeAt(int modelClass, int position) {
    const int first = FirstPrimarySize(modelClass);
    return position >= 0 && position <= kLastPrimarySize - first ? position + first : -1;
}

Entries SecondarySizes(bool primaryIs3M) {
    if (primaryIs3M) {
        return {"176*144"};
    }
    return {"640*480", "640*368", "320*240", "320*192"};
}

int SecondarySizePosition(const FrameSize& size) {
    // A camera's "176*144" shows as "320*240", the entry in its place.
    if (size == kSecondary176) {
        return 2;
    }
    const auto it = std::find(kNormalSecondarySizes.begin(), kNormalSecondarySizes.end(), size);
    return it == kNormalSecondarySizes.end() ? -1
                                             : static_cast<int>(it - kNormalSecondarySizes.begin());
}

FrameSize SecondarySize(int position, bool primaryIs3M) {
    if (primaryIs3M) {
        return kSecondary176;
    }
    if (position < 0 || position >= static_cast<int>(kNormalSecondarySizes.size())) {
        return {};
    }
    return kNormalSecondarySizes[static_cast<size_t>(position)];
}

bool SecondaryStreamAllowed(int primarySize) {
    return primarySize != kSize5M;
}

Entries SecondaryCodecsWith(int primarySize) {
    return primarySize == kSize3M ? PrimaryCodecs() : SecondaryCodecs();
}

Entries NormalFrameRates(int powerLineFrequency) {
    if (powerLineFrequency == 60) {
        return {"30", "25", "15", "8"};
    }
    return {"25", "15", "8"};
}

Entries PrimaryFrameRates(int primarySize, int keptPowerLineFrequency) {
    if (primarySize == kSize5M) {
        return {"8"};
    }
    if (primarySize == kSize3M) {
        return {"15", "8"};
    }
    return NormalFrameRates(keptPowerLineFrequency);
}

Entries InitialFrameRates() {
    return NormalFrameRates(60);
}

Entries InitialPrimaryBitRates() {
    return {"64", "128", "256", "512", "1024", "1536", "2048", "3072", "4096", "5120", "6144"};
}

Entries PrimaryBitRates(int modelClass) {
    Entries rates = InitialPrimaryBitRates();
    if (modelClass != 4 && modelClass != 5) {
        rates.emplace_back("7168");
        rates.emplace_back("8192");
    }
    return rates;
}

Entries SecondaryBitRates() {
    return {"128", "256", "384", "512", "768", "1024"};
}

Entries PrimaryCodecs() {
    return {"H.264"};
}

Entries SecondaryCodecs() {
    return {"H.264", "MPEG4", "MJPEG"};
}

Entries BitRateControls() {
    return {"CBR", "VBR"};
}

Entries PowerLineFrequencies() {
    return {"60HZ", "50HZ"};
}

Entries OutdoorModes() {
    return {"Outdoor", "Indoor"};
}

Entries LocalDisplayModes() {
    return {"OFF", "NTSC", "PAL"};
}

int CodecPosition(device::VideoCodec codec) {
    switch (codec) {
    case device::VideoCodec::H264:
        return 0;
    case device::VideoCodec::Mpeg4:
        return 1;
    case device::VideoCodec::Mjpeg:
        return kCodecMjpeg;
    case device::VideoCodec::Other:
        break;
    }
    return -1;
}

device::VideoCodec CodecAt(int position) {
    switch (position) {
    case 0:
        return device::VideoCodec::H264;
    case 1:
        return device::VideoCodec::Mpeg4;
    case kCodecMjpeg:
        return device::VideoCodec::Mjpeg;
    default:
        return device::VideoCodec::Other;
    }
}

int RateControlPosition(device::RateControl control) {
    return control == device::RateControl::Constant ? 0 : 1;
}

device::RateControl RateControlAt(int position) {
    return position == 0 ? device::RateControl::Constant : device::RateControl::Variable;
}

int LocalDisplayPosition(device::LocalDisplay display) {
    return display == device::LocalDisplay::Ntsc ? 1 : display == device::LocalDisplay::Pal ? 2 : 0;
}

device::LocalDisplay LocalDisplayAt(int position) {
    return position == 1   ? device::LocalDisplay::Ntsc
           : position == 2 ? device::LocalDisplay::Pal
                           : device::LocalDisplay::Off;
}

int OutdoorPosition(bool indoor) {
    return indoor ? 1 : 0;
}

int EntryStartingWith(const Entries& entries, int number) {
    const std::string prefix = std::to_string(number);
    for (size_t i = 0; i < entries.size(); ++i) {
        if (entries[i].compare(0, prefix.size(), prefix) == 0) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int EntryNumber(const std::string& entry) {
    int value = 0;
    for (char c : entry) {
        if (c < '0' || c > '9') {
            break;
        }
        value = value * 10 + (c - '0');
    }
    return value;
}

int PowerLinePosition(int frequency) {
    return frequency == 60 ? 0 : 1;
}

int ReferenceDevice(const std::vector<device::DeviceInfo>& checked) {
    int best = -1;
    int bestClass = 6;
    for (size_t i = 0; i < checked.size(); ++i) {
        const int modelClass = ModelClass(ModelText(checked[i]));
        if (modelClass < bestClass) {
            best = static_cast<int>(i);
            bestClass = modelClass;
        }
    }
    return best;
}

int SelectedPrimarySize(const VideoImageForm& form) {
    if (!form.primary.frameSize) {
        return PrimarySizeNumber(SizeOf(form.shownPrimary));
    }
    return PrimarySizeAt(ModelClass(form.keptModel), *form.primary.frameSize);
}

namespace {

void putSize(device::StreamSettings& stream, const FrameSize& size) {
    stream.width = size.width;
    stream.height = size.height;
}

} // namespace

VideoImageParams BuildVideoImageParams(const VideoImageForm& form) {
    VideoImageParams params;
    const std::wstring primaryIFrame = trimmed(form.primary.iFrame);
    const std::wstring secondaryIFrame = trimmed(form.secondary.iFrame);
    if (primaryIFrame.empty() || secondaryIFrame.empty()) {
        params.error = kIFrameEmpty;
        return params;
    }

    // Only the three options of this page; the batch operation merges them
    // into each camera's own settings.
    device::ImageSettings& image = params.image;
    const device::ImageSettings& shownImage = form.shownImage;
    const int powerLine =
        form.powerLine ? *form.powerLine : PowerLinePosition(shownImage.powerLineHz);
    image.powerLineHz = powerLine == 0 ? 60 : 50;
    image.localDisplay =
        form.localDisplay ? LocalDisplayAt(*form.localDisplay) : shownImage.localDisplay;
    image.indoor = form.outdoor ? *form.outdoor == 1 : shownImage.indoor;

    const int primaryNumber = SelectedPrimarySize(form);
    const bool largest = primaryNumber == kSize5M || primaryNumber == kSize3M;

    device::StreamSettings& primary = params.primary;
    const device::StreamSettings& shownPrimary = form.shownPrimary;
    primary.enabled = false;
    primary.codec = device::VideoCodec::H264;
    putSize(primary, form.primary.frameSize ? PrimarySize(primaryNumber) : SizeOf(shownPrimary));
    // At 50 Hz the camera picks the rate of its two largest sizes itself.
    primary.frameRate = largest && form.keptPowerLineFrequency == 50
                            ? 0
                            : form.primary.frameRate.value_or(shownPrimary.frameRate);
    primary.bitRateKbps = form.primary.bitRate.value_or(shownPrimary.bitRateKbps);
    primary.rateControl = form.primary.bitRateControl ? RateControlAt(*form.primary.bitRateControl)
                                                      : shownPrimary.rateControl;
    primary.iFrameInterval = decimal(primaryIFrame);

    device::StreamSettings& secondary = params.secondary;
    const device::StreamSettings& shownSecondary = form.shownSecondary;
    secondary.enabled = form.secondary.enabled;
    secondary.codec = form.secondary.codec ? CodecAt(*form.secondary.codec) : shownSecondary.codec;
    const bool primaryIs3M = primaryNumber == kSize3M;
    putSize(secondary, form.secondary.frameSize || primaryIs3M
                           ? SecondarySize(form.secondary.frameSize.value_or(0), primaryIs3M)
                           : SizeOf(shownSecondary));
    secondary.frameRate = form.secondary.frameRate.value_or(shownSecondary.frameRate);
    secondary.bitRateKbps = form.secondary.bitRate.value_or(shownSecondary.bitRateKbps);
    secondary.rateControl = form.secondary.bitRateControl
                                ? RateControlAt(*form.secondary.bitRateControl)
                                : shownSecondary.rateControl;
    secondary.iFrameInterval = decimal(secondaryIFrame);
    return params;
}

StreamFields ChangedStreamFields(const device::StreamSettings& shown,
                                 const device::StreamSettings& now, const StreamFields& setByHand) {
    StreamFields f = setByHand;
    f.enabled |= shown.enabled != now.enabled;
    f.codec |= shown.codec != now.codec;
    f.frameSize |= SizeOf(shown) != SizeOf(now);
    f.frameRate |= shown.frameRate != now.frameRate;
    f.bitRate |= shown.bitRateKbps != now.bitRateKbps;
    f.bitRateControl |= shown.rateControl != now.rateControl;
    f.iFrameInterval |= shown.iFrameInterval != now.iFrameInterval;
    return f;
}

void MergeStream(device::StreamSettings& camera, const device::StreamSettings& now,
                 const StreamFields& fields) {
    const auto take = [](bool chosen, auto& to, const auto& from) {
        if (chosen) {
            to = from;
        }
    };
    take(fields.enabled, camera.enabled, now.enabled);
    take(fields.codec, camera.codec, now.codec);
    take(fields.frameSize, camera.width, now.width);
    take(fields.frameSize, camera.height, now.height);
    take(fields.frameRate, camera.frameRate, now.frameRate);
    take(fields.bitRate, camera.bitRateKbps, now.bitRateKbps);
    take(fields.bitRateControl, camera.rateControl, now.rateControl);
    take(fields.iFrameInterval, camera.iFrameInterval, now.iFrameInterval);
}

ImagingFields ChangedImagingFields(const device::ImageSettings& shown,
                                   const device::ImageSettings& now,
                                   const ImagingFields& setByHand) {
    ImagingFields f = setByHand;
    f.powerLine |= shown.powerLineHz != now.powerLineHz;
    f.localDisplay |= shown.localDisplay != now.localDisplay;
    f.outdoor |= shown.indoor != now.indoor;
    return f;
}

void MergeImaging(device::ImageSettings& camera, const device::ImageSettings& now,
                  const ImagingFields& fields) {
    if (fields.powerLine) {
        camera.powerLineHz = now.powerLineHz;
    }
    if (fields.localDisplay) {
        camera.localDisplay = now.localDisplay;
    }
    if (fields.outdoor) {
        camera.indoor = now.indoor;
    }
}

} // namespace orv::batchset

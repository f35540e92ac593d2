#include "VideoImageRules.h"

#include <array>
#include <cstring>
#include <cwctype>

namespace orv::batchset {

namespace {

constexpr std::array<const char*, 7> kPrimarySizes = {
    "5M(2560*1920)",  "3M(2048*1536)",  "1080P(1920*1080)", "2M(1600*1200)",
    "1.3M(1280*960)", "720P(1280*720)", "D1(704*576)",
};
constexpr int kLastPrimarySizeCode = 6;
// Normal list positions 0 to 3 and the codes they stand for; "176*144"
// (code 2) has a list of its own.
constexpr std::array<int, 4> kNormalSecondaryCodes = {0, 1, 3, 4};
constexpr int kSecondary176Code = 2;

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

std::uint8_t byteOf(int value) {
    return static_cast<std::uint8_t>(value);
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

std::string_view ModelText(const tagQvIpcInfo& device) {
    return {device.Model, strnlen(device.Model, sizeof device.Model)};
}

int FirstPrimarySizeCode(int modelClass) {
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
    return Entries(kPrimarySizes.begin() + FirstPrimarySizeCode(modelClass), kPrimarySizes.end());
}

int PrimarySizePosition(int modelClass, int code) {
    const int first = FirstPrimarySizeCode(modelClass);
    return code >= first && code <= kLastPrimarySizeCode ? code - first : -1;
}

int PrimarySizeCode(int modelClass, int position) {
    const int first = FirstPrimarySizeCode(modelClass);
    return position >= 0 && position <= kLastPrimarySizeCode - first ? position + first : -1;
}

Entries SecondarySizes(bool primaryIs3M) {
    if (primaryIs3M) {
        return {"176*144"};
    }
    return {"640*480", "640*368", "320*240", "320*192"};
}

int SecondarySizePosition(int code) {
    // Codes 0 to 2 land on the positions of the same number, so a camera's
    // "176*144" shows as "320*240" in the normal list.
    if (code >= 0 && code <= 2) {
        return code;
    }
    if (code == 3 || code == 4) {
        return code - 1;
    }
    return -1;
}

int SecondarySizeCode(int position, bool primaryIs3M) {
    if (primaryIs3M) {
        return kSecondary176Code;
    }
    if (position < 0 || position >= static_cast<int>(kNormalSecondaryCodes.size())) {
        return -1;
    }
    return kNormalSecondaryCodes[static_cast<size_t>(position)];
}

bool SecondaryStreamAllowed(int primarySizeCode) {
    return primarySizeCode != kCode5M;
}

Entries SecondaryCodecsWith(int primarySizeCode) {
    return primarySizeCode == kCode3M ? PrimaryCodecs() : SecondaryCodecs();
}

Entries NormalFrameRates(int powerLineFrequency) {
    if (powerLineFrequency == 60) {
        return {"30", "25", "15", "8"};
    }
    return {"25", "15", "8"};
}

Entries PrimaryFrameRates(int primarySizeCode, int keptPowerLineFrequency) {
    if (primarySizeCode == kCode5M) {
        return {"8"};
    }
    if (primarySizeCode == kCode3M) {
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

int ReferenceDevice(const std::vector<tagQvIpcInfo>& checked) {
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

int SelectedPrimarySizeCode(const VideoImageForm& form) {
    if (!form.primary.frameSize) {
        return form.shownPrimary.frameSize;
    }
    return PrimarySizeCode(ModelClass(form.keptModel), *form.primary.frameSize);
}

VideoImageParams BuildVideoImageParams(const VideoImageForm& form) {
    VideoImageParams params;
    const std::wstring primaryIFrame = trimmed(form.primary.iFrame);
    const std::wstring secondaryIFrame = trimmed(form.secondary.iFrame);
    if (primaryIFrame.empty() || secondaryIFrame.empty()) {
        params.error = kIFrameEmpty;
        return params;
    }

    // Only the three options of this page; the batch operation merges them
    // into each camera's own record.
    QvImagingConfig& imaging = params.imaging;
    const int powerLine =
        form.powerLine ? *form.powerLine : PowerLinePosition(form.shownImaging.powerLineFrequency);
    imaging.powerLineFrequency = powerLine == 0 ? 60 : 50;
    imaging.localDisplay =
        form.localDisplay ? byteOf(*form.localDisplay) : form.shownImaging.localDisplay;
    imaging.outdoorMode = form.outdoor ? byteOf(*form.outdoor) : form.shownImaging.outdoorMode;

    const int primaryCode = SelectedPrimarySizeCode(form);
    const bool largest = primaryCode == kCode5M || primaryCode == kCode3M;

    QvVideoConfig& primary = params.primary;
    const QvVideoConfig& shownPrimary = form.shownPrimary;
    primary.stream = 1;
    primary.enabled = 0;
    primary.codec = 0;
    primary.frameSize = primaryCode;
    // At 50 Hz the camera picks the rate of its two largest sizes itself.
    primary.frameRate = largest && form.keptPowerLineFrequency == 50
                            ? 0
                            : form.primary.frameRate.value_or(shownPrimary.frameRate);
    primary.bitRate = form.primary.bitRate.value_or(shownPrimary.bitRate);
    primary.bitRateControl = form.primary.bitRateControl ? byteOf(*form.primary.bitRateControl)
                                                         : shownPrimary.bitRateControl;
    primary.iFrameInterval = decimal(primaryIFrame);

    QvVideoConfig& secondary = params.secondary;
    const QvVideoConfig& shownSecondary = form.shownSecondary;
    secondary.stream = 0;
    secondary.enabled = form.secondary.enabled ? 1 : 0;
    secondary.codec = form.secondary.codec ? byteOf(*form.secondary.codec) : shownSecondary.codec;
    const bool primaryIs3M = primaryCode == kCode3M;
    secondary.frameSize = form.secondary.frameSize || primaryIs3M
                              ? SecondarySizeCode(form.secondary.frameSize.value_or(0), primaryIs3M)
                              : shownSecondary.frameSize;
    secondary.frameRate = form.secondary.frameRate.value_or(shownSecondary.frameRate);
    secondary.bitRate = form.secondary.bitRate.value_or(shownSecondary.bitRate);
    secondary.bitRateControl = form.secondary.bitRateControl
                                   ? byteOf(*form.secondary.bitRateControl)
                                   : shownSecondary.bitRateControl;
    secondary.iFrameInterval = decimal(secondaryIFrame);
    return params;
}

StreamFields ChangedStreamFields(const QvVideoConfig& shown, const QvVideoConfig& now,
                                 const StreamFields& setByHand) {
    StreamFields f = setByHand;
    f.enabled |= shown.enabled != now.enabled;
    f.codec |= shown.codec != now.codec;
    f.frameSize |= shown.frameSize != now.frameSize;
    f.frameRate |= shown.frameRate != now.frameRate;
    f.bitRate |= shown.bitRate != now.bitRate;
    f.bitRateControl |= shown.bitRateControl != now.bitRateControl;
    f.iFrameInterval |= shown.iFrameInterval != now.iFrameInterval;
    return f;
}

void MergeStream(QvVideoConfig& camera, const QvVideoConfig& now, const StreamFields& fields) {
    const auto take = [](bool chosen, auto& to, const auto& from) {
        if (chosen) {
            to = from;
        }
    };
    take(fields.enabled, camera.enabled, now.enabled);
    take(fields.codec, camera.codec, now.codec);
    take(fields.frameSize, camera.frameSize, now.frameSize);
    take(fields.frameRate, camera.frameRate, now.frameRate);
    take(fields.bitRate, camera.bitRate, now.bitRate);
    take(fields.bitRateControl, camera.bitRateControl, now.bitRateControl);
    take(fields.iFrameInterval, camera.iFrameInterval, now.iFrameInterval);
}

ImagingFields ChangedImagingFields(const QvImagingConfig& shown, const QvImagingConfig& now,
                                   const ImagingFields& setByHand) {
    ImagingFields f = setByHand;
    f.powerLine |= shown.powerLineFrequency != now.powerLineFrequency;
    f.localDisplay |= shown.localDisplay != now.localDisplay;
    f.outdoor |= shown.outdoorMode != now.outdoorMode;
    return f;
}

void MergeImaging(QvImagingConfig& camera, const QvImagingConfig& now,
                  const ImagingFields& fields) {
    if (fields.powerLine) {
        camera.powerLineFrequency = now.powerLineFrequency;
    }
    if (fields.localDisplay) {
        camera.localDisplay = now.localDisplay;
    }
    if (fields.outdoor) {
        camera.outdoorMode = now.outdoorMode;
    }
}

} // namespace orv::batchset

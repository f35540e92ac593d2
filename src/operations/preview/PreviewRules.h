#pragma once
// The Video Previews page's rules that need no window: the slider scale of
// the picture record, the exposure-time and IR-cut lists, the records the
// page sends, and the device calls it makes beyond those of Batch Set.

#include "qvipcsdk/QvIpcSdk.h"

#include <cstdint>
#include <string>
#include <vector>

namespace orv::preview {

inline constexpr int kSliderMax = 100;
inline constexpr int kDeviceMax = 255;
inline constexpr int kDefaultDeviceValue = 128;

// Whole numbers, the remainder dropped: 255 shows as 100, 128 as 50, and
// position 50 sends 127.
int SliderFromDevice(int deviceValue);
int DeviceFromSlider(int position);

enum class PictureField { Brightness, Contrast, Saturation };

// The camera's record with one field replaced by the slider's position.
QvImagingSettings WithSliderPosition(QvImagingSettings camera, PictureField field, int position);
QvImagingSettings DefaultPicture();

// Maximum exposure time entries; the code of an entry is its position.
std::vector<std::string> ExposureTimeEntries(int powerLineFrequency);
std::vector<std::string> ExposureLevelEntries();

struct IrCutText {
    const wchar_t* id;
    const wchar_t* english;
};
// Codes 0, 1, 2 in this order.
const std::vector<IrCutText>& IrCutTexts();

// The three list codes this page reads and writes in the imaging record.
struct ImagingCodes {
    std::uint8_t exposureLevel = 5;
    std::uint8_t maxExposureTime = 2;
    std::uint8_t irCutMode = 2;
    bool operator==(const ImagingCodes&) const = default;
};
ImagingCodes CodesOf(const QvImagingConfig& record);
// Every other byte of the record stays the camera's.
void PutCodes(QvImagingConfig& record, const ImagingCodes& codes);

} // namespace orv::preview

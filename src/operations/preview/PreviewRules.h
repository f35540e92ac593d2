#pragma once
// The Video Previews page's rules that need no window: the slider scale of
// the picture settings, the exposure-time and IR-cut lists, the settings the
// page sends, and the device calls it makes beyond those of Batch Set.

#include "device/DeviceSession.h"

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

// The camera's picture with one value replaced by the slider's position.
device::PictureSettings WithSliderPosition(device::PictureSettings camera, PictureField field,
                                           int position);
device::PictureSettings DefaultPicture();

// Maximum exposure time entries; the code of an entry is its position.
std::vector<std::string> ExposureTimeEntries(int powerLineFrequency);
std::vector<std::string> ExposureLevelEntries();

struct IrCutText {
    const wchar_t* id;
    const wchar_t* english;
};
// Codes 0, 1, 2 in this order.
const std::vector<IrCutText>& IrCutTexts();

// The three list positions this page reads and writes in the image
// settings; the IR-cut position follows the order of IrCutTexts.
struct ImagingCodes {
    std::uint8_t exposureLevel = 5;
    std::uint8_t maxExposureTime = 2;
    std::uint8_t irCutMode = 2;
    bool operator==(const ImagingCodes&) const = default;
};
ImagingCodes CodesOf(const device::ImageSettings& image);
// Every other value of the settings stays the camera's.
void PutCodes(device::ImageSettings& image, const ImagingCodes& codes);

} // namespace orv::preview

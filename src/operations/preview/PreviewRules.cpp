#include "PreviewRules.h"

#include <algorithm>
#include <iterator>

namespace orv::preview {

int SliderFromDevice(int deviceValue) {
    return deviceValue * kSliderMax / kDeviceMax;
}

int DeviceFromSlider(int position) {
    return position * kDeviceMax / kSliderMax;
}

device::PictureSettings WithSliderPosition(device::PictureSettings camera, PictureField field,
                                           int position) {
    const int value = DeviceFromSlider(position);
    switch (field) {
    case PictureField::Brightness:
        camera.brightness = value;
        break;
    case PictureField::Contrast:
        camera.contrast = value;
        break;
    case PictureField::Saturation:
        camera.saturation = value;
        break;
    }
    return camera;
}

device::PictureSettings DefaultPicture() {
    return {kDefaultDeviceValue, kDefaultDeviceValue, kDefaultDeviceValue};
}

std::vector<std::string> ExposureTimeEntries(int powerLineFrequency) {
    std::vector<std::string> entries;
    for (int code = 0; code <= 4; ++code) {
        entries.push_back("1/" +
                          std::to_string(device::MaxExposureDenominator(code, powerLineFrequency)));
    }
    return entries;
}

std::vector<std::string> ExposureLevelEntries() {
    std::vector<std::string> entries;
    for (int level = 0; level <= 10; ++level) {
        entries.push_back(std::to_string(level));
    }
    return entries;
}

const std::vector<IrCutText>& IrCutTexts() {
    static const std::vector<IrCutText> texts = {
        {L"70011", L"Night Mode"}, {L"70012", L"Day Mode"}, {L"70013", L"Auto Mode"}};
    return texts;
}

namespace {

constexpr device::IrCutMode kIrCutModes[] = {device::IrCutMode::Night, device::IrCutMode::Day,
                                             device::IrCutMode::Auto};

} // namespace

ImagingCodes CodesOf(const device::ImageSettings& image) {
    std::uint8_t irCut = 0;
    while (irCut < std::size(kIrCutModes) - 1 && kIrCutModes[irCut] != image.irCut) {
        ++irCut;
    }
    return {static_cast<std::uint8_t>(image.exposureLevel),
            static_cast<std::uint8_t>(image.maxExposureTime), irCut};
}

void PutCodes(device::ImageSettings& image, const ImagingCodes& codes) {
    image.exposureLevel = codes.exposureLevel;
    image.maxExposureTime = codes.maxExposureTime;
    image.irCut = kIrCutModes[std::min<std::size_t>(codes.irCutMode, std::size(kIrCutModes) - 1)];
}

} // namespace orv::preview

#pragma once
// A text shown to the user in a message box: its language id and English
// default. The rules name their messages this way; pages look them up when
// they show them.

namespace orv {

struct Message {
    const wchar_t* id;
    const wchar_t* defaultText;
};

// Texts several pages show.
inline constexpr Message kUserEmpty{L"90003", L"Username Field can't be empty."};
inline constexpr Message kPasswordEmpty{L"90004", L"Password Field can't be empty."};
inline constexpr Message kFieldEmpty{L"90005", L"Field can't be empty."};
// The operations of Batch Set, Batch Upgrade and OEM without a camera; the
// Network Settings page and the reboot operations show the same id with a
// capital S.
inline constexpr Message kSelectOneDevice{L"90010", L"Please select one device."};
inline constexpr Message kSelectOneDeviceCapital{L"90010", L"Please Select one device."};
inline constexpr Message kAddressConflict{L"90012",
                                          L"Ip address conflict!Please modify IP at first!"};
// A text its record field cannot take whole (it would reach the camera
// empty); %1 is the field's label.
inline constexpr Message kTooLongForCamera{L"90029", L"%1 is too long for the camera."};

} // namespace orv
